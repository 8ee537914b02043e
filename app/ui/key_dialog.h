// The key function dialog (template 132, skin "Skins\Key.ini") over its model.
#pragma once

#include "dialog_context.h"
#include "key_dialog_model.h"
#include "win/skin_button.h"
#include "win/skin_dialog.h"

#include <array>
#include <atomic>
#include <string>

namespace kb::ui {

class KeyFunctionDialog final : private DialogPaths, public kbskin::SkinDialog {
public:
    explicit KeyFunctionDialog(DialogContext& context);

    // Runs modally for the key; returns when the dialog has closed.
    void run(const KeyTarget& target);
    [[nodiscard]] bool isOpen() const noexcept { return model_.isOpen(); }
    // Safe from any thread (the HID thread asks before switching the bank).
    [[nodiscard]] bool isOpenForMacroKey() const noexcept { return macroKeyOpen_.load(); }
    // Shutdown: as the Cancel button.
    void cancel();

private:
    bool onInitDialog() override;
    void onOK() override;
    void onCancel() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    void showModel();
    void showEnabled();
    void place();
    void browse();
    [[nodiscard]] bool applyChanges();
    void closed();

    DialogContext& context_;
    KeyDialogModel model_;
    MessageBoxPrompt prompt_{nullptr};
    KeyTarget target_{};
    std::array<kbskin::SkinButton, 3> buttons_;  // OK, Cancel, browse
    SkinBackdrop backdrop_;
    bool filling_ = false;
    std::atomic<bool> macroKeyOpen_{false};
};

}  // namespace kb::ui
