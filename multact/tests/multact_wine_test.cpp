// The library as a caller sees it: loaded by name, its exports looked up,
// and its actions carried out on small test windows that live on a window
// thread of their own, as the caller's windows do.
#include "multact.h"
#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <sstream>
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
    kbwin::UniqueModule owner{LoadLibraryW(L"Multact.dll")};
    HMODULE module = owner.get();
    MultactFn multact = lookUp<MultactFn>(module, "Multact");
    Multact2Fn multact2 = lookUp<Multact2Fn>(module, "Multact2");
    MultactForWin2000Fn forWin2000 = lookUp<MultactForWin2000Fn>(module, "MultactForWin2000");
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
    return message == WM_HSCROLL || message == WM_SYSCOMMAND || message == WM_IME_CHAR || message == kMarker ||
           message == WM_KEYDOWN || message == WM_KEYUP || message == WM_MOUSEWHEEL || message == WM_SIZE;
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

// Registers (once) a class with the recording window procedure.
const wchar_t* recordingClass(const wchar_t* name = L"KbMultactTestWindow") {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    return name;
}

// Key messages seen, as (down?, virtual key) pairs.
std::vector<std::pair<bool, WPARAM>> seenKeys() {
    std::lock_guard lock(gSeenLock);
    std::vector<std::pair<bool, WPARAM>> out;
    for (const Seen& s : gSeen) {
        if (s.message == WM_KEYDOWN || s.message == WM_KEYUP) {
            out.emplace_back(s.message == WM_KEYDOWN, s.wParam);
        }
    }
    return out;
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
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
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
            SetEvent(ready_.get());
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            // The thread's windows go with it (destroying them one by one
            // makes Wine wait on the display for each).
        });
        WaitForSingleObject(ready_.get(), 10000);
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    ~WindowThread() {
        PostThreadMessageW(id_, WM_QUIT, 0, 0);
        thread_.join();
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
    kbwin::UniqueHandle ready_;
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
    // The typed input reaches the edit through the input queue: wait for it.
    wchar_t text[64] = {};
    for (int i = 0; i < 200; ++i) {
        GetWindowTextW(ui.focus(), text, 64);
        if (std::wstring(text) == L"a\r\nb\u4F60") break;
        Sleep(10);
    }
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

// Threads started in this process, counted by the loader's thread-attach
// callback of this program.
std::atomic<int> gThreadsStarted{0};
void NTAPI countThreads(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_THREAD_ATTACH) {
        ++gThreadsStarted;
    }
}
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK kbCountThreads = countThreads;

// Texts are typed on a kept thread, not one per text, and the library still
// goes away when its caller frees it; loaded again it types again.
TEST_F(MultactTest, TypingStartsNoThreadPerTextAndTheLibraryStillUnloads) {
    WindowThread ui([] {
        HWND top = makeWindow(L"typing", WS_OVERLAPPEDWINDOW);
        HWND child = makeWindow(L"", WS_CHILD | WS_VISIBLE, top, nullptr, 0, 0, 100, 100);
        return WindowThread::Made{top, child};
    });
    expectInFront(ui);
    ASSERT_EQ(lib.multact2(kb::multact::kTypeText, L"a", nullptr), 1);
    constexpr int kTexts = 20;
    const int before = gThreadsStarted.load();
    for (int i = 0; i < kTexts; ++i) {
        ASSERT_EQ(lib.multact2(kb::multact::kTypeText, L"b", nullptr), 1);
    }
    EXPECT_LT(gThreadsStarted.load() - before, kTexts / 4);
    EXPECT_EQ(seenMessages(WM_IME_CHAR).size(), static_cast<std::size_t>(kTexts + 1));

    EXPECT_TRUE(lib.owner.close());
    lib.module = nullptr;
    EXPECT_TRUE(eventually([] { return GetModuleHandleW(L"Multact.dll") == nullptr; }))
        << "the library stayed loaded after typing";
    Library again;
    ASSERT_NE(again.multact2, nullptr);
    EXPECT_EQ(again.multact2(kb::multact::kTypeText, L"c", nullptr), 1);
    const auto typed = seenMessages(WM_IME_CHAR);
    ASSERT_EQ(typed.size(), static_cast<std::size_t>(kTexts + 2));
    EXPECT_EQ(typed.back().wParam, static_cast<WPARAM>(L'c'));
}

