// The skin engine's notification-area icon, lock lamps, arrows and link
// label under Wine, on the shared skinned test dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "indicators.h"
#include "skin_dpi.h"
#include "skin_win_fixture.h"
#include "tray_icon.h"

namespace kbskin {
namespace {

using namespace kbskin::test;

// --- Tray icon ------------------------------------------------------------------

constexpr UINT kTrayMessage = 0x6BD;
constexpr UINT kTrayId = 140;

// Whether the shell knows the icon: a modification succeeds only for a known one.
bool trayHas(HWND window) {
    NOTIFYICONDATAW probe{};
    probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
    probe.hWnd = window;
    probe.uID = kTrayId;
    probe.uFlags = NIF_TIP;
    lstrcpynW(probe.szTip, L"Vortek\x952E\x76D8", 64);
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

// Wine's stand-alone tray window hides when its last icon goes, which costs two
// seconds without a window manager; an icon of the test's own keeps it up.
NOTIFYICONDATAW g_keeper{};

void keepTrayUp() {
    if (g_keeper.hWnd) return;
    g_keeper.cbSize = NOTIFYICONDATAW_V2_SIZE;
    g_keeper.hWnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    g_keeper.uID = 1;
    g_keeper.uFlags = NIF_ICON;
    g_keeper.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(142));
    Shell_NotifyIconW(NIM_ADD, &g_keeper);
}

// Takes the test's own tray icon away before the program ends, so the tray
// window does not disappear later under another program's feet.
class TrayCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        if (!g_keeper.hWnd) return;
        Shell_NotifyIconW(NIM_DELETE, &g_keeper);
        DestroyWindow(g_keeper.hWnd);
        g_keeper.hWnd = nullptr;
    }
};

TEST_F(SkinWindow, TrayIconIsAddedChangedRemovedAndBackAfterTheTaskbarRestarts) {
    keepTrayUp();
    HWND w = dialog->hwnd();
    CTrayIcon tray;
    HICON first = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(141));
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"Vortek\x952E\x76D8", first, kTrayId));
    EXPECT_TRUE(tray.Created());
    EXPECT_TRUE(trayHas(w));

    ASSERT_TRUE(tray.ChangeIcon(142));
    EXPECT_NE(tray.Icon(), first);
    EXPECT_TRUE(trayHas(w));
    EXPECT_FALSE(tray.ChangeIcon(999));  // no such icon: the picture stays

    tray.DeleteIcon();
    EXPECT_FALSE(tray.Created());
    EXPECT_FALSE(trayHas(w));
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"Vortek\x952E\x76D8", first, kTrayId));
    EXPECT_TRUE(trayHas(w));

    // The shell restarts: its icons are gone, then it announces the new taskbar.
    NOTIFYICONDATAW gone{};
    gone.cbSize = NOTIFYICONDATAW_V2_SIZE;
    gone.hWnd = w;
    gone.uID = kTrayId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    EXPECT_FALSE(trayHas(w));
    SendMessageW(w, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(tray.Created());
    EXPECT_TRUE(trayHas(w));
    // The window still gets its messages through the hook chain.
    SendMessageW(dialog->b1.Hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog->commands.back(), 1001);
}

TEST_F(SkinWindow, TrayIconTakesTheSmallIconSizeOfTheWindowsScale) {
    keepTrayUp();
    HWND w = dialog->hwnd();
    CTrayIcon tray;
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"tip", LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(141)), kTrayId));
    auto width = [&] {
        ICONINFO info{};
        if (!GetIconInfo(tray.Icon(), &info)) return 0;
        const UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bm{};
        GetObjectW(colour.get(), sizeof bm, &bm);
        return static_cast<int>(bm.bmWidth);
    };
    ASSERT_TRUE(tray.ChangeIcon(142));
    EXPECT_EQ(width(), MulDiv(16, WindowDpi(w), 96));
    SetWindowDpi(w, 192);  // the window moved to a 200 % monitor
    ASSERT_TRUE(tray.Rescale());
    EXPECT_EQ(width(), 32);
    SetWindowDpi(w, 144);
    ASSERT_TRUE(tray.Rescale());
    EXPECT_EQ(width(), 24);
    SetWindowDpi(w, 0);
}

