#include "main_window.h"

#include "common/text/text_convert.h"
#include "control_ids.h"
#include "dialog_entries.h"
#include "instance.h"
#include "resource.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include <thread>

namespace kb::ui {

std::atomic<MainWindow*> MainWindow::instance_{nullptr};

MainWindow::MainWindow(const AppPaths& paths, HICON programIcon)
    : MainWindowFiles{kbtext::wide(paths.mainSkinFile), kbtext::wide(paths.skinFolder)},
      SkinDialog(GetModuleHandleW(nullptr), IDD_MAIN, nullptr, mainSkinFile.c_str(), skinDirectory.c_str()),
      paths_(paths),
      icon_(programIcon),
      heart_(*this, settings_),
      macroKeys_(&heart_.macroKeys()),
      view_(mainSkinFile, heart_.profiles()),
      follow_(heart_.profiles(), [this](int index) { (void)switchProfile(index); }) {
    buildTable();
    buildBridgeTable();
}

MainWindow::~MainWindow() {
    instance_.store(nullptr);
}

void MainWindow::post(UINT message, WPARAM wp, LPARAM lp) noexcept {
    const HWND w = hwnd();
    if (w != nullptr) PostMessageW(w, message, wp, lp);
}

// ---------------------------------------------------------------------------
// Start-up

bool MainWindow::onInitDialog() {
    uiThread_ = GetCurrentThreadId();
    // The template's caption would give the window a frame: the skin draws the
    // whole window, and its outline must match the background at the origin.
    const HWND w = hwnd();
    SetWindowLongPtrW(w, GWL_STYLE, GetWindowLongPtrW(w, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME));
    SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SkinDialog::onInitDialog();
    wchar_t about[64] = {};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUT, about, 64) > 0) {
        if (HMENU sys = GetSystemMenu(w, FALSE)) {
            AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(sys, MF_STRING, IDM_ABOUT_BOX, about);
        }
    }
    SendMessageW(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    ready_.store(false);
    instance_.store(this);
    startUp();
    return TRUE;
}

