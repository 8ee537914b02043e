// KinsetDll.dll loaded by name as the program loads it: every export under
// every name, the results without a control device, and the make types that
// go to the system instead of the driver, observed in this process.
#include "KinsetDll.h"
#include "dll_test_support.h"
#include "common/win/ui_owners.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using kinset_test::dll;

TEST(KinsetExports, EveryNameResolvesAndAliasesShareTheirFunction) {
    ASSERT_NE(dll(), nullptr) << "LoadLibrary failed: " << GetLastError();
    const char* plain[] = {
        "Init", "End", "SetKbMakeType", "KinsetKbGetHandle", "KinsetKbSetHandle", "KinsetKbInit", "KinsetKbEnd",
        "KeyPress", "KinsetKbKeyPress", "KeyDown", "KinsetKbKeyDown", "KeyUp", "KinsetKbKeyUp", "VKSendKeyEx_KB",
        "VKSendWinMakeCodeSingle_KB", "VKSendWinMakeCodeAsync_KB", "VKSendWinMakeCodeSync_KB",
        "VKSendAkeysSingle_KB", "VKSendAkeysAsync_KB", "VKSendAkeysSync_KB", "VKSendAkeysSeq_KB",
        "VKSendMsVirtualKeySingle_KB", "VKSendMsVirtualKeyAsync_KB", "VKSendMsVirtualKeySync_KB",
        "AppKbWinMakeCodeAndStatus22String", "AppKbVkSendKeyAndStatus2String", "SetMuMakeType",
        "KinsetMuGetHandle", "KinsetMuSetHandle", "KinsetMuInit", "KinsetMuEnd", "VKSendKeyAction_MU",
        "VKSendKeyEx_MU", "LeftClick", "KinsetMuLeftClick", "RightClick", "KinsetMuRightClick", "MiddleClick",
        "KinsetMuMiddleClick", "LeftDoubleClick", "KinsetMuLeftDoubleClick", "LeftDown", "KinsetMuLeftDown",
        "LeftUp", "KinsetMuLeftUp", "RightDown", "KinsetMuRightDown", "RightUp", "KinsetMuRightUp", "MoveTo",
        "KinsetMuMoveTo", "MoveR", "KinsetMuMoveR", "MouseWheel", "KinsetMuMouseWheel", "KmdDriverInstall",
        "KmdDriverRemove", "DriverDeviceOpen", "DriverDeviceClose"};
    for (const char* name : plain) {
        EXPECT_NE(GetProcAddress(dll(), name), nullptr) << name;
    }
    const std::pair<const char*, const char*> decorated[] = {
        {"_KinsetKbInit@0", "KinsetKbInit"},       {"_KinsetKbEnd@0", "KinsetKbEnd"},
        {"_KinsetKbKeyPress@8", "KinsetKbKeyPress"}, {"_KinsetKbKeyDown@8", "KinsetKbKeyDown"},
        {"_KinsetKbKeyUp@8", "KinsetKbKeyUp"},     {"_KinsetMuInit@0", "KinsetMuInit"},
        {"_KinsetMuEnd@0", "KinsetMuEnd"},         {"_KinsetMuLeftClick@4", "KinsetMuLeftClick"},
        {"_KinsetMuRightClick@4", "KinsetMuRightClick"}, {"_KinsetMuMiddleClick@4", "KinsetMuMiddleClick"},
        {"_KinsetMuLeftDoubleClick@4", "KinsetMuLeftDoubleClick"}, {"_KinsetMuLeftDown@4", "KinsetMuLeftDown"},
        {"_KinsetMuLeftUp@4", "KinsetMuLeftUp"},   {"_KinsetMuRightDown@4", "KinsetMuRightDown"},
        {"_KinsetMuRightUp@4", "KinsetMuRightUp"}, {"_KinsetMuMoveTo@8", "KinsetMuMoveTo"},
        {"_KinsetMuMoveR@8", "KinsetMuMoveR"},     {"_KinsetMuMouseWheel@4", "KinsetMuMouseWheel"}};
    for (const auto& [alias, name] : decorated) {
        const FARPROC a = GetProcAddress(dll(), alias);
        EXPECT_NE(a, nullptr) << alias;
        EXPECT_EQ(a, GetProcAddress(dll(), name)) << alias;
    }
    // The handle exports carry no decorated names.
    EXPECT_EQ(GetProcAddress(dll(), "_KinsetKbGetHandle@4"), nullptr);
}