TEST_F(SkinWindow, TrayTellsASingleClickFromADoubleClick) {
    keepTrayUp();
    HWND w = dialog->hwnd();
    CTrayIcon tray;
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"tip", LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(141)), kTrayId));
    auto count = [&](int id) { return std::count(dialog->commands.begin(), dialog->commands.end(), id); };
    const DWORD doubleClick = GetDoubleClickTime();

    tray.SetClickCommand(1009);
    const ULONGLONG start = GetTickCount64();
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDOWN);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONUP);
    ASSERT_TRUE(PumpUntil([&] { return count(1009) == 1; }, doubleClick + 3000));
    EXPECT_GE(GetTickCount64() - start + 20, doubleClick) << "a single click acted before the double-click time";

    // A double click opens (the menu's first command) once and never also clicks.
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDOWN);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONUP);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDBLCLK);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONUP);
    Pump(doubleClick + 300);
    EXPECT_EQ(count(32771), 1);
    EXPECT_EQ(count(1009), 1);

    // Another icon's messages and a click without a default command do nothing.
    SendMessageW(w, kTrayMessage, kTrayId + 1, WM_LBUTTONDBLCLK);
    tray.SetClickCommand(0);
    SendMessageW(w, kTrayMessage, kTrayId, WM_LBUTTONDOWN);
    Pump(doubleClick + 300);
    EXPECT_EQ(count(32771), 1);
    EXPECT_EQ(count(1009), 1);
}

bool g_menuSeen = false;
void CALLBACK closeMenu(HWND, UINT, UINT_PTR id, DWORD) {
    g_menuSeen = g_menuSeen || FindWindowW(L"#32768", nullptr) != nullptr;
    KillTimer(nullptr, id);
    EndMenu();
}

TEST_F(SkinWindow, TrayMenuOpensOnRightButtonRelease) {
    keepTrayUp();
    HWND w = dialog->hwnd();
    CTrayIcon tray;
    ASSERT_TRUE(tray.AddIcon(w, kTrayMessage, L"tip", LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(141)), kTrayId));
    g_menuSeen = false;
    SendMessageW(w, kTrayMessage, kTrayId, WM_RBUTTONDOWN);
    EXPECT_EQ(FindWindowW(L"#32768", nullptr), nullptr);
    SetTimer(nullptr, 0, 150, &closeMenu);
    SendMessageW(w, kTrayMessage, kTrayId, WM_RBUTTONUP);  // returns when the menu closes
    EXPECT_TRUE(g_menuSeen);
}

// --- Lamps and arrows -------------------------------------------------------------

void pressCapsLock() {
    keybd_event(VK_CAPITAL, 0x3A, 0, 0);
    keybd_event(VK_CAPITAL, 0x3A, KEYEVENTF_KEYUP, 0);
}

// A clock the test moves by hand: one Tick is one period.
class HandClock final : public StepClock {
public:
    void Run(UINT, std::function<void()> step) override {
        step_ = std::move(step);
        running_ = true;
    }
    void Halt() override { running_ = false; }
    [[nodiscard]] bool Running() const noexcept { return running_; }
    void Tick(int periods = 1) {
        for (int i = 0; i < periods && running_; ++i) {
            const auto step = step_;  // a step may run the clock anew
            step();
        }
    }

private:
    std::function<void()> step_;
    bool running_ = false;
};

// Counts the Caps Lock releases that have passed every low-level hook of the
// process: ours hands the key on first, so a hook of the lamps has seen it,
// and has posted what it posts, by the time the count moves.
std::atomic<int> g_capsReleases{0};
LRESULT CALLBACK witnessHook(int code, WPARAM wp, LPARAM lp) {
    const LRESULT result = CallNextHookEx(nullptr, code, wp, lp);
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
    if (code == HC_ACTION && key->vkCode == VK_CAPITAL && (key->flags & LLKHF_UP)) ++g_capsReleases;
    return result;
}