void MainWindow::startUp() {
    view_.attach(hwnd());

    // Required though unused here: a system without it cannot draw our windows.
    user32_.reset(LoadLibraryExW(L"User32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!user32_ || GetProcAddress(user32_.get(), "SetLayeredWindowAttributes") == nullptr) ExitProcess(0);

    const StartResult started = heart_.start([this] { return ready_.load(); }, [this] { skinControls(); });
    if (started != StartResult::Started) {
        // A start that fails after Hidport's Init still ends the library before
        // the process goes, so its thread never runs into a half-ended process.
        heart_.shutdown();
        ExitProcess(0);
    }

    view_.startLamps();
    PostMessageW(hwnd(), kMessageInit, kMarkerInit, 0);
    registerSessionNotification();
}

void MainWindow::registerSessionNotification() {
    const kbwin::UniqueModule wts(LoadLibraryExW(L"WtsApi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!wts) return;
    using Register = BOOL(WINAPI*)(HWND, DWORD);
    auto reg = reinterpret_cast<Register>(
        reinterpret_cast<void (*)()>(GetProcAddress(wts.get(), "WTSRegisterSessionNotification")));
    if (reg != nullptr) reg(hwnd(), NOTIFY_FOR_THIS_SESSION);
}

void MainWindow::skinControls() {
    view_.dress(macroBank());
    // No task-bar button; a second start finds us by the marker.
    const HWND w = hwnd();
    SetWindowLongPtrW(w, GWL_EXSTYLE, (GetWindowLongPtrW(w, GWL_EXSTYLE) & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
    SetWindowLongPtrW(w, GWLP_USERDATA, static_cast<LONG_PTR>(kMarkerMain));
    SetWindowLongPtrW(w, GWL_STYLE, GetWindowLongPtrW(w, GWL_STYLE) | 0x000A0000);
    SetWindowTextW(w, kWindowTitle);
}

void MainWindow::onScaleChanged() {
    // The base took the new scale's background and outline: faces and places follow.
    view_.dress(macroBank());
    tray_.rescale();
}

void MainWindow::finishStartUp() {
    tray_.add(hwnd(), icon_, ctl::kProfileMenu);
    rebuildProfileMenu(heart_.profiles(), heart_.activation().windowPort());
    ready_.store(true);
    ShowWindow(hwnd(), SW_HIDE);
    // A second start while start-up waited on a question.
    const HANDLE request = openRequestEvent();
    if (request != nullptr && WaitForSingleObject(request, 0) == WAIT_OBJECT_0) show();
}

void MainWindow::show() {
    // Start-up is over once someone asks for the window.
    if (const HANDLE request = openRequestEvent()) ResetEvent(request);
    keepHidden_ = false;
    ncPaintCounter_ = 0;
    const HWND w = hwnd();
    SetWindowLongPtrW(w, GWL_EXSTYLE, (GetWindowLongPtrW(w, GWL_EXSTYLE) & ~WS_EX_TOOLWINDOW) | WS_EX_APPWINDOW);
    ShowWindow(w, SW_SHOWNORMAL);
    SetForegroundWindow(w);
    view_.refreshLamps();
}

// ---------------------------------------------------------------------------
// Exit

void MainWindow::exitProgram() {
    ShowWindow(hwnd(), SW_HIDE);
    if (!shutdownSequence()) return;
    endDialog(IDCANCEL);
    // The modal loop returns first as a rule; this makes sure the process ends.
    std::thread([] {
        InvalidateRect(nullptr, nullptr, TRUE);
        Sleep(1000);
        ExitProcess(0);
    }).detach();
}

bool MainWindow::shutdownSequence() {
    if (shutDown_) return true;
    shutDown_ = true;
    follow_.end();
    if (aboutBox_ && aboutBox_->isOpen()) aboutBox_->destroy();
    cancelEditingDialogs();
    ShellExecuteW(nullptr, L"open", L"cmd.exe", L"/c taskkill /f /im instkbd.exe", nullptr, SW_HIDE);
    // The lamps and arrows draw on this window; they stop before it goes.
    view_.stopLamps();
    // A macro key that stands for another key and is still held would stay down.
    heart_.macroKeys().onReport(1, kMacroKeyReadTag, kReportAllUp);
    heart_.shutdown();
    notice_.hide();
    tray_.remove();
    enableApply(false);
    return true;
}

// ---------------------------------------------------------------------------
// Messages and commands

void MainWindow::buildTable() {
    table_.on(kMessageInit, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (wp == kMarkerInit) finishStartUp();
        return 0;
    });
    table_.on(kMessageOpen, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (wp == kMarkerOpen) show();
        return 0;
    });
    table_.on(kMessageKill, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (wp == kMarkerKill) exitProgram();
        return 0;
    });
    table_.on(WM_NCPAINT, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (ncPaintCounter_ <= 0) return std::nullopt;
        --ncPaintCounter_;
        ShowWindow(hwnd(), SW_HIDE);
        return 0;
    });
    table_.on(WM_WINDOWPOSCHANGING, [this](WPARAM, LPARAM lp) -> std::optional<LRESULT> {
        // The modal loop shows a dialog when it first goes idle; until the
        // window is asked for, it stays in the tray.
        if (keepHidden_) reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~SWP_SHOWWINDOW;
        return std::nullopt;
    });
    table_.on(WM_SYSCOMMAND, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if ((wp & 0xFFF0) != IDM_ABOUT_BOX) return std::nullopt;
        openAboutBox();
        return 0;
    });
    table_.on(WM_PAINT, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (!IsIconic(hwnd())) return std::nullopt;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT r;
        GetClientRect(hwnd(), &r);
        const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        DrawIcon(dc, (r.right - r.left - cx + 1) / 2, (r.bottom - r.top - cy + 1) / 2, icon_);
        EndPaint(hwnd(), &ps);
        return 0;
    });
    table_.on(WM_QUERYDRAGICON, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        return reinterpret_cast<LRESULT>(icon_);
    });
    table_.on(WM_HELP, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        openHelp();
        return TRUE;
    });
    table_.on(WM_WTSSESSION_CHANGE, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        onSessionChange(static_cast<int>(wp));
        return 0;
    });
    table_.on(WM_TIMECHANGE, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        heart_.macroKeys().resendStatus();
        (void)apply();
        return 0;
    });

    table_.onCommandRange(kFirstKeyButtonId, kLastKeyButtonId, [this](int id, int, HWND) { onKeyClick(id); });
    table_.onCommand(ctl::kProfiles, [this](int, int, HWND) { openProfileManager(*this); });
    table_.onCommand(ctl::kMacroEditor, [this](int, int, HWND) { openMacroEditor(*this); });
    table_.onCommand(ctl::kApply, [this](int, int, HWND) { (void)apply(); });
    table_.onCommand(ctl::kLink, [this](int, int, HWND) {
        ShellExecuteW(hwnd(), L"open", kWebAddress, nullptr, nullptr, SW_SHOWNORMAL);
    });
    table_.onCommand(ctl::kHelp, [this](int, int, HWND) { openHelp(); });
    table_.onCommand(ctl::kClose, [this](int, int, HWND) { ShowWindow(hwnd(), SW_HIDE); });
    table_.onCommand(ctl::kMinimize, [this](int, int, HWND) { post(WM_SYSCOMMAND, SC_MINIMIZE); });
    table_.onCommand(ctl::kProfileMenu, [this](int, int, HWND) { tray_.showProfileMenuAtMouse(hwnd()); });
    table_.onCommandRange(kProfileMenuFirst, kProfileMenuLast,
                          [this](int id, int, HWND) { (void)switchProfile(id - kFirstProfileCommand); });
    table_.onCommand(ID_TRAY_OPEN, [this](int, int, HWND) { show(); });
    table_.onCommand(ID_TRAY_STOP, [this](int, int, HWND) { heart_.playbackControl().stop(); });
    table_.onCommand(ID_TRAY_ABOUT, [this](int, int, HWND) { openAboutBox(); });
    table_.onCommand(ID_TRAY_EXIT, [this](int, int, HWND) { exitProgram(); });
    table_.onCommand(ctl::kLayerSelector, [this](int, int code, HWND) {
        if (code == CBN_SELCHANGE && view_.takeSelectedLayer()) markKeyButtons();
    });
    for (UINT m : {WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORSTATIC}) {
        table_.on(m, [this, m](WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
            const HWND control = reinterpret_cast<HWND>(lp);
            // The window's only list box is the selector's drop-down list.
            if (m != WM_CTLCOLORLISTBOX && !view_.paintsField(control)) return std::nullopt;
            return view_.paintField(reinterpret_cast<HDC>(wp), IsWindowEnabled(control) != FALSE);
        });
    }
    table_.onCommand(ctl::kFlipSwitch1, [this](int, int, HWND) { toggleFlip(); });
    table_.onCommand(ctl::kFlipSwitch2, [this](int, int, HWND) { toggleFlip(); });
    for (int id : {ctl::kLockBank, ctl::kTest}) table_.onCommand(id, [](int, int, HWND) {});
}

