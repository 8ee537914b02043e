// The profile manager (template 131, skin "Skins\Profile.ini") over its model.
#pragma once

#include "editing_dialog.h"
#include "profile_dialog_model.h"
#include "win/report_list.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kb::ui {

class ProfileManagerDialog final : public EditingDialog, public ProfileManagerView {
public:
    explicit ProfileManagerDialog(DialogContext& context);

    void run();

    // The main window's profile switch.
    [[nodiscard]] bool isOpen() const override { return model_.isOpen(); }
    [[nodiscard]] bool hasUnappliedChanges() const override { return model_.changed(); }
    void reloadFromStore() override;
    void checkRow(int i) override;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool acceptChanges() override;
    void closed() override;

    void showRows();
    void appendRow(const ProfileRow& row);
    void showApply();
    [[nodiscard]] std::optional<std::wstring> chooseProfileFile(bool create);
    // Load of a JSON profile: converted to a new profile file beside it, which is listed.
    void loadJson(const std::wstring& path);
    // The selected row's profile as JSON, in a file the user names.
    void exportSelected();
    // The selected row's backups in a menu under the button; the one chosen
    // replaces the file (kept as a backup first) and is reloaded when active.
    void restoreSelected();
    void showPrograms(int row);
    void afterSort();
    [[nodiscard]] bool applyChanges();

    ProfileDialogModel model_;
    kbskin::ReportList list_;
    std::array<kbskin::SkinButton, 9> buttons_;
    bool filling_ = false;
};

}  // namespace kb::ui