TEST_F(SkinWindow, LampFollowsCapsLockAndRestsWhileHidden) {
    SkinButton& lamp = dialog->caps;
    LockLamps lamps;
    HandClock clock;
    const bool initial = LockLamps::LockIsOn(VK_CAPITAL);
    ASSERT_TRUE(lamps.Start(dialog->hwnd(), nullptr, &lamp, nullptr, S(1), S(2), &clock));
    auto lit = [&] { return lamp.LastSurface() == S(2); };
    auto litPixel = [&] { return ClientPixel(lamp.Hwnd(), 3, 3) == statusPixel(2, lamp.FaceX() + 3, lamp.FaceY() + 3); };
    EXPECT_EQ(lit(), initial);

    // The second look comes once the system holds the new state.
    pressCapsLock();
    EXPECT_TRUE(PumpUntil([&] {
        if (LockLamps::LockIsOn(VK_CAPITAL) != initial) clock.Tick();
        return lit() != initial;
    }, 2000)) << "the lamp did not follow Caps Lock";
    EXPECT_EQ(LockLamps::LockIsOn(VK_CAPITAL), !initial);
    EXPECT_EQ(litPixel(), !initial);

    const kbwin::UniqueHook witness(SetWindowsHookExW(WH_KEYBOARD_LL, &witnessHook, GetModuleHandleW(nullptr), 0));
    ASSERT_TRUE(witness);
    ShowWindow(dialog->hwnd(), SW_HIDE);
    const int released = g_capsReleases;
    pressCapsLock();
    // The pump that sees the count drains what was posted before it.
    ASSERT_TRUE(PumpUntil([&] { return g_capsReleases > released; }, 2000));
    EXPECT_FALSE(clock.Running()) << "a look was planned while the window was hidden";
    clock.Tick(3);
    EXPECT_EQ(lit(), !initial) << "the lamp changed while its window was hidden";
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    EXPECT_TRUE(PumpUntil([&] { return lit() == initial; }, 2000)) << "showing the window did not catch up";
    EXPECT_EQ(LockLamps::LockIsOn(VK_CAPITAL), initial);
    lamps.Stop();
}

TEST_F(SkinWindow, ArrowsAlternateFramesFollowFlipAndRestWhileHidden) {
    bool flip = false;
    ArrowAnimator arrows;
    HandClock clock;
    SkinButton& left = dialog->left;
    SkinButton& right = dialog->right;
    ASSERT_TRUE(arrows.Start(dialog->hwnd(), &left, &right, dialog->iniPath(), arrowSurface(), [&] { return flip; },
                             1000, &clock));
    std::vector<int> lefts, rights;
    auto watchTicks = [&](unsigned n) {
        lefts.clear();
        rights.clear();
        for (unsigned i = 0; i < n; ++i) {
            clock.Tick();
            lefts.push_back(left.FaceX());
            rights.push_back(right.FaceX());
        }
    };
    watchTicks(4);
    EXPECT_EQ(arrows.Ticks(), 4u);
    for (std::size_t i = 0; i < lefts.size(); ++i) {
        EXPECT_TRUE(lefts[i] == 0 || lefts[i] == 16) << lefts[i];  // DOWN_ARROW_LEFT1/2
        EXPECT_TRUE(rights[i] == 0 || rights[i] == 16) << rights[i];
        if (i > 0) {
            EXPECT_NE(lefts[i], lefts[i - 1]) << "frames do not alternate";
        }
    }
    EXPECT_TRUE(PumpUntil([&] { return ClientPixel(left.Hwnd(), 2, 2) == arrowPixel(left.FaceX() + 2, 2); }));

    flip = true;
    watchTicks(3);
    for (int x : lefts) EXPECT_TRUE(x == 32 || x == 48) << x;  // UP_ARROW_LEFT1/2
    for (int x : rights) EXPECT_TRUE(x == 32 || x == 48) << x;

    // The flip switch's hover stops the left arrow on its frame; the right goes on.
    arrows.ShowArrowFrame(ArrowSide::Left, 2, true, false);
    watchTicks(3);
    EXPECT_EQ(lefts[0], lefts[1]);
    EXPECT_EQ(lefts[1], lefts[2]);
    EXPECT_NE(rights[0], rights[1]);
    arrows.ShowArrowFrame(ArrowSide::Left, 2, true, true);

    ShowWindow(dialog->hwnd(), SW_HIDE);
    const unsigned before = arrows.Ticks();
    clock.Tick(3);
    EXPECT_EQ(arrows.Ticks(), before) << "arrows moved while hidden";
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    clock.Tick();
    EXPECT_EQ(arrows.Ticks(), before + 1) << "showing the window did not start the arrows";

    // A window kept in the tray refuses the modal loop's show: WM_SHOWWINDOW
    // arrives, the window stays hidden, and the arrows must stay still.
    ShowWindow(dialog->hwnd(), SW_HIDE);
    static WNDPROC previous = nullptr;
    previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        dialog->hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~SWP_SHOWWINDOW;
            return CallWindowProcW(previous, w, m, wp, lp);
        })));
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    ASSERT_FALSE(IsWindowVisible(dialog->hwnd()));
    const unsigned refused = arrows.Ticks();
    clock.Tick(3);
    EXPECT_EQ(arrows.Ticks(), refused) << "arrows moved after a show the window refused";
    SetWindowLongPtrW(dialog->hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    ShowWindow(dialog->hwnd(), SW_SHOWNOACTIVATE);
    clock.Tick();
    EXPECT_EQ(arrows.Ticks(), refused + 1);
}