void MainWindow::onOK() {
    // Apply, then hide, also when the user kept the macro playing.
    (void)apply();
    ShowWindow(hwnd(), SW_HIDE);
}

void MainWindow::onCancel() {
    // Pending changes stay pending; the program lives on in the tray.
    ShowWindow(hwnd(), SW_HIDE);
}

void MainWindow::onKeyClick(int id) {
    if (id == kEnterUpperButtonId) id = kEnterButtonId;
    const KeyButton* k = keyButtonById(id);
    if (k == nullptr) return;
    // A disabled key (Flip) cannot be edited, also not by a command from elsewhere.
    if (!IsWindowEnabled(item(id))) return;
    KeyEditRequest request{deviceGroupOfButton(*k), slotOfButton(*k, macroBank()), id,
                           k->group == KeyGroup::MacroKey ? 0 : view_.shownLayer()};
    giveEditLook(id, true);
    openKeyFunctionDialog(*this, request);
    giveEditLook(id, false);
}

void MainWindow::openHelp() {
    ShellExecuteW(hwnd(), L"open", L"index.html", L"NULL", kbtext::asWide(paths_.helpFolder), SW_SHOWNORMAL);
}

void MainWindow::openAboutBox() {
    if (aboutBox_ && aboutBox_->isOpen()) return;  // one at a time
    aboutBox_ = std::make_unique<AboutBox>(kWebAddress, [this] { openHelp(); });
    (void)aboutBox_->open();
}

void MainWindow::onSessionChange(int code) {
    switch (session_.onSessionChange(code)) {
    case SessionSuspension::Action::Withdraw:
        heart_.activation().suspend();
        break;
    case SessionSuspension::Action::Restore:
        heart_.activation().resume();
        break;
    case SessionSuspension::Action::None:
        break;
    }
}

void MainWindow::toggleFlip() {
    ProfileList& list = heart_.profiles();
    (void)list.setFlip(list.flip() == 0 ? 1 : 0);
    view_.applyFlipState();
}

// ---------------------------------------------------------------------------
// Operations for the model and the dialogs

bool MainWindow::apply() {
    const ApplyResult r = heart_.activation().applyWorking();
    return r == ApplyResult::Applied || r == ApplyResult::Failed;
}

bool MainWindow::switchProfile(int index) {
    return heart_.activation().switchTo(index, editingDialogs(), profileManagerView()) == SwitchResult::Switched;
}

void MainWindow::markKeyButtons() {
    kb::markKeyButtons(heart_.model(), heart_.activation().windowPort());
    view_.applyFlipState();
}

void MainWindow::unmarkKeyButton(int slot) { kb::unmarkKeyButton(heart_.activation().windowPort(), slot); }

}  // namespace kb::ui