// A window whose thread stops answering must not hold the caller for good.
std::atomic<bool> gStuck{false};
HANDLE gRelease = nullptr;
HANDLE gStuckNow = nullptr;
constexpr UINT kGetStuck = WM_APP + 9;

LRESULT CALLBACK stuckProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kGetStuck) {
        gStuck = true;
        SetEvent(gStuckNow);
        WaitForSingleObject(gRelease, 30000);
        gStuck = false;
        return 0;
    }
    return recordingProc(window, message, wParam, lParam);
}

TEST_F(MultactTest, TypingIntoAWindowThatDoesNotAnswerReturns) {
    const kbwin::UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const kbwin::UniqueHandle stuckNow(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    gRelease = release.get();
    gStuckNow = stuckNow.get();
    {
        WindowThread ui([] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = stuckProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"KbMultactStuck";
            RegisterClassW(&wc);
            HWND top = makeWindow(L"stuck", WS_OVERLAPPEDWINDOW, nullptr, wc.lpszClassName);
            return WindowThread::Made{top, top};
        });
        expectInFront(ui);
        PostMessageW(ui.foreground(), kGetStuck, 0, 0);
        ASSERT_EQ(WaitForSingleObject(gStuckNow, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(lib.multact2(kb::multact::kTypeText, L"abc", nullptr), 1);
        // Returned while the window's thread was still not answering.
        EXPECT_TRUE(gStuck.load());
        SetEvent(gRelease);
    }
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

// --- starting a program --------------------------------------------------

std::wstring folderOfThisProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.rfind(L'\\'));
}

std::wstring wide(const std::string& s) { return kbtext::wideFromUtf8(s); }

bool sameFolder(std::wstring a, std::wstring b) {
    for (auto* s : {&a, &b}) {
        while (s->size() > 3 && s->back() == L'\\') {
            s->pop_back();
        }
    }
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// What the probe program reports about itself.
struct ProbeReport {
    DWORD processId = 0;
    HWND window = nullptr;
    std::wstring folder;
    std::wstring program;
    std::vector<std::wstring> arguments;
};

bool readReport(const std::wstring& path, ProbeReport& out) {
    const kbwin::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return false;
    }
    char buf[4096];
    DWORD got = 0;
    const BOOL ok = ReadFile(file.get(), buf, sizeof buf, &got, nullptr);
    if (!ok) {
        return false;
    }
    std::istringstream in(std::string(buf, got));
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    if (lines.size() < 4) {
        return false;
    }
    out.processId = static_cast<DWORD>(std::stoul(lines[0]));
    out.window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(lines[1])));
    out.folder = wide(lines[2]);
    out.program = wide(lines[3]);
    out.arguments.clear();
    for (std::size_t i = 4; i < lines.size(); ++i) {
        out.arguments.push_back(wide(lines[i]));
    }
    return true;
}

