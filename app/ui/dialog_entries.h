// Where the main window hands over to the editing dialogs: the key function
// dialog, the macro editor and the profile manager. The dialogs provide these;
// until they exist a stand-in opens nothing.
#pragma once

#include "ui_ports.h"

namespace kb::ui {

class MainWindow;

struct KeyEditRequest {
    int deviceGroup = 0;  // 0 keyboard and macro keys, 1 keypad
    int slot = 0;
    int buttonId = 0;
    int layer = 0;  // the layer the map shows: 0 the base, 1..3
};

// Run modally on the user-interface thread; return when the dialog closed.
void openKeyFunctionDialog(MainWindow& window, const KeyEditRequest& request);
void openMacroEditor(MainWindow& window);
void openProfileManager(MainWindow& window);

// The open state the profile switch asks about (user-interface thread).
[[nodiscard]] const EditingDialogs& editingDialogs();
// The profile manager's view, or none while it cannot be asked.
[[nodiscard]] ProfileManagerView* profileManagerView();
// True while the key function dialog edits a macro key; asked from the HID
// thread, so it must be safe there.
[[nodiscard]] bool editingMacroKey() noexcept;
// Shutdown: cancels, in this order, the key function dialog, the macro editor
// and the profile manager, each as its Cancel button would.
void cancelEditingDialogs();

}  // namespace kb::ui
