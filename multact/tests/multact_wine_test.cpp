// The library as a caller sees it: loaded by name, its exports looked up,
// and its actions carried out on small test windows that live on a window
// thread of their own, as the caller's windows do. Here: the exports and typing.
#include "multact_test_support.h"


namespace {

using namespace multact_test;

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


}  // namespace
