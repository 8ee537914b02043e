// The bridge between the heart's threads and the main window: what the heart
// tells the window (WindowSink), posted over from worker threads and carried
// out on the user-interface thread, and the questions it asks there.
#include "main_window.h"

#include "common/text/text_convert.h"
#include "dialog_entries.h"

namespace kb::ui {

namespace {

using kbtext::wide;

// Notifications that worker threads post to the window.
constexpr UINT kPostAttach = WM_APP + 1;       // wParam: attach state
constexpr UINT kPostPlayback = WM_APP + 2;     // wParam: 1 playing, 0 idle
constexpr UINT kPostBank = WM_APP + 3;         // wParam: bank
constexpr UINT kPostRefuseBank = WM_APP + 4;
constexpr UINT kPostApplyButton = WM_APP + 5;  // wParam: enabled
constexpr UINT kPostKeyMark = WM_APP + 6;      // wParam: slot, lParam: assigned
constexpr UINT kPostTablesDue = WM_APP + 8;    // the driver is back without our tables
constexpr UINT kPostLayer = WM_APP + 9;        // wParam: the layer in force
static_assert(FollowController::kMessage == WM_APP + 7);

}  // namespace

void MainWindow::buildBridgeTable() {
    table_.on(kMessageMacroKeyRefresh, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (wp == kMarkerMacroKeyRefresh) view_.markMacroKeys(heart_.model(), macroBank());
        return 0;
    });
    table_.on(kPostTablesDue, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        (void)heart_.activation().resend();
        return 0;
    });
    table_.on(kPostAttach, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (!shutDown_) tray_.attachState(static_cast<int>(wp));
        return 0;
    });
    table_.on(kPostPlayback, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (!shutDown_) tray_.playbackIndication(wp != 0);
        return 0;
    });
    table_.on(kPostBank, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        view_.showBank(wp != 0 ? 1 : 0);
        post(kMessageMacroKeyRefresh, kMarkerMacroKeyRefresh);
        return 0;
    });
    table_.on(kPostLayer, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        const int layer = static_cast<int>(wp);
        if (layer != layerInForce_ && layer >= 0 && layer <= kMaxLayers) notice(kLayerNames[layer]);
        layerInForce_ = layer;
        return 0;
    });
    table_.on(kPostRefuseBank, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        showMessage(kBankSwitchRefused);
        return 0;
    });
    table_.on(kPostApplyButton, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        enableApply(wp != 0);
        return 0;
    });
    table_.on(kPostKeyMark, [this](WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
        setKeyButtonAssigned(static_cast<int>(wp), lp != 0);
        return 0;
    });
    table_.on(FollowController::kMessage, [this](WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
        follow_.onPosted(wp, lp);
        return 0;
    });
    table_.on(WM_TIMER, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (!follow_.onTimer(wp)) return std::nullopt;
        return 0;
    });
}

void MainWindow::attachState(int state) { post(kPostAttach, static_cast<WPARAM>(state > 0 ? 1 : 0)); }

void MainWindow::tablesDue() { post(kPostTablesDue, 0); }

bool MainWindow::editingMacroKey() { return kb::ui::editingMacroKey(); }

void MainWindow::refuseBankSwitch() { post(kPostRefuseBank); }

void MainWindow::bankChanged(int bank) { post(kPostBank, static_cast<WPARAM>(bank)); }

void MainWindow::layerChanged(int layer) { post(kPostLayer, static_cast<WPARAM>(layer)); }

void MainWindow::playbackIndication(bool playing) { post(kPostPlayback, playing ? 1 : 0); }

void MainWindow::setKeyButtonAssigned(int slot, bool assigned) {
    if (!onUiThread()) {
        post(kPostKeyMark, static_cast<WPARAM>(slot), assigned ? 1 : 0);
        return;
    }
    // The map shows the selector's layer; the base's marks come as reported.
    const int layer = view_.shownLayer();
    const KeyMark mark = layer == 0 ? (assigned ? KeyMark::Own : KeyMark::None) : keyMark(heart_.model(), slot, layer);
    view_.markSlot(slot, macroBank(), mark, wide(describeKeyFunction(heart_.model(), slot, layer)));
}

void MainWindow::setApplyButtonEnabled(bool enabled) {
    if (!onUiThread()) {
        post(kPostApplyButton, enabled ? 1 : 0);
        return;
    }
    enableApply(enabled);
}

void MainWindow::showProfileMenu(const ProfileMenu& menu) {
    tray_.setProfileMenu(menu);
    follow_.refresh(hwnd());
    view_.showProfileName(wide(menu.activeName), wide(menu.toolTip));
    if (menu.activeName != profileInForce_) {
        // Start-up's own profile is no change.
        if (ready_.load()) notice(menu.activeName);
        // A new profile starts on its base: the return to it, posted by the
        // switch, must not name the base over the profile's name.
        layerInForce_ = 0;
    }
    profileInForce_ = menu.activeName;
}

void MainWindow::notice(std::u16string_view what) {
    if (shutDown_ || !heart_.profiles().changeNotice()) return;
    notice_.show(wide(what));
}

// While the window sits in the tray (at start-up, or for the tray's profile
// menu) a box it owned could open where nobody looks: it then stands alone,
// in the foreground, and still holds off the rest of the program.
int MainWindow::messageBox(const std::wstring& text, UINT flags) {
    HWND owner = hwnd();
    if (owner == nullptr || !IsWindowVisible(owner)) {
        owner = nullptr;
        flags |= MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST;
    }
    return MessageBoxW(owner, text.c_str(), kWindowTitle, flags);
}

void MainWindow::showMessage(std::u16string_view text) { (void)messageBox(wide(text), MB_OK | MB_ICONINFORMATION); }

bool MainWindow::askYesNo(std::u16string_view text, bool defaultNo) {
    const UINT flags = MB_YESNO | MB_ICONQUESTION | (defaultNo ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
    return messageBox(wide(text), flags) == IDYES;
}

}  // namespace kb::ui
