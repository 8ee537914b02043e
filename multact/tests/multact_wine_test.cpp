// The library as a caller sees it: loaded by name, its exports looked up,
// and its actions carried out on small test windows that live on a window
// thread of their own, as the caller's windows do.
#include "multact.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using MultactFn = decltype(&Multact);
using Multact2Fn = decltype(&Multact2);
using MultactForWin2000Fn = decltype(&MultactForWin2000);

template <typename Fn>
Fn lookUp(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

struct Library {
    HMODULE module = LoadLibraryW(L"Multact.dll");
    MultactFn multact = lookUp<MultactFn>(module, "Multact");
    Multact2Fn multact2 = lookUp<Multact2Fn>(module, "Multact2");
    MultactForWin2000Fn forWin2000 = lookUp<MultactForWin2000Fn>(module, "MultactForWin2000");
    Library() = default;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }
};

// --- messages seen by the test windows -------------------------------------

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::mutex gSeenLock;
std::vector<Seen> gSeen;
constexpr UINT kMarker = WM_APP + 7;

std::vector<Seen> seenMessages(UINT message) {
    std::lock_guard lock(gSeenLock);
    std::vector<Seen> out;
    for (const Seen& s : gSeen) {
        if (s.message == message) {
            out.push_back(s);
        }
    }
    return out;
}

void clearSeen() {
    std::lock_guard lock(gSeenLock);
    gSeen.clear();
}

bool isRecorded(UINT message) {
    return message == WM_HSCROLL || message == WM_SYSCOMMAND || message == WM_IME_CHAR || message == kMarker;
}

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (isRecorded(message)) {
        std::lock_guard lock(gSeenLock);
        gSeen.push_back({window, message, wParam, lParam});
    }
    if (message == WM_IME_CHAR) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

INT_PTR CALLBACK recordingDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (isRecorded(message)) {
        std::lock_guard lock(gSeenLock);
        gSeen.push_back({window, message, wParam, lParam});
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

const wchar_t* recordingClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = recordingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"KbMultactTestWindow";
        RegisterClassW(&wc);
        return wc.lpszClassName;
    }();
    return name;
}

// A thread that owns test windows and answers their messages. `build` runs
// on it and returns the window to bring to the foreground and the one to
// give the focus.
class WindowThread {
public:
    struct Made {
        HWND foreground = nullptr;
        HWND focus = nullptr;
    };
    explicit WindowThread(std::function<Made()> build) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, build] {
            made_ = build();
            if (made_.foreground != nullptr) {
                ShowWindow(made_.foreground, SW_SHOWNORMAL);
                SetForegroundWindow(made_.foreground);
            }
            if (made_.focus != nullptr) {
                SetFocus(made_.focus);
            }
            id_ = GetCurrentThreadId();
            SetEvent(ready_);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (made_.foreground != nullptr) {
                DestroyWindow(made_.foreground);
            }
        });
        WaitForSingleObject(ready_, 10000);
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    ~WindowThread() {
        PostThreadMessageW(id_, WM_QUIT, 0, 0);
        thread_.join();
        CloseHandle(ready_);
    }
    [[nodiscard]] HWND foreground() const { return made_.foreground; }
    [[nodiscard]] HWND focus() const { return made_.focus; }

    // Everything posted to this thread's windows before the call has been
    // handled once it returns true.
    bool drain(HWND anyWindow) {
        PostMessageW(anyWindow, kMarker, 0, 0);
        for (int i = 0; i < 500; ++i) {
            for (const Seen& s : seenMessages(kMarker)) {
                if (s.window == anyWindow) {
                    clearMarkers();
                    return true;
                }
            }
            Sleep(10);
        }
        return false;
    }

private:
    static void clearMarkers() {
        std::lock_guard lock(gSeenLock);
        std::erase_if(gSeen, [](const Seen& s) { return s.message == kMarker; });
    }
    HANDLE ready_ = nullptr;
    std::thread thread_;
    Made made_;
    DWORD id_ = 0;
};

