// The profile manager (template 131, skin "Skins\Profile.ini") over its model.
#pragma once

#include "dialog_context.h"
#include "profile_dialog_model.h"
#include "win/report_list.h"
#include "win/skin_button.h"
#include "win/skin_dialog.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kb::ui {

class ProfileManagerDialog final : private DialogPaths, public kbskin::SkinDialog, public ProfileManagerView {
public:
    explicit ProfileManagerDialog(DialogContext& context);

    void run();
    void cancel();

    // The main window's profile switch.
    [[nodiscard]] bool isOpen() const override { return model_.isOpen(); }
    [[nodiscard]] bool hasUnappliedChanges() const override { return model_.changed(); }
    void reloadFromStore() override;
    void checkRow(int i) override;

private:
    bool onInitDialog() override;
    void onOK() override;
    void onCancel() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    void showRows();
    void appendRow(const ProfileRow& row);
    void showApply();
    [[nodiscard]] std::optional<std::wstring> chooseFile(bool create);
    // Load of a JSON profile: converted to a new profile file beside it, which is listed.
    void loadJson(const std::wstring& path);
    // The selected row's profile as JSON, in a file the user names.
    void exportSelected();
    // The selected row's backups in a menu under the button; the one chosen
    // replaces the file (kept as a backup first) and is reloaded when active.
    void restoreSelected();
    // Programs bound to a profile: chosen in a file dialog, or typed into the
    // programs column (a click on the selected row's cell).
    [[nodiscard]] std::vector<std::u16string> choosePrograms();
    void showPrograms(int row);
    void afterSort();
    void closed();
    [[nodiscard]] bool applyChanges();

    DialogContext& context_;
    ProfileDialogModel model_;
    MessageBoxPrompt prompt_{nullptr};
    kbskin::ReportList list_;
    std::array<kbskin::SkinButton, 9> buttons_;
    SkinBackdrop backdrop_;
    bool filling_ = false;
};

}  // namespace kb::ui