// --- Hyperlink label ------------------------------------------------------------

TEST_F(SkinWindow, LinkShowsItsAddressOpensItAndReportsFailure) {
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 150, 20, 80, 14, dialog->hwnd(),
                                 reinterpret_cast<HMENU>(1300), nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    LinkStatic link;
    link.SetUrl(L"http://kb.test/");
    std::vector<std::wstring> opened, reported;
    INT_PTR result = 26;
    link.SetOpener([&](const std::wstring& url) { return opened.push_back(url), result; });
    link.SetFailureReporter([&](const std::wstring& text) { reported.push_back(text); });
    ASSERT_TRUE(link.AttachWindow(label));
    wchar_t text[64] = {};
    GetWindowTextW(label, text, 64);
    EXPECT_STREQ(text, L"http://kb.test/");  // empty text shows the address
    EXPECT_EQ(link.CurrentColour(), COLORREF(0xEE0000));

    SendMessageW(dialog->hwnd(), WM_COMMAND, MAKEWPARAM(1300, STN_CLICKED), reinterpret_cast<LPARAM>(label));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], L"http://kb.test/");
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], L"Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_FALSE(link.Visited());

    result = 42;
    SendMessageW(dialog->hwnd(), WM_COMMAND, MAKEWPARAM(1300, STN_CLICKED), reinterpret_cast<LPARAM>(label));
    EXPECT_TRUE(link.Visited());
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(link.CurrentColour(), COLORREF(0x8B1A55));

    // Hover colour while the pointer is over it; back once it is gone.
    SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(link.Hovering());
    EXPECT_EQ(link.CurrentColour(), COLORREF(0x0000FF));
    SetCursorPos(1200, 1000);
    EXPECT_TRUE(PumpUntil([&] { return !link.Hovering(); }, 2000));

    // Text without an address opens its text.
    HWND second = CreateWindowExW(0, L"STATIC", L"http://text.test/", WS_CHILD | WS_VISIBLE, 150, 40, 80, 14,
                                  dialog->hwnd(), reinterpret_cast<HMENU>(1301), nullptr, nullptr);
    LinkStatic plain;
    plain.SetOpener([&](const std::wstring& url) { return opened.push_back(url), INT_PTR(33); });
    ASSERT_TRUE(plain.AttachWindow(second));
    SendMessageW(dialog->hwnd(), WM_COMMAND, MAKEWPARAM(1301, STN_CLICKED), reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(opened.back(), L"http://text.test/");
}

}  // namespace

namespace test {
::testing::Environment* NewTrayCleanup() { return new TrayCleanup; }
}  // namespace test
}  // namespace kbskin