HWND makeWindow(const wchar_t* title, DWORD style, HWND parent = nullptr, const wchar_t* cls = nullptr,
                int x = 100, int y = 100, int w = 400, int h = 300) {
    return CreateWindowExW(0, cls != nullptr ? cls : recordingClass(), title, style, x, y, w, h, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// Polls a condition for up to five seconds.
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) {
            return true;
        }
        Sleep(10);
    }
    return condition();
}

class MultactTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(lib.module, nullptr) << "Multact.dll not loaded, error " << GetLastError();
        ASSERT_NE(lib.multact, nullptr);
        ASSERT_NE(lib.multact2, nullptr);
        ASSERT_NE(lib.forWin2000, nullptr);
        clearSeen();
    }
    // The windows must really be in front for the foreground actions.
    static void expectInFront(const WindowThread& ui) {
        ASSERT_EQ(GetForegroundWindow(), ui.foreground()) << "test window did not become the foreground window";
    }
    Library lib;
};

// SetUp has looked up every export by name; a wrong name fails there.
TEST_F(MultactTest, ExportsAreFoundByName) {
    EXPECT_EQ(lookUp<MultactFn>(lib.module, "NoSuchExport"), nullptr);
}

// --- typing ----------------------------------------------------------------

TEST_F(MultactTest, TypedTextReachesTheFocusedEditWithoutLineFeeds) {
    WindowThread ui([] {
        HWND top = makeWindow(L"typing", WS_OVERLAPPEDWINDOW);
        HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 10, 10,
                                    300, 200, top, nullptr, GetModuleHandleW(nullptr), nullptr);
        return WindowThread::Made{top, edit};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact2(kb::multact::kTypeText, L"a\r\nb\u4F60", nullptr), 1);
    // A line feed would have made a second line break in a multi-line edit.
    wchar_t text[64] = {};
    GetWindowTextW(ui.focus(), text, 64);
    EXPECT_EQ(std::wstring(text), L"a\r\nb\u4F60");
}

TEST_F(MultactTest, TypedTextIsSentUnitByUnitAsImeCharacters) {
    WindowThread ui([] {
        HWND top = makeWindow(L"typing", WS_OVERLAPPEDWINDOW);
        HWND child = makeWindow(L"", WS_CHILD | WS_VISIBLE, top, nullptr, 0, 0, 100, 100);
        return WindowThread::Made{top, child};
    });
    expectInFront(ui);
    EXPECT_EQ(lib.multact2(kb::multact::kTypeText, L"a\r\nb", nullptr), 1);
    // The call has returned: everything typed has arrived.
    const auto typed = seenMessages(WM_IME_CHAR);
    ASSERT_EQ(typed.size(), 3u);
    const WPARAM units[] = {L'a', L'\r', L'b'};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(typed[i].window, ui.focus());
        EXPECT_EQ(typed[i].wParam, units[i]);
        EXPECT_EQ(typed[i].lParam, 1);
    }
    EXPECT_EQ(lib.multact2(kb::multact::kTypeText, nullptr, nullptr), 0);
    EXPECT_EQ(lib.multact2(kb::multact::kTypeText, L"", nullptr), 1);
    EXPECT_EQ(seenMessages(WM_IME_CHAR).size(), 3u);
}

// The caller may own the focused window itself (no window thread of its
// own to answer): typing must still arrive and the call must return.
TEST_F(MultactTest, TypingIntoTheCallersOwnWindowDoesNotDeadlock) {
    HWND top = makeWindow(L"own", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    SetForegroundWindow(top);
    SetFocus(top);
    ASSERT_EQ(GetForegroundWindow(), top);
    EXPECT_EQ(lib.multact2(kb::multact::kTypeText, L"xy", nullptr), 1);
    const auto typed = seenMessages(WM_IME_CHAR);
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_EQ(typed[0].wParam, static_cast<WPARAM>(L'x'));
    EXPECT_EQ(typed[1].wParam, static_cast<WPARAM>(L'y'));
    DestroyWindow(top);
}

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
