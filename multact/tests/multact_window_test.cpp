// The library's actions on windows: scrolling, window size, zoom, the calendar
// and codes that name nothing.
#include "multact_test_support.h"


namespace {

using namespace multact_test;

// --- horizontal scrolling --------------------------------------------------

TEST_F(MultactTest, ScrollGoesToAFocusedWindowWithAHorizontalBar) {
    WindowThread ui([] {
        HWND top = makeWindow(L"scroll", WS_OVERLAPPEDWINDOW | WS_HSCROLL);
        SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, 1000, 100, 0, 0};
        SetScrollInfo(top, SB_HORZ, &info, FALSE);
        return WindowThread::Made{top, top};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kScrollRight), 0);
    EXPECT_EQ(lib.multact(kb::multact::kScrollLeft), 0);
    ASSERT_TRUE(ui.drain(ui.foreground()));
    const auto scrolls = seenMessages(WM_HSCROLL);
    ASSERT_EQ(scrolls.size(), 2u);
    EXPECT_EQ(scrolls[0].window, ui.foreground());
    EXPECT_EQ(scrolls[0].wParam, static_cast<WPARAM>(SB_LINERIGHT));
    EXPECT_EQ(scrolls[0].lParam, 0);
    EXPECT_EQ(scrolls[1].wParam, static_cast<WPARAM>(SB_LINELEFT));
    // The caller's input is not left joined to the window thread's.
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(MultactTest, ScrollGoesToAFocusedBrowserViewWithoutAsking) {
    WindowThread ui([] {
        HWND top = makeWindow(L"browser", WS_OVERLAPPEDWINDOW);
        HWND view = makeWindow(L"", WS_CHILD | WS_VISIBLE, top, recordingClass(L"Internet Explorer_Server"), 0, 0,
                               300, 200);
        return WindowThread::Made{top, view};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kScrollLeft), 0);
    ASSERT_TRUE(ui.drain(ui.foreground()));
    const auto scrolls = seenMessages(WM_HSCROLL);
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0].window, ui.focus());
    EXPECT_EQ(scrolls[0].wParam, static_cast<WPARAM>(SB_LINELEFT));
    EXPECT_EQ(scrolls[0].lParam, 0);
}

struct ControlsLayout {
    HWND top, focus, horizontal, vertical;
};
ControlsLayout gLayout;

TEST_F(MultactTest, ScrollGoesToHorizontalScrollBarControlsBesideTheFocus) {
    WindowThread ui([] {
        HWND top = makeWindow(L"controls", WS_OVERLAPPEDWINDOW);
        HWND focus = makeWindow(L"", WS_CHILD | WS_VISIBLE, top, nullptr, 0, 0, 200, 100);
        auto bar = [top](DWORD style, int y) {
            HWND h = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | WS_VISIBLE | style, 0, y, 200, 20, top,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
            SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, 100, 10, 0, 0};
            SetScrollInfo(h, SB_CTL, &info, FALSE);
            return h;
        };
        gLayout = {top, focus, bar(SBS_HORZ, 120), bar(SBS_VERT, 150)};
        return WindowThread::Made{top, focus};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kScrollRight), 0);
    ASSERT_TRUE(ui.drain(ui.foreground()));
    const auto scrolls = seenMessages(WM_HSCROLL);
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0].window, gLayout.top);
    EXPECT_EQ(scrolls[0].wParam, static_cast<WPARAM>(SB_LINERIGHT));
    EXPECT_EQ(scrolls[0].lParam, reinterpret_cast<LPARAM>(gLayout.horizontal));
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(MultactTest, ScrollPostsNothingWithoutBarOrControls) {
    WindowThread ui([] {
        HWND top = makeWindow(L"plain", WS_OVERLAPPEDWINDOW);
        HWND focus = makeWindow(L"", WS_CHILD | WS_VISIBLE, top, nullptr, 0, 0, 200, 100);
        makeWindow(L"", WS_CHILD | WS_VISIBLE, top, nullptr, 0, 120, 200, 100);
        return WindowThread::Made{top, focus};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kScrollRight), 0);
    EXPECT_EQ(lib.multact(kb::multact::kScrollLeft), 0);
    ASSERT_TRUE(ui.drain(ui.foreground()));
    EXPECT_TRUE(seenMessages(WM_HSCROLL).empty());
}

