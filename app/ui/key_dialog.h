// The key function dialog (template 132, skin "Skins\Key.ini") over its model.
#pragma once

#include "editing_dialog.h"
#include "key_dialog_model.h"

#include <array>
#include <atomic>

namespace kb::ui {

class KeyFunctionDialog final : public EditingDialog {
public:
    explicit KeyFunctionDialog(DialogContext& context);

    // Runs modally for the key; returns when the dialog has closed.
    void run(const KeyTarget& target);
    [[nodiscard]] bool isOpen() const noexcept { return model_.isOpen(); }
    // Safe from any thread (the HID thread asks before switching the bank).
    [[nodiscard]] bool isOpenForMacroKey() const noexcept { return macroKeyOpen_.load(); }

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool acceptChanges() override;
    void closed() override;

    void showModel();
    void showEnabled();
    static void fillList(HWND list, const std::vector<std::u16string>& names);
    void place();
    void browse();
    [[nodiscard]] bool applyChanges();

    KeyDialogModel model_;
    KeyTarget target_{};
    std::array<kbskin::SkinButton, 3> buttons_;  // OK, Cancel, browse
    bool filling_ = false;
    std::atomic<bool> macroKeyOpen_{false};
};

}  // namespace kb::ui
