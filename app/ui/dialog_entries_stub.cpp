// Stand-in for the editing dialogs until they are built: nothing opens and no
// dialog is ever open.
#include "dialog_entries.h"

namespace kb::ui {

namespace {
class NoDialogs final : public EditingDialogs {
public:
    [[nodiscard]] bool keyFunctionDialogOpen() const override { return false; }
    [[nodiscard]] bool macroEditorOpen() const override { return false; }
};
}  // namespace

void openKeyFunctionDialog(MainWindow&, const KeyEditRequest&) {}
void openMacroEditor(MainWindow&) {}
void openProfileManager(MainWindow&) {}

const EditingDialogs& editingDialogs() {
    static const NoDialogs none;
    return none;
}

ProfileManagerView* profileManagerView() { return nullptr; }
bool editingMacroKey() noexcept { return false; }
void cancelEditingDialogs() {}

}  // namespace kb::ui
