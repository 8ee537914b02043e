#include "main_window.h"

#include "control_ids.h"
#include "kb_version.h"
#include "dialog_entries.h"
#include "resource.h"
#include "skin_ini.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include <thread>

namespace kb::ui {

namespace {

// Notifications that worker threads post to the window.
constexpr UINT kPostAttach = WM_APP + 1;      // wParam: attach state
constexpr UINT kPostPlayback = WM_APP + 2;    // wParam: 1 playing, 0 idle
constexpr UINT kPostBank = WM_APP + 3;        // wParam: bank
constexpr UINT kPostRefuseBank = WM_APP + 4;
constexpr UINT kPostApplyButton = WM_APP + 5; // wParam: enabled
constexpr UINT kPostKeyMark = WM_APP + 6;     // wParam: slot, lParam: assigned
constexpr UINT kPostForeground = WM_APP + 7;  // wParam: the window in front or 0, lParam: 1 from the system's event
// A click or key stroke activates its window a little after the input hooks
// see it: two more looks then, the first soon, the last when even a slow
// program has taken the front.
constexpr UINT_PTR kFollowTimer = 0x4B46;
constexpr UINT kFollowSoonMs = 20, kFollowLateMs = 200;

constexpr wchar_t kButtonInfo[] = L"BUTTONINFO";
constexpr COLORREF kCaptionSilver = 0xC0C0C0;

std::wstring wide(std::u16string_view s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }

const wchar_t* asWide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// Faces of the command controls and lamps, by status image number (1..4).
struct ControlSkin {
    int id;
    const wchar_t* key;
    int faces[5];
};
constexpr ControlSkin kControlSkins[] = {
    {ctl::kLink, L"VALMOR_LINK", {1, 2, 4, 1, 1}},
    {ctl::kProfiles, L"FUNC_PROFILES", {1, 2, 3, 1, 1}},
    {ctl::kMacroEditor, L"FUNC_MACRO", {1, 2, 3, 1, 1}},
    {ctl::kOk, L"CONTROL_OK", {1, 2, 3, 1, 1}},
    {ctl::kCancel, L"CONTROL_CANCEL", {1, 2, 3, 1, 1}},
    {ctl::kHelp, L"CONTROL_HELP", {1, 2, 3, 1, 1}},
    {ctl::kClose, L"CONTROL_CLOSE", {1, 2, 3, 1, 1}},
    {ctl::kMinimize, L"CONTROL_MINIMIZE", {1, 2, 3, 1, 1}},
    {ctl::kApply, L"CONTROL2_APPLY", {1, 2, 3, 4, 1}},
    {ctl::kLockCaps, L"LOCK_CAPS", {1, 1, 1, 1, 2}},
    {ctl::kLockNum, L"LOCK_NUM", {1, 1, 1, 1, 2}},
    {ctl::kLockScroll, L"LOCK_SCROLL", {1, 1, 1, 1, 2}},
    {ctl::kLockBank, L"LOCK_AB", {1, 1, 1, 1, 2}},
    {ctl::kFlipLamp, L"FLIP_0", {1, 1, 1, 1, 4}},
    {ctl::kFlipSwitch1, L"FLIP_1", {1, 2, 3, 1, 4}},
    {ctl::kFlipSwitch2, L"FLIP_2", {1, 2, 3, 1, 4}},
    {ctl::kVersion, L"VALMOR_VER", {1, 1, 1, 1, 1}},
};

constexpr int kFlipKeyboardIds[] = {1010, 1011, 1012, 1013};     // F1..F4
constexpr int kFlipKeypadIds[] = {1016, 1017, 1018, 1019, 1020, 1021};  // D1..D6
constexpr int kF5Id = 1014;

}  // namespace

std::atomic<MainWindow*> MainWindow::instance_{nullptr};

MainWindow::MainWindow(const AppPaths& paths, HICON programIcon)
    : MainWindowFiles{wide(paths.mainSkinFile), wide(paths.skinFolder)},
      SkinDialog(GetModuleHandleW(nullptr), IDD_MAIN, nullptr, mainSkinFile.c_str(), skinDirectory.c_str()),
      paths_(paths),
      icon_(programIcon),
      heart_(*this, settings_),
      macroKeys_(&heart_.macroKeys()),
      tray_(GetModuleHandleW(nullptr)) {
    buildTable();
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
    // The buttons exist before the profile marks them; the skin comes later.
    for (const KeyButton& k : keyButtons()) {
        auto b = std::make_unique<kbskin::SkinButton>();
        if (b->Attach(hwnd(), k.id)) buttons_[k.id] = std::move(b);
    }
    for (const ControlSkin& c : kControlSkins) {
        auto b = std::make_unique<kbskin::SkinButton>();
        if (b->Attach(hwnd(), c.id)) buttons_[c.id] = std::move(b);
    }
    for (int id : {ctl::kLeftArrow, ctl::kRightArrow}) {
        auto b = std::make_unique<kbskin::SkinButton>();
        if (b->Attach(hwnd(), id)) buttons_[id] = std::move(b);
    }

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

    lockLamps_.Start(hwnd(), buttons_[ctl::kLockNum].get(), buttons_[ctl::kLockCaps].get(),
                     buttons_[ctl::kLockScroll].get(), surface(StatusImage::S1), surface(StatusImage::S2));
    const ProfileList& list = heart_.profiles();
    arrows_.Start(hwnd(), buttons_[ctl::kLeftArrow].get(), buttons_[ctl::kRightArrow].get(), mainSkinFile.c_str(),
                  surfaces_.at(8), [&list] { return list.flip() != 0; });

    PostMessageW(hwnd(), kMessageInit, kMarkerInit, 0);

    if (HMODULE wts = LoadLibraryExW(L"WtsApi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        using Register = BOOL(WINAPI*)(HWND, DWORD);
        auto reg = reinterpret_cast<Register>(
            reinterpret_cast<void (*)()>(GetProcAddress(wts, "WTSRegisterSessionNotification")));
        if (reg != nullptr) reg(hwnd(), NOTIFY_FOR_THIS_SESSION);
        FreeLibrary(wts);
    }
}

void MainWindow::skinControls() {
    // Any picture that does not load ends the program here, before a window shows.
    surfaces_.Build(hwnd(), {L"Skins\\Main_Status1.jpg", L"Skins\\Main_Status2.jpg", L"Skins\\Main_Status3.jpg",
                             L"Skins\\Main_Status4.jpg", L"Skins\\Main_Status1_2.jpg", L"Skins\\Main_Status2_2.jpg",
                             L"Skins\\Main_Status3_2.jpg", L"Skins\\Main_Status4_2.jpg", L"Skins\\Arrow.jpg"});
    if (!surfaces_.built() || surfaces_.size() != 9) ExitProcess(0);

    const int bank = macroBank();
    for (const KeyButton& k : keyButtons()) {
        auto it = buttons_.find(k.id);
        if (it == buttons_.end()) continue;
        const FaceSet f = normalFaces(k.group);
        const std::wstring key = wide(skinEntryName(k));
        kbskin::PlaceButton(*it->second, mainSkinFile.c_str(), kButtonInfo, key.c_str(), surface(f.normal),
                            surface(f.hover), surface(f.pressed), surface(f.disabled), surface(f.marked));
    }
    setMacroKeyCaptions(bank);
    for (const ControlSkin& c : kControlSkins) {
        auto it = buttons_.find(c.id);
        if (it == buttons_.end()) continue;
        auto s = [&](int n) { return surfaces_.at(static_cast<std::size_t>(n - 1)); };
        kbskin::PlaceButton(*it->second, mainSkinFile.c_str(), kButtonInfo, c.key, s(c.faces[0]), s(c.faces[1]),
                            s(c.faces[2]), s(c.faces[3]), s(c.faces[4]));
    }
    if (auto* link = buttons_[ctl::kLink].get()) link->SetTooltip(kWebAddress);
    if (auto* help = buttons_[ctl::kHelp].get()) help->SetTooltip(L"帮助");
    if (auto* close = buttons_[ctl::kClose].get()) close->SetTooltip(L"关闭");
    if (auto* minimize = buttons_[ctl::kMinimize].get()) minimize->SetTooltip(L"最小化");
    if (auto* profiles = buttons_[ctl::kProfiles].get()) {
        profiles->SetCaptionStyle(true, 8, L"Arial", kCaptionSilver, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (auto* version = buttons_[ctl::kVersion].get()) {
        SetWindowTextW(version->Hwnd(), KB_VERSION_SHORT_WSTRING);
        EnableWindow(version->Hwnd(), FALSE);
        version->SetCaptionStyle(true, 8, L"Verdana", kCaptionSilver, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    for (int id : {ctl::kLockCaps, ctl::kLockNum, ctl::kLockScroll, ctl::kLockBank, ctl::kFlipLamp, ctl::kLeftArrow,
                   ctl::kRightArrow}) {
        EnableWindow(item(id), FALSE);
    }
    for (int id : {ctl::kTest, ctl::kProfileMenu, kEnterUpperButtonId}) ShowWindow(item(id), SW_HIDE);
    EnableWindow(item(kEnterUpperButtonId), FALSE);

    // The marks set while the profile loaded are drawn now that faces exist.
    for (auto& [id, b] : buttons_) {
        if (keyButtonById(id) != nullptr) b->Redraw();
    }
    for (int id : {ctl::kLockBank, kEnterButtonId, ctl::kFlipLamp, ctl::kFlipSwitch1, ctl::kFlipSwitch2}) {
        if (auto it = buttons_.find(id); it != buttons_.end()) {
            it->second->SetDrawCallback([this, id](HWND, bool normalFace) { onButtonDrawn(id, normalFace); });
        }
    }
    setBankLamp(bank);
    applyFlipState();

    // No task-bar button; a second start finds us by the marker.
    const HWND w = hwnd();
    SetWindowLongPtrW(w, GWL_EXSTYLE, (GetWindowLongPtrW(w, GWL_EXSTYLE) & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
    SetWindowLongPtrW(w, GWLP_USERDATA, static_cast<LONG_PTR>(kMarkerMain));
    SetWindowLongPtrW(w, GWL_STYLE, GetWindowLongPtrW(w, GWL_STYLE) | 0x000A0000);
    SetWindowTextW(w, kWindowTitle);
}


void MainWindow::finishStartUp() {
    tray_.AddIcon(hwnd(), kTrayCallbackMessage, kTrayTip, icon_, IDR_TRAY_MENU);
    tray_.SetClickCommand(ctl::kProfileMenu);
    trayPicture_.added(TrayPicture::kDetached);
    rebuildProfileMenu(heart_.profiles(), heart_.activation().windowPort());
    ready_.store(true);
    ShowWindow(hwnd(), SW_HIDE);
}

void MainWindow::show() {
    // Start-up is over once someone asks for the window.
    keepHidden_ = false;
    ncPaintCounter_ = 0;
    const HWND w = hwnd();
    SetWindowLongPtrW(w, GWL_EXSTYLE, (GetWindowLongPtrW(w, GWL_EXSTYLE) & ~WS_EX_TOOLWINDOW) | WS_EX_APPWINDOW);
    ShowWindow(w, SW_SHOWNORMAL);
    SetForegroundWindow(w);
    lockLamps_.Refresh();
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
    if (aboutBox_ && aboutBox_->isOpen()) aboutBox_->destroy();
    cancelEditingDialogs();
    ShellExecuteW(nullptr, L"open", L"cmd.exe", L"/c taskkill /f /im instkbd.exe", nullptr, SW_HIDE);
    // The lamps and arrows draw on this window; they stop before it goes.
    lockLamps_.Stop();
    arrows_.Stop();
    foreground_.stop();
    followOn_ = false;
    // A macro key that stands for another key and is still held would stay down.
    heart_.macroKeys().onReport(1, kMacroKeyReadTag, kReportAllUp);
    heart_.shutdown();
    // Removing the last icon can keep the shell busy for seconds (under Wine
    // it hides its tray window); the exit must not wait for that.
    std::thread([this] { tray_.DeleteIcon(); }).detach();
    trayPicture_.removed();
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
    table_.on(kMessageMacroKeyRefresh, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (wp == kMarkerMacroKeyRefresh) refreshMacroKeyMarks();
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
    table_.on(kPostAttach, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        setTrayPicture(trayPicture_.attachState(static_cast<int>(wp)));
        return 0;
    });
    table_.on(kPostPlayback, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        setTrayPicture(trayPicture_.playbackIndication(wp != 0, 0));
        return 0;
    });
    table_.on(kPostBank, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        const int bank = wp != 0 ? 1 : 0;
        setBankLamp(bank);
        setMacroKeyCaptions(bank);
        post(kMessageMacroKeyRefresh, kMarkerMacroKeyRefresh);
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

    table_.on(kPostForeground, [this](WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
        foreground_.handled(lp == 1);
        if (lp != 1 && followOn_) {
            followLooks_ = 1;
            SetTimer(hwnd(), kFollowTimer, kFollowSoonMs, nullptr);
        }
        onForeground(reinterpret_cast<HWND>(wp));
        return 0;
    });
    table_.on(WM_TIMER, [this](WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (wp != kFollowTimer) return std::nullopt;
        if (followLooks_ == 1) {
            followLooks_ = 2;
            SetTimer(hwnd(), kFollowTimer, kFollowLateMs, nullptr);
        } else {
            KillTimer(hwnd(), kFollowTimer);
        }
        onForeground(nullptr);
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
    table_.onCommand(ctl::kProfileMenu, [this](int, int, HWND) { showProfileMenuAtMouse(); });
    table_.onCommandRange(kProfileMenuFirst, kProfileMenuLast,
                          [this](int id, int, HWND) { (void)switchProfile(id - kFirstProfileCommand); });
    table_.onCommand(ID_TRAY_OPEN, [this](int, int, HWND) { show(); });
    table_.onCommand(ID_TRAY_STOP, [this](int, int, HWND) { heart_.playbackControl().stop(); });
    table_.onCommand(ID_TRAY_ABOUT, [this](int, int, HWND) { openAboutBox(); });
    table_.onCommand(ID_TRAY_EXIT, [this](int, int, HWND) { exitProgram(); });
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
    KeyEditRequest request{deviceGroupOfButton(*k), slotOfButton(*k, macroBank()), id};
    giveEditLook(id, true);
    openKeyFunctionDialog(*this, request);
    giveEditLook(id, false);
}

void MainWindow::showProfileMenuAtMouse() {
    if (!profileMenu_) return;
    POINT p{};
    GetCursorPos(&p);
    SetForegroundWindow(hwnd());
    TrackPopupMenu(profileMenu_.get(), TPM_LEFTBUTTON, p.x, p.y, 0, hwnd(), nullptr);
    PostMessageW(hwnd(), WM_NULL, 0, 0);
}

void MainWindow::openHelp() {
    ShellExecuteW(hwnd(), L"open", L"index.html", L"NULL", asWide(paths_.helpFolder), SW_SHOWNORMAL);
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

void MainWindow::refreshFollowing() {
    try {
        refreshFollowingOrThrow();
    } catch (const std::exception&) {
        // Out of memory: following stays as it was.
    }
}

void MainWindow::refreshFollowingOrThrow() {
    const ProfileList& list = heart_.profiles();
    const bool on = !shutDown_ && followEnabled(list);
    if (!on) {
        if (followOn_) foreground_.stop();
        followOn_ = false;
        follower_.reset();
        return;
    }
    const int count = list.profileCount();
    std::vector<std::u16string> paths;
    std::vector<std::vector<std::u16string>> bindings;
    for (int i = 0; i < count; ++i) {
        paths.push_back(list.profilePath(i));
        bindings.push_back(readBindings(list, i));
    }
    // A changed list may give the profile to come back to another index.
    if (!followOn_ || paths != followedPaths_) follower_.reset();
    followedPaths_ = std::move(paths);
    follower_.setBindings(std::move(bindings));
    if (!followOn_) {
        lastForeground_ = nullptr;
        followOn_ = foreground_.start(hwnd(), kPostForeground);
    }
}

void MainWindow::onForeground(HWND window) {
    if (!followOn_ || shutDown_) return;
    if (window == nullptr) window = GetForegroundWindow();
    // Our own windows change nothing: opening the main window or a dialog
    // from the tray must not switch back.
    if (window == nullptr || window == lastForeground_ || isOwnWindow(window)) return;
    const EditingDialogs& dialogs = editingDialogs();
    const ProfileManagerView* manager = profileManagerView();
    const bool editing = dialogs.keyFunctionDialogOpen() || dialogs.macroEditorOpen() ||
                         (manager != nullptr && manager->isOpen());
    // Looked at again once the dialogs are closed.
    if (!editing) lastForeground_ = window;
    const auto to = follower_.onForeground(programOfWindow(window), heart_.profiles().activeIndex(), editing);
    if (to) (void)switchProfile(*to);
}

void MainWindow::setTrayPicture(std::optional<int> id) {
    if (id && !shutDown_ && tray_.Created()) tray_.ChangeIcon(*id);
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
    applyFlipState();
}

void MainWindow::unmarkKeyButton(int slot) { kb::unmarkKeyButton(heart_.activation().windowPort(), slot); }

void MainWindow::enableApply(bool enabled) {
    const HWND apply = item(ctl::kApply);
    EnableWindow(apply, enabled ? TRUE : FALSE);
    if (auto it = buttons_.find(ctl::kApply); it != buttons_.end() && surfaces_.built()) it->second->Redraw();
}

kbskin::SkinButton* MainWindow::keyButton(int id) noexcept {
    if (keyButtonById(id) == nullptr) return nullptr;
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second.get();
}

void MainWindow::giveEditLook(int buttonId, bool editing) {
    const KeyButton* k = keyButtonById(buttonId);
    kbskin::SkinButton* b = keyButton(buttonId);
    if (k == nullptr || b == nullptr) return;
    setButtonFaces(buttonId, *b, editing ? editFaces(k->group) : normalFaces(k->group));
}

void MainWindow::setButtonFaces(int, kbskin::SkinButton& b, const FaceSet& f) {
    setSurfaces(b, f.normal, f.hover, f.pressed, f.disabled, f.marked);
}

void MainWindow::setSurfaces(kbskin::SkinButton& b, StatusImage normal, StatusImage hover, StatusImage pressed,
                             StatusImage disabled, StatusImage marked) {
    b.SetSurfaces(surface(normal), surface(hover), surface(pressed), surface(disabled), surface(marked), true);
}

const kbskin::StatusSurface* MainWindow::surface(StatusImage s) const noexcept {
    return surfaces_.at(static_cast<std::size_t>(s));
}

// ---------------------------------------------------------------------------
// Lamps, captions and Flip

void MainWindow::applyFlipState() {
    const bool on = heart_.profiles().flip() != 0;
    for (int id : kFlipKeyboardIds) EnableWindow(item(id), on ? FALSE : TRUE);
    for (int id : kFlipKeypadIds) EnableWindow(item(id), on ? TRUE : FALSE);
    if (auto it = buttons_.find(ctl::kFlipLamp); it != buttons_.end() && surfaces_.built()) {
        using enum StatusImage;
        if (on) {
            setSurfaces(*it->second, S1b, S1b, S1b, S1b, S4);
        } else {
            setSurfaces(*it->second, S1, S1, S1, S1, S4);
        }
    }
}

void MainWindow::toggleFlip() {
    const ProfileList& list = heart_.profiles();
    (void)list.setFlip(list.flip() == 0 ? 1 : 0);
    applyFlipState();
}

void MainWindow::setBankLamp(int bank) {
    auto it = buttons_.find(ctl::kLockBank);
    if (it == buttons_.end() || !surfaces_.built()) return;
    using enum StatusImage;
    if (bank != 0) {
        setSurfaces(*it->second, S2, S2, S2, S2, S1);
    } else {
        setSurfaces(*it->second, S1, S1, S1, S1, S2);
    }
}

void MainWindow::setMacroKeyCaptions(int bank) {
    for (int i = 0; i < kMacroKeyButtonCount; ++i) {
        SetWindowTextW(item(kFirstKeyButtonId + i), wide(macroKeyCaption(bank, i)).c_str());
    }
}

void MainWindow::refreshMacroKeyMarks() {
    std::lock_guard guard(heart_.model().lock());
    const int bank = macroBank();
    for (int i = 0; i < kMacroKeyButtonCount; ++i) {
        const int slot = kFirstMacroKeySlot + 5 * bank + i;
        const bool marked = heart_.model().record && heart_.model().record->entry(slot).type != 0;
        if (auto* b = keyButton(kFirstKeyButtonId + i)) b->SetMarked(marked, surfaces_.built());
    }
}

void MainWindow::onButtonDrawn(int id, bool normalFace) {
    auto redraw = [this](int other) {
        if (auto it = buttons_.find(other); it != buttons_.end()) it->second->Redraw();
    };
    switch (id) {
    case ctl::kLockBank:
        for (int i = 0; i < kMacroKeyButtonCount; ++i) InvalidateRect(item(kFirstKeyButtonId + i), nullptr, TRUE);
        break;
    case kEnterButtonId:
        // The two keys' rectangles touch; "]}" is drawn over Enter's corner.
        redraw(kRightBracketButtonId);
        break;
    case ctl::kFlipLamp:
        if (heart_.profiles().flip() != 0) {
            for (int k : kFlipKeypadIds) redraw(k);
        } else {
            for (int k : kFlipKeyboardIds) redraw(k);
        }
        redraw(kF5Id);
        redraw(ctl::kFlipSwitch1);
        redraw(ctl::kFlipSwitch2);
        break;
    case ctl::kFlipSwitch1:
        arrows_.ShowArrowFrame(kbskin::ArrowSide::Left, 2, true, normalFace);
        break;
    case ctl::kFlipSwitch2:
        arrows_.ShowArrowFrame(kbskin::ArrowSide::Right, 2, true, normalFace);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// What the heart tells the window

void MainWindow::attachState(int state) { post(kPostAttach, static_cast<WPARAM>(state > 0 ? 1 : 0)); }

bool MainWindow::editingMacroKey() { return kb::ui::editingMacroKey(); }

void MainWindow::refuseBankSwitch() { post(kPostRefuseBank); }

void MainWindow::bankChanged(int bank) { post(kPostBank, static_cast<WPARAM>(bank)); }

void MainWindow::playbackIndication(bool playing) { post(kPostPlayback, playing ? 1 : 0); }

void MainWindow::setKeyButtonAssigned(int slot, bool assigned) {
    if (!onUiThread()) {
        post(kPostKeyMark, static_cast<WPARAM>(slot), assigned ? 1 : 0);
        return;
    }
    const KeyButton* k = keyButtonBySlot(slot, macroBank());
    if (k == nullptr) return;
    if (auto* b = keyButton(k->id)) b->SetMarked(assigned, surfaces_.built());
}

void MainWindow::setApplyButtonEnabled(bool enabled) {
    if (!onUiThread()) {
        post(kPostApplyButton, enabled ? 1 : 0);
        return;
    }
    enableApply(enabled);
}

void MainWindow::showProfileMenu(const ProfileMenu& menu) {
    HMENU popup = CreatePopupMenu();
    if (popup == nullptr) return;
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
        const ProfileMenuItem& it = menu.items[i];
        if (it.isSeparator()) {
            AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        } else {
            const UINT checked = static_cast<int>(i) == menu.checkedPosition ? MF_CHECKED : MF_UNCHECKED;
            AppendMenuW(popup, MF_STRING | checked, static_cast<UINT_PTR>(it.commandId), asWide(it.text));
        }
    }
    profileMenu_.reset(popup);
    refreshFollowing();
    if (auto it = buttons_.find(ctl::kProfiles); it != buttons_.end()) {
        SetWindowTextW(it->second->Hwnd(), asWide(menu.activeName));
        it->second->SetTooltip(wide(menu.toolTip));
        if (surfaces_.built()) it->second->Redraw();
    }
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