// --- window size -----------------------------------------------------------

TEST_F(MultactTest, MaximiseAndMinimiseTheForegroundWindow) {
    WindowThread ui([] {
        HWND top = makeWindow(L"sizes", WS_OVERLAPPEDWINDOW);
        return WindowThread::Made{top, top};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kMaximise), 0);
    EXPECT_TRUE(eventually([&] { return IsZoomed(ui.foreground()) != FALSE; }));
    EXPECT_EQ(lib.multact(kb::multact::kMinimise), 0);
    EXPECT_TRUE(eventually([&] { return IsIconic(ui.foreground()) != FALSE; }));
}

TEST_F(MultactTest, MaximiseLeavesADialogWithoutMaximiseBoxAlone) {
    WindowThread ui([] {
        // An in-memory dialog template: a caption and a system menu, no maximise box.
        alignas(4) static WORD tmpl[32] = {};
        auto* dlg = reinterpret_cast<DLGTEMPLATE*>(tmpl);
        dlg->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        dlg->cx = 160;
        dlg->cy = 80;
        HWND box = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dlg, nullptr, recordingDialogProc, 0);
        return WindowThread::Made{box, box};
    });
    ASSERT_NE(ui.foreground(), nullptr);
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kMaximise), 0);
    ASSERT_TRUE(ui.drain(ui.foreground()));
    EXPECT_TRUE(seenMessages(WM_SYSCOMMAND).empty());
    EXPECT_FALSE(IsZoomed(ui.foreground()));
}


// --- zoom and calendar ----------------------------------------------------

using Keys = std::vector<std::pair<bool, WPARAM>>;
HWND gOther = nullptr;

bool controlIsUp() { return (GetAsyncKeyState(VK_CONTROL) & 0x8000) == 0; }