// A started probe: its report, a handle on its process, and the event that ends it.
class StartedProbe {
public:
    explicit StartedProbe(const std::wstring& tag)
        : report_(scratch() + L"\\report-" + tag + L".txt"),
          eventName_(L"KbMultactProbeDone-" + tag + L"-" + std::to_wstring(GetCurrentProcessId())),
          done_(CreateEventW(nullptr, TRUE, FALSE, eventName_.c_str())),
          raised_(CreateEventW(nullptr, TRUE, FALSE, (eventName_ + L"-raised").c_str())) {
        DeleteFileW(report_.c_str());
    }
    StartedProbe(const StartedProbe&) = delete;
    StartedProbe& operator=(const StartedProbe&) = delete;
    ~StartedProbe() {
        SetEvent(done_.get());
        if (process_) {
            WaitForSingleObject(process_.get(), 10000);
        }
        DeleteFileW(report_.c_str());
    }
    // Temporary folder with a space in its name, holding a copy of the probe.
    static const std::wstring& scratch() {
        static const std::wstring folder = [] {
            wchar_t temp[MAX_PATH] = {};
            GetTempPathW(MAX_PATH, temp);
            std::wstring f = std::wstring(temp) + L"multact probe " + std::to_wstring(GetCurrentProcessId());
            CreateDirectoryW(f.c_str(), nullptr);
            CopyFileW((folderOfThisProgram() + L"\\multact_probe.exe").c_str(), (f + L"\\multact_probe.exe").c_str(),
                      FALSE);
            return f;
        }();
        return folder;
    }
    // For a start without parameters: the probe reads these instead.
    void exportToEnvironment() const {
        SetEnvironmentVariableW(L"KB_PROBE_REPORT", report_.c_str());
        SetEnvironmentVariableW(L"KB_PROBE_EVENT", eventName_.c_str());
    }
    [[nodiscard]] std::wstring parameters() const { return L"\"" + report_ + L"\" " + eventName_ + L" \"two words\""; }
    // Waits for the report; then holds the probe's process.
    bool waitForReport(ProbeReport& out) {
        if (!eventually([&] { return readReport(report_, out); })) {
            return false;
        }
        process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, out.processId));
        return process_.valid();
    }
    // The probe saw its window made topmost.
    [[nodiscard]] bool raised(DWORD waitMs) const { return WaitForSingleObject(raised_.get(), waitMs) == WAIT_OBJECT_0; }
    [[nodiscard]] bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    [[nodiscard]] const std::wstring& reportPath() const { return report_; }
    [[nodiscard]] const std::wstring& eventName() const { return eventName_; }

private:
    std::wstring report_;
    std::wstring eventName_;
    kbwin::UniqueHandle done_;
    kbwin::UniqueHandle raised_;
    kbwin::UniqueHandle process_;
};

TEST_F(MultactTest, StartsAProgramInItsFolderAndReturnsAtOnce) {
    StartedProbe probe(L"folder");
    const std::wstring program = StartedProbe::scratch() + L"\\multact_probe.exe";
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, program.c_str(), probe.parameters().c_str()), 1);

    ProbeReport report;
    ASSERT_TRUE(probe.waitForReport(report)) << "the program did not start";
    // The probe runs until told to end, so the call cannot have waited for it.
    EXPECT_TRUE(probe.running());
    EXPECT_TRUE(sameFolder(report.folder, StartedProbe::scratch()))
        << "started in " << std::string(report.folder.begin(), report.folder.end());
    EXPECT_EQ(report.arguments, (std::vector<std::wstring>{probe.reportPath(), probe.eventName(), L"two words"}));

    // Brought to the front by making it topmost for a moment, and not left topmost.
    EXPECT_TRUE(probe.raised(10000)) << "the started program's window was not brought to the front";
    EXPECT_TRUE(eventually([&] { return (GetWindowLongPtrW(report.window, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0; }));
}

// Puts a folder first on PATH for the life of the object.
class PathFront {
public:
    explicit PathFront(const std::wstring& folder) {
        old_.resize(32767);
        old_.resize(GetEnvironmentVariableW(L"PATH", old_.data(), 32767));
        SetEnvironmentVariableW(L"PATH", (folder + L";" + old_).c_str());
    }
    PathFront(const PathFront&) = delete;
    PathFront& operator=(const PathFront&) = delete;
    ~PathFront() { SetEnvironmentVariableW(L"PATH", old_.c_str()); }

private:
    std::wstring old_;
};

TEST_F(MultactTest, APathWithoutFolderStartsInTheCallersFolder) {
    // The program is found through PATH; the caller sits in another folder.
    wchar_t oldFolder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, oldFolder);
    const std::wstring here = StartedProbe::scratch() + L"\\elsewhere";
    CreateDirectoryW(here.c_str(), nullptr);
    StartedProbe probe(L"plain");
    int started = 0;
    {
        PathFront path(folderOfThisProgram());
        SetCurrentDirectoryW(here.c_str());
        started = lib.multact2(kb::multact::kStartProgram, L"multact_probe.exe", probe.parameters().c_str());
        SetCurrentDirectoryW(oldFolder);
    }
    EXPECT_EQ(started, 1);
    ProbeReport report;
    ASSERT_TRUE(probe.waitForReport(report)) << "the program did not start";
    EXPECT_TRUE(sameFolder(report.folder, here));
}

