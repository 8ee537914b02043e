// The main window's hand-over to the editing dialogs. Each dialog object
// lives as long as the program, as the main window does; each opening starts
// from the profile as it is then.
#include "dialog_entries.h"

#include "dialog_context.h"
#include "key_dialog.h"
#include "macro_dialog.h"
#include "main_window.h"
#include "profile_dialog.h"

#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <memory>

namespace kb::ui {

namespace {

std::wstring documentsFolder() {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, TRUE)) return {};
    return path;
}

// Everything the three dialogs share, made once for the main window.
struct Dialogs final : EditingDialogs {
    explicit Dialogs(MainWindow& window)
        : context{window.heart().model(),
                  window.heart().profiles(),
                  window.heart().activation().windowPort(),
                  window.heart().activation().prompt(),
                  window.heart().activation(),
                  window.hwnd(),
                  wide(window.paths().programFolder),
                  documentsFolder(),
                  [&window] {
                      const std::wstring folder = wide(window.paths().helpFolder);
                      ShellExecuteW(window.hwnd(), L"open", L"index.html", nullptr, folder.c_str(), SW_SHOWNORMAL);
                  },
                  [&window](int id, RECT& out) {
                      kbskin::SkinButton* b = window.keyButton(id);
                      return b != nullptr && b->Hwnd() != nullptr && GetWindowRect(b->Hwnd(), &out) != FALSE;
                  },
                  {}},
          key(context),
          macro(context),
          profiles(context) {}

    [[nodiscard]] bool keyFunctionDialogOpen() const override { return key.isOpen(); }
    [[nodiscard]] bool macroEditorOpen() const override { return macro.isOpen(); }

    DialogContext context;
    KeyFunctionDialog key;
    MacroEditorDialog macro;
    ProfileManagerDialog profiles;
};

std::unique_ptr<Dialogs>& dialogs() {
    static std::unique_ptr<Dialogs> d;
    return d;
}

// The dialogs exist once the main window first opens one; the HID thread
// may ask before that.
std::atomic<KeyFunctionDialog*> g_keyDialog{nullptr};

Dialogs& dialogsFor(MainWindow& window) {
    if (!dialogs()) {
        dialogs() = std::make_unique<Dialogs>(window);
        g_keyDialog = &dialogs()->key;
    }
    return *dialogs();
}

class NoDialogs final : public EditingDialogs {
public:
    [[nodiscard]] bool keyFunctionDialogOpen() const override { return false; }
    [[nodiscard]] bool macroEditorOpen() const override { return false; }
};

}  // namespace

void openKeyFunctionDialog(MainWindow& window, const KeyEditRequest& request) {
    Dialogs& d = dialogsFor(window);
    if (d.key.isOpen()) return;
    const int device = request.deviceGroup == 1 ? 1 : 0;
    KeyTarget target{device, request.slot - device * kSlotsPerDevice, request.buttonId};
    target.layer = request.layer;
    d.key.run(target);
}

void openMacroEditor(MainWindow& window) {
    Dialogs& d = dialogsFor(window);
    if (!d.macro.isOpen()) d.macro.run();
}

void openProfileManager(MainWindow& window) {
    Dialogs& d = dialogsFor(window);
    if (!d.profiles.isOpen()) d.profiles.run();
}

const EditingDialogs& editingDialogs() {
    static const NoDialogs none;
    if (dialogs()) return *dialogs();
    return none;
}

ProfileManagerView* profileManagerView() { return dialogs() ? &dialogs()->profiles : nullptr; }

bool editingMacroKey() noexcept {
    const KeyFunctionDialog* key = g_keyDialog.load();
    return key != nullptr && key->isOpenForMacroKey();
}

void cancelEditingDialogs() {
    if (!dialogs()) return;
    dialogs()->key.cancel();
    dialogs()->macro.cancel();
    dialogs()->profiles.cancel();
}

}  // namespace kb::ui