bool controlDevicePresent() {
    const kbwin::UniqueHandle h(CreateFileW(L"\\\\.\\KbSieve_PX3_Plexor3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    return h.valid();
}

// Written for a prefix without the filter driver; where a stand-in driver is
// running, the same calls must open both sides instead.
TEST(KinsetWithoutDevice, InitReportsTheMissingDevice) {
    ASSERT_NE(dll(), nullptr);
    const bool present = controlDevicePresent();
    EXPECT_EQ(KINSET(Init)(), present ? 1 : KINSET_KB_OPEN_FAILED);
    EXPECT_EQ(KINSET(KinsetMuInit)(), present ? 1 : KINSET_MU_OPEN_FAILED);
    HANDLE h = reinterpret_cast<HANDLE>(0x55);
    EXPECT_EQ(KINSET(KinsetKbGetHandle)(&h), 1);
    EXPECT_EQ(h != nullptr, present);
    EXPECT_EQ(KINSET(KinsetKbGetHandle)(nullptr), 0);
    EXPECT_EQ(KINSET(End)(), 1);
    EXPECT_EQ(KINSET(KinsetKbGetHandle)(&h), 1);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(KINSET(KinsetMuGetHandle)(&h), 1);
    EXPECT_EQ(h, nullptr);
    if (!present) {
        HANDLE dev = reinterpret_cast<HANDLE>(0x55);
        EXPECT_EQ(KINSET(DriverDeviceOpen)(L"\\\\.\\KbSieve_PX3_Plexor3", &dev), 0);
        EXPECT_EQ(dev, reinterpret_cast<HANDLE>(0x55));
    }
}

TEST(KinsetWithoutDevice, SendsFailWithoutRetryAndKeysWithoutRecordsSucceed) {
    ASSERT_NE(dll(), nullptr);
    ASSERT_EQ(KINSET(SetKbMakeType)(0), 1);
    EXPECT_EQ(KINSET(VKSendWinMakeCodeSingle_KB)(nullptr, 0x01E, 0), 0);
    EXPECT_EQ(KINSET(VKSendWinMakeCodeSingle_KB)(INVALID_HANDLE_VALUE, 0x01E, 1), 0);
    EXPECT_EQ(KINSET(VKSendWinMakeCodeSingle_KB)(nullptr, 0x05A, 0), 1);
    EXPECT_EQ(KINSET(KeyUp)(0x41, 1), 0);
    const KinsetKeyEx none{0x5A, 0};
    EXPECT_EQ(KINSET(VKSendKeyEx_KB)(nullptr, &none), 1);
    EXPECT_EQ(KINSET(VKSendKeyEx_KB)(nullptr, nullptr), 0);
    const unsigned char seven[] = "abcdefg";
    EXPECT_EQ(KINSET(VKSendAkeysSync_KB)(nullptr, seven, 0), 0);
    ASSERT_EQ(KINSET(SetMuMakeType)(0), 1);
    EXPECT_EQ(KINSET(LeftClick)(1), 0);
    EXPECT_EQ(KINSET(LeftClick)(0), 0);
    EXPECT_EQ(KINSET(MoveR)(0, 0), 1);
    const KinsetMouseRecord wheel{0, 0, 0x400, 120, 0, 0};
    EXPECT_EQ(KINSET(VKSendKeyEx_MU)(nullptr, &wheel), 0);
    EXPECT_EQ(KINSET(SetKbMakeType)(4), 0);
    EXPECT_EQ(KINSET(SetMuMakeType)(-1), 0);
}

TEST(KinsetNames, NamesThroughTheExports) {
    ASSERT_NE(dll(), nullptr);
    wchar_t buf[40];
    ASSERT_EQ(KINSET(AppKbWinMakeCodeAndStatus22String)(0x047, 0x100, buf, 40), 1);
    EXPECT_EQ(std::wstring(buf), L"Num 7");
    const KinsetKeyEx home{0x47, 2};
    ASSERT_EQ(KINSET(AppKbVkSendKeyAndStatus2String)(&home, 0, buf, 40), 1);
    EXPECT_EQ(std::wstring(buf), L"Home");
    ASSERT_EQ(KINSET(AppKbWinMakeCodeAndStatus22String)(0x05A, 0, buf, 40), 1);
    EXPECT_EQ(std::wstring(buf), L"Unknown key: 05a");
    buf[0] = L'x';
    EXPECT_EQ(KINSET(AppKbWinMakeCodeAndStatus22String)(0x047, 0, buf, 0), 0);
    EXPECT_EQ(buf[0], L'x');
}

TEST(KinsetService, ADriverThatDoesNotStartLeavesNoService) {
    ASSERT_NE(dll(), nullptr);
    SC_HANDLE svc = nullptr;
    EXPECT_EQ(KINSET(KmdDriverInstall)(L"C:\\no-such-dir\\KinsetProbe.sys", &svc), 0);
    EXPECT_EQ(svc, nullptr);
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(scm, nullptr);
    SC_HANDLE left = OpenServiceW(scm, L"KinsetProbe", SERVICE_QUERY_STATUS);
    EXPECT_EQ(left, nullptr);
    if (left != nullptr) {
        CloseServiceHandle(left);
    }
    CloseServiceHandle(scm);
    EXPECT_EQ(KINSET(KmdDriverInstall)(nullptr, &svc), 0);
    EXPECT_EQ(KINSET(KmdDriverRemove)(nullptr), 0);
    EXPECT_EQ(KINSET(DriverDeviceClose)(nullptr), 0);
}

TEST(KinsetService, AServiceThatWasThereBeforeIsKeptWhenItDoesNotStart) {
    ASSERT_NE(dll(), nullptr);
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm, nullptr);
    // Someone else's driver service under the name the installer falls back
    // to; its file does not exist, so it cannot start.
    SC_HANDLE theirs = CreateServiceW(scm, L"KinsetC", L"KinsetC", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, L"C:\\no-such-dir\\theirs.sys",
                                      nullptr, nullptr, nullptr, nullptr, nullptr);
    if (theirs == nullptr) {
        CloseServiceHandle(scm);
        GTEST_SKIP() << "a KinsetC service is installed already (error " << GetLastError() << ")";
    }
    SC_HANDLE svc = nullptr;
    EXPECT_EQ(KINSET(KmdDriverInstall)(L"C:\\no-such-dir\\KinsetC.sys", &svc), 0);
    EXPECT_EQ(svc, nullptr);
    SC_HANDLE still = OpenServiceW(scm, L"KinsetC", SERVICE_QUERY_STATUS);
    EXPECT_NE(still, nullptr) << "the installer deleted a service it did not create";
    if (still != nullptr) CloseServiceHandle(still);
    DeleteService(theirs);
    CloseServiceHandle(theirs);
    CloseServiceHandle(scm);
}

// ---- Make types that reach the system: observed by a window of this thread.

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;
std::vector<std::pair<WPARAM, bool>> g_hooked;  // virtual key, released

LRESULT CALLBACK probeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_MOUSEWHEEL:
            g_seen.push_back({msg, wParam, lParam});
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK keyboardHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        g_hooked.emplace_back(wParam, (static_cast<unsigned long long>(lParam) & 0x80000000u) != 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class SystemInputTest : public ::testing::Test {
protected:
    // One window for the suite: destroying a window costs about 2 s under Wine.
    static void SetUpTestSuite() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = probeProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KinsetProbe";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(WS_EX_TOPMOST, L"KinsetProbe", L"probe", WS_POPUP | WS_VISIBLE, 100, 100, 400, 400,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    }
    static void TearDownTestSuite() {
        if (window_ != nullptr) {
            DestroyWindow(window_);
            window_ = nullptr;
        }
    }
    void SetUp() override {
        ASSERT_NE(dll(), nullptr);
        ASSERT_NE(window_, nullptr);
        SetForegroundWindow(window_);
        SetFocus(window_);
        pumpFor(100);
        g_seen.clear();
        g_hooked.clear();
    }
    void TearDown() override {
        KINSET(SetKbMakeType)(0);
        KINSET(SetMuMakeType)(0);
    }
    // Pumps messages until pred holds or the time is up.
    template <class P>
    bool pumpUntil(P pred, DWORD ms = 3000) {
        const DWORD start = GetTickCount();
        while (!pred()) {
            if (GetTickCount() - start > ms) {
                return false;
            }
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
            Sleep(5);
        }
        return true;
    }
    void pumpFor(DWORD ms) {
        pumpUntil([] { return false; }, ms);
    }
    static std::vector<UINT> messages() {
        std::vector<UINT> out;
        for (const Seen& s : g_seen) {
            out.push_back(s.message);
        }
        return out;
    }

    static HWND window_;
};
HWND SystemInputTest::window_ = nullptr;

TEST_F(SystemInputTest, KeybdEventTypeReachesTheKeyboardHook) {
    kbwin::UniqueHook hook(SetWindowsHookExW(WH_KEYBOARD, keyboardHook, nullptr, GetCurrentThreadId()));
    ASSERT_TRUE(hook);
    ASSERT_EQ(KINSET(SetKbMakeType)(1), 1);
    EXPECT_EQ(KINSET(VKSendWinMakeCodeSingle_KB)(nullptr, 0x01E, 0), 1);
    EXPECT_EQ(KINSET(VKSendWinMakeCodeSingle_KB)(nullptr, 0x01E, 1), 1);
    const bool seen = pumpUntil([] { return g_hooked.size() >= 2; });
    hook.reset();
    ASSERT_TRUE(seen) << "hook calls: " << g_hooked.size();
    EXPECT_EQ(g_hooked[0], (std::pair<WPARAM, bool>{0x41, false}));
    EXPECT_EQ(g_hooked[1], (std::pair<WPARAM, bool>{0x41, true}));
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}

TEST_F(SystemInputTest, KeybdEventTypeTypesTextWithShift) {
    ASSERT_EQ(KINSET(SetKbMakeType)(1), 1);
    const unsigned char text[] = "aB";
    EXPECT_EQ(KINSET(VKSendAkeysSeq_KB)(nullptr, text, 0), 1);
    ASSERT_TRUE(pumpUntil([] { return g_seen.size() >= 6; }));
    std::vector<std::pair<UINT, WPARAM>> got;
    for (const Seen& s : g_seen) {
        got.emplace_back(s.message, s.wParam);
    }
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, 0x41}, {WM_KEYUP, 0x41}, {WM_KEYDOWN, VK_SHIFT},
        {WM_KEYDOWN, 0x42}, {WM_KEYUP, 0x42}, {WM_KEYUP, VK_SHIFT}};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0) << "Shift left down";
}