// The thread that raises a started program's window keeps the library
// loaded while it runs, and lets it go when it ends.
TEST_F(MultactTest, TheLibraryOutlivesItsCallerWhileRaisingAWindow) {
    StartedProbe probe(L"unload");
    const std::wstring program = StartedProbe::scratch() + L"\\multact_probe.exe";
    ASSERT_EQ(lib.multact2(kb::multact::kStartProgram, program.c_str(), probe.parameters().c_str()), 1);
    ASSERT_TRUE(lib.owner.close());
    lib.module = nullptr;
    // Still mapped: the raise thread holds it (were it unmapped, that thread would crash this test).
    EXPECT_NE(GetModuleHandleW(L"Multact.dll"), nullptr);
    EXPECT_TRUE(probe.raised(10000));
    EXPECT_TRUE(eventually([] { return GetModuleHandleW(L"Multact.dll") == nullptr; }))
        << "the library stayed loaded after its thread ended";
}

bool endsWith(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() &&
           CompareStringOrdinal(s.c_str() + (s.size() - tail.size()), -1, tail.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The office codes start programs by name; copies of the probe stand in for
// them in a folder put first on PATH.
TEST_F(MultactTest, OfficeCodesStartTheirProgramsAndTheWordProcessorFallsBack) {
    const std::wstring probeFile = folderOfThisProgram() + L"\\multact_probe.exe";
    const std::wstring office = StartedProbe::scratch() + L"\\office";
    CreateDirectoryW(office.c_str(), nullptr);
    auto provide = [&](const wchar_t* name) { CopyFileW(probeFile.c_str(), (office + L"\\" + name).c_str(), FALSE); };
    auto withdraw = [&](const wchar_t* name) { DeleteFileW((office + L"\\" + name).c_str()); };
    PathFront path(office);

    struct Case {
        int code;
        const wchar_t* provided;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {kb::multact::kStartSpreadsheet, L"EXCEL.EXE", L"\\EXCEL.EXE"},
        {kb::multact::kStartPresentation, L"POWERPNT.EXE", L"\\POWERPNT.EXE"},
        {kb::multact::kStartWordProcessor, L"WordPad.exe", L"\\WordPad.exe"},
        {kb::multact::kStartWordProcessor, L"WinWord.exe", L"\\WinWord.exe"},  // WordPad.exe is still there
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.provided);
        provide(c.provided);
        StartedProbe probe(L"office" + std::to_wstring(n++));
        probe.exportToEnvironment();
        EXPECT_EQ(lib.multact(c.code), 1);
        ProbeReport report;
        ASSERT_TRUE(probe.waitForReport(report)) << "nothing started";
        EXPECT_TRUE(endsWith(report.program, c.expected));
        EXPECT_TRUE(report.arguments.empty());
    }
    for (const wchar_t* name : {L"EXCEL.EXE", L"POWERPNT.EXE", L"WordPad.exe", L"WinWord.exe"}) {
        withdraw(name);
    }
}

TEST_F(MultactTest, AProgramThatCannotStartFailsWithoutWaiting) {
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, L"C:\\no such folder\\nothing.exe", nullptr), 0);
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, L"", nullptr), 0);
    EXPECT_EQ(lib.multact2(kb::multact::kStartProgram, nullptr, nullptr), 0);
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