TEST_F(MultactTest, ZoomTurnsTheWheelWithControlHeld) {
    WindowThread ui([] {
        HWND top = makeWindow(L"zoom", WS_OVERLAPPEDWINDOW);
        return WindowThread::Made{top, top};
    });
    expectInFront(ui);
    SetCursorPos(300, 250);
    EXPECT_EQ(lib.multact(kb::multact::kZoomIn), 1);
    EXPECT_EQ(lib.multact(kb::multact::kZoomOut), 1);
    ASSERT_TRUE(eventually([] { return seenMessages(WM_MOUSEWHEEL).size() >= 2; }));
    ASSERT_TRUE(eventually([] { return seenKeys().size() >= 4; }));
    // Each turn comes between a press and a release of Control.
    std::vector<std::string> order;
    {
        std::lock_guard lock(gSeenLock);
        for (const Seen& s : gSeen) {
            if (s.message == WM_MOUSEWHEEL) {
                order.push_back(GET_WHEEL_DELTA_WPARAM(s.wParam) == WHEEL_DELTA    ? "wheel+"
                                : GET_WHEEL_DELTA_WPARAM(s.wParam) == -WHEEL_DELTA ? "wheel-"
                                                                                    : "wheel?");
            } else if ((s.message == WM_KEYDOWN || s.message == WM_KEYUP) && s.wParam == VK_CONTROL) {
                order.push_back(s.message == WM_KEYDOWN ? "ctrl down" : "ctrl up");
            }
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ctrl down", "wheel+", "ctrl up", "ctrl down", "wheel-", "ctrl up"}));
    EXPECT_TRUE(eventually(controlIsUp)) << "Control left down";
}

TEST_F(MultactTest, ZoomTapsKeypadKeysForViewerClasses) {
    {
        WindowThread ui([] {
            HWND top = makeWindow(L"reader", WS_OVERLAPPEDWINDOW, nullptr, recordingClass(L"adobeacrobat"));
            return WindowThread::Made{top, top};
        });
        expectInFront(ui);
        EXPECT_EQ(lib.multact(kb::multact::kZoomIn), 1);
        ASSERT_TRUE(eventually([] { return seenKeys().size() >= 4; }));
        EXPECT_EQ(seenKeys(), (Keys{{true, VK_CONTROL}, {true, VK_ADD}, {false, VK_ADD}, {false, VK_CONTROL}}));
    }
    clearSeen();
    {
        WindowThread ui([] {
            HWND top = makeWindow(L"preview", WS_OVERLAPPEDWINDOW, nullptr, recordingClass(L"ShImgVw:CPreviewWnd"));
            return WindowThread::Made{top, top};
        });
        expectInFront(ui);
        EXPECT_EQ(lib.multact(kb::multact::kZoomOut), 1);
        ASSERT_TRUE(eventually([] { return seenKeys().size() >= 2; }));
        EXPECT_EQ(seenKeys(), (Keys{{true, VK_SUBTRACT}, {false, VK_SUBTRACT}}));
    }
    EXPECT_TRUE(seenMessages(WM_MOUSEWHEEL).empty());
    EXPECT_TRUE(controlIsUp());
}

TEST_F(MultactTest, CalendarMaximisesAMailWindowBehindTheForeground) {
    WindowThread ui([] {
        gOther = makeWindow(L"Inbox - Microsoft Outlook", WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr,
                            recordingClass(L"rctrl_renwnd32"));
        HWND top = makeWindow(L"front", WS_OVERLAPPEDWINDOW);
        return WindowThread::Made{top, top};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kShowCalendar), 0);
    // Shown maximised. (Without a window manager Wine may undo the size when
    // the window then leaves the topmost band, so the size message is what
    // can be observed here.)
    EXPECT_TRUE(eventually([] {
        for (const Seen& s : seenMessages(WM_SIZE)) {
            if (s.window == gOther && s.wParam == SIZE_MAXIMIZED) {
                return true;
            }
        }
        return false;
    }));
    EXPECT_EQ(GetWindowLongPtrW(gOther, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(eventually(controlIsUp));
}

TEST_F(MultactTest, CalendarInTheForegroundMailWindowTapsControlTwo) {
    WindowThread ui([] {
        HWND top = makeWindow(L"Calendar - Microsoft Outlook", WS_OVERLAPPEDWINDOW, nullptr,
                              recordingClass(L"rctrl_renwnd32"));
        return WindowThread::Made{top, top};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact(kb::multact::kShowCalendar), 0);
    ASSERT_TRUE(eventually([] { return seenKeys().size() >= 4; }));
    EXPECT_EQ(seenKeys(), (Keys{{true, VK_CONTROL}, {true, '2'}, {false, '2'}, {false, VK_CONTROL}}));
    EXPECT_FALSE(IsZoomed(ui.foreground()));
}

// --- codes that name nothing -----------------------------------------------

TEST_F(MultactTest, UnknownCodesReturnZeroAndDoNothing) {
    WindowThread ui([] {
        HWND top = makeWindow(L"unknown", WS_OVERLAPPEDWINDOW | WS_HSCROLL);
        SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, 1000, 100, 0, 0};
        SetScrollInfo(top, SB_HORZ, &info, FALSE);
        return WindowThread::Made{top, top};
    });
    expectInFront(ui);
    for (int code : {0, -1, 1, 187, 190, 216, 512, 515, 999, 0x7FFFFFFF}) {
        EXPECT_EQ(lib.multact(code), 0) << code;
        EXPECT_EQ(lib.multact2(code, L"abc", nullptr), 0) << code;
        EXPECT_EQ(lib.forWin2000(code), 0) << code;
    }
    // Listed codes given to an export that does not list them.
    for (int code : {188, 189, 513, 514, 194, 196, 197}) {
        EXPECT_EQ(lib.multact2(code, L"abc", nullptr), 0) << code;
    }
    for (int code : {188, 189, 513, 514, 642, 657}) {
        EXPECT_EQ(lib.forWin2000(code), 0) << code;
    }
    for (int code : {642, 657, 194, 196, 197}) {
        EXPECT_EQ(lib.multact(code), 0) << code;
    }
    ASSERT_TRUE(ui.drain(ui.foreground()));
    EXPECT_TRUE(seenMessages(WM_HSCROLL).empty());
    EXPECT_TRUE(seenMessages(WM_SYSCOMMAND).empty());
    EXPECT_TRUE(seenMessages(WM_IME_CHAR).empty());
    EXPECT_FALSE(IsZoomed(ui.foreground()));
    EXPECT_FALSE(IsIconic(ui.foreground()));
}


}  // namespace