TEST_F(SystemInputTest, MessageTypesPostAndSendToTheFocusWindow) {
    ASSERT_EQ(KINSET(SetKbMakeType)(2), 1);
    EXPECT_EQ(KINSET(VKSendWinMakeCodeSingle_KB)(nullptr, 0x147, 0), 1);
    EXPECT_TRUE(g_seen.empty());  // posted: arrives with the next pump
    ASSERT_TRUE(pumpUntil([] { return !g_seen.empty(); }));
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(g_seen[0].wParam, static_cast<WPARAM>(VK_HOME));
    EXPECT_EQ(static_cast<unsigned long long>(g_seen[0].lParam) & 0xFFFFFFFFu, 0x01470001u);
    g_seen.clear();
    ASSERT_EQ(KINSET(SetKbMakeType)(3), 1);
    EXPECT_EQ(KINSET(VKSendAkeysSingle_KB)(nullptr, 'a', 1), 1);
    ASSERT_EQ(g_seen.size(), 1u);  // sent: already handled
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(static_cast<unsigned long long>(g_seen[0].lParam) & 0xFFFFFFFFu, 0xC01E0001u);
}

TEST_F(SystemInputTest, MouseEventTypeMovesTheCursorAndClicks) {
    ASSERT_EQ(KINSET(SetMuMakeType)(1), 1);
    EXPECT_EQ(KINSET(MoveTo)(300, 250), 1);
    ASSERT_TRUE(pumpUntil([] {
        POINT p{};
        GetCursorPos(&p);
        return std::abs(p.x - 300) <= 1 && std::abs(p.y - 250) <= 1;
    })) << "cursor did not arrive";
    EXPECT_EQ(KINSET(MoveR)(-50, 20), 1);
    ASSERT_TRUE(pumpUntil([] {
        POINT p{};
        GetCursorPos(&p);
        return std::abs(p.x - 250) <= 1 && std::abs(p.y - 270) <= 1;
    })) << "relative move did not arrive";
    pumpFor(100);
    g_seen.clear();
    EXPECT_EQ(KINSET(LeftClick)(1), 1);
    ASSERT_TRUE(pumpUntil([] { return g_seen.size() >= 2; }));
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON) & 0x8000, 0);
}

}  // namespace
