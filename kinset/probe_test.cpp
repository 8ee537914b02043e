// End-to-end under Wine: the library's records as a kernel driver receives
// them. A test-only driver (KinsetC.sys, device "\\.\KinsetProbe") is
// installed with the library's own service export, keeps every record sent
// with the injection control code and hands them back on request.
#include "KinsetDll.h"

#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr DWORD kProbeRead = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr wchar_t kProbeDevice[] = L"\\\\.\\KinsetProbe";

HMODULE dll() {
    static HMODULE module = LoadLibraryW(L"KinsetDll.dll");
    return module;
}

template <class F>
F entry(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll(), name)));
}
#define KINSET(name) entry<decltype(&name)>(#name)

std::wstring driverPath() {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"KinsetC.sys";
}

bool serviceExists(const wchar_t* name) {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (scm == nullptr) {
        return false;
    }
    SC_HANDLE svc = OpenServiceW(scm, name, SERVICE_QUERY_STATUS);
    const bool exists = svc != nullptr;
    if (svc != nullptr) {
        CloseServiceHandle(svc);
    }
    CloseServiceHandle(scm);
    return exists;
}

using Bytes = std::array<std::uint8_t, 16>;

Bytes keyBytes(int scan, int flags) {
    Bytes b{};
    b[0] = static_cast<std::uint8_t>(scan);
    b[2] = static_cast<std::uint8_t>(flags);
    return b;
}

struct Mouse {
    int flags;
    int buttons;
    int data;
    int x;
    int y;
    bool operator==(const Mouse&) const = default;
};

Mouse mouseOf(const Bytes& b) {
    auto i16 = [&](int o) { return static_cast<std::int16_t>(b[o] | (b[o + 1] << 8)); };
    auto i32 = [&](int o) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[o]) | (static_cast<std::uint32_t>(b[o + 1]) << 8) |
                                         (static_cast<std::uint32_t>(b[o + 2]) << 16) |
                                         (static_cast<std::uint32_t>(b[o + 3]) << 24));
    };
    return {static_cast<std::uint16_t>(i16(2)), static_cast<std::uint16_t>(i16(4)), i16(6), i32(8), i32(12)};
}

TEST(KinsetDriverService, InstallFindsTheRunningServiceAndRemoveDeletesIt) {
    ASSERT_NE(dll(), nullptr);
    const std::wstring path = driverPath();
    SC_HANDLE first = nullptr;
    ASSERT_EQ(KINSET(KmdDriverInstall)(path.c_str(), &first), 1);
    ASSERT_NE(first, nullptr);
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(first, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    HANDLE device = nullptr;
    EXPECT_EQ(KINSET(DriverDeviceOpen)(kProbeDevice, &device), 1);
    EXPECT_EQ(KINSET(DriverDeviceClose)(device), 1);

    // Already installed and running: a handle to the existing service.
    SC_HANDLE second = nullptr;
    EXPECT_EQ(KINSET(KmdDriverInstall)(path.c_str(), &second), 1);
    ASSERT_NE(second, nullptr);
    CloseServiceHandle(second);

    EXPECT_EQ(KINSET(KmdDriverRemove)(first), 1);
    EXPECT_FALSE(serviceExists(L"KinsetC"));
    device = nullptr;
    EXPECT_EQ(KINSET(DriverDeviceOpen)(kProbeDevice, &device), 0);
}

class KinsetRecords : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (dll() != nullptr && KINSET(KmdDriverInstall)(driverPath().c_str(), &service_) != 1) {
            service_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        if (service_ != nullptr) {
            (void)KINSET(KmdDriverRemove)(service_);
            service_ = nullptr;
        }
    }
    void SetUp() override {
        ASSERT_NE(service_, nullptr) << "probe driver not installed";
        ASSERT_EQ(KINSET(DriverDeviceOpen)(kProbeDevice, &reader_), 1);
        ASSERT_EQ(KINSET(DriverDeviceOpen)(kProbeDevice, &device_), 1);
        ASSERT_EQ(KINSET(SetKbMakeType)(0), 1);
        ASSERT_EQ(KINSET(SetMuMakeType)(0), 1);
        (void)take();
    }
    void TearDown() override {
        KINSET(KinsetKbSetHandle)(nullptr);
        KINSET(KinsetMuSetHandle)(nullptr);
        KINSET(SetMuMakeType)(0);
        if (device_ != nullptr) {
            KINSET(DriverDeviceClose)(device_);
        }
        if (reader_ != nullptr) {
            KINSET(DriverDeviceClose)(reader_);
        }
    }
    // Every record the driver received since the last call; a record of any
    // other size (or with an output buffer) fails the test.
    std::vector<Bytes> take() {
        std::vector<std::uint8_t> out(4 + 16 * 1024);
        DWORD got = 0;
        EXPECT_TRUE(DeviceIoControl(reader_, kProbeRead, nullptr, 0, out.data(), static_cast<DWORD>(out.size()), &got,
                                    nullptr));
        std::vector<Bytes> records;
        if (got < 4) {
            ADD_FAILURE() << "short read";
            return records;
        }
        const std::uint32_t rejected = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<std::uint32_t>(out[3]) << 24);
        EXPECT_EQ(rejected, 0u) << "requests that were not one 16-byte record";
        for (DWORD o = 4; o + 16 <= got; o += 16) {
            Bytes b;
            std::copy(out.begin() + o, out.begin() + o + 16, b.begin());
            records.push_back(b);
        }
        return records;
    }
    std::vector<Mouse> takeMouse() {
        std::vector<Mouse> m;
        for (const Bytes& b : take()) {
            m.push_back(mouseOf(b));
        }
        return m;
    }

    static SC_HANDLE service_;
    HANDLE reader_ = nullptr;
    HANDLE device_ = nullptr;
};
SC_HANDLE KinsetRecords::service_ = nullptr;

TEST_F(KinsetRecords, KeySequencesArriveInOrder) {
    EXPECT_NE(KINSET(VKSendWinMakeCodeSingle_KB)(device_, 0x137, 0), 0);
    EXPECT_NE(KINSET(VKSendWinMakeCodeSingle_KB)(device_, 0x137, 1), 0);
    EXPECT_NE(KINSET(VKSendWinMakeCodeSingle_KB)(device_, 0x045, 0), 0);
    EXPECT_NE(KINSET(VKSendWinMakeCodeSingle_KB)(device_, 0x045, 1), 0);
    EXPECT_NE(KINSET(VKSendWinMakeCodeSingle_KB)(device_, 0x071, 0), 0);
    EXPECT_NE(KINSET(VKSendWinMakeCodeSingle_KB)(device_, 0x071, 1), 0);
    EXPECT_EQ(take(), (std::vector<Bytes>{keyBytes(0x2A, 2), keyBytes(0x37, 2), keyBytes(0x37, 3), keyBytes(0x2A, 3),
                                          keyBytes(0x1D, 4), keyBytes(0x45, 0), keyBytes(0x1D, 5), keyBytes(0x45, 1),
                                          keyBytes(0x71, 1)}));
    const unsigned short chord[] = {0x01D, 0x02E};
    EXPECT_NE(KINSET(VKSendWinMakeCodeSync_KB)(device_, chord, 2), 0);
    EXPECT_EQ(take(), (std::vector<Bytes>{keyBytes(0x1D, 0), keyBytes(0x2E, 0), keyBytes(0x2E, 1), keyBytes(0x1D, 1)}));
}

TEST_F(KinsetRecords, TypedTextCarriesShift) {
    if ((GetKeyState(VK_CAPITAL) & 1) != 0) {
        GTEST_SKIP() << "Caps Lock is on here";
    }
    const unsigned char text[] = "Ab";
    EXPECT_NE(KINSET(VKSendAkeysSeq_KB)(device_, text, 0), 0);
    EXPECT_EQ(take(), (std::vector<Bytes>{keyBytes(0x2A, 0), keyBytes(0x1E, 0), keyBytes(0x1E, 1), keyBytes(0x2A, 1),
                                          keyBytes(0x30, 0), keyBytes(0x30, 1)}));
}

TEST_F(KinsetRecords, KeyboardHandleIsForgottenAfterEnd) {
    ASSERT_EQ(KINSET(KinsetKbSetHandle)(device_), 1);
    EXPECT_NE(KINSET(KeyPress)(0x41, 2), 0);
    EXPECT_EQ(take().size(), 4u);
    EXPECT_EQ(KINSET(KinsetKbEnd)(), 1);  // closes the handle it was given
    device_ = nullptr;
    HANDLE h = reinterpret_cast<HANDLE>(0x55);
    EXPECT_EQ(KINSET(KinsetKbGetHandle)(&h), 1);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(KINSET(KeyUp)(0x41, 1), 0);
    EXPECT_TRUE(take().empty());
}

TEST_F(KinsetRecords, MouseButtonsAndWheel) {
    ASSERT_EQ(KINSET(KinsetMuSetHandle)(device_), 1);
    EXPECT_EQ(KINSET(LeftDoubleClick)(1), 1);
    EXPECT_EQ(KINSET(MouseWheel)(-2), 1);
    KinsetMouseAction both{1, 0, 1, 3, 0, 0};
    EXPECT_EQ(KINSET(VKSendKeyAction_MU)(device_, &both), 1);
    EXPECT_EQ(takeMouse(), (std::vector<Mouse>{{0, 1, 0, 0, 0}, {0, 2, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 2, 0, 0, 0},
                                               {0, 0x400, -240, 0, 0},
                                               {0, 1, 0, 0, 0}, {0, 4, 0, 0, 0}, {0, 8, 0, 0, 0}, {0, 2, 0, 0, 0}}));
    const KinsetMouseRecord raw{3, 1, 0x0100, 7, -1, 70000};
    EXPECT_EQ(KINSET(VKSendKeyEx_MU)(device_, &raw), 1);
    EXPECT_EQ(takeMouse(), (std::vector<Mouse>{{1, 0x100, 7, -1, 70000}}));
}

TEST_F(KinsetRecords, MovesEndAtTheClampedTarget) {
    ASSERT_EQ(KINSET(KinsetMuSetHandle)(device_), 1);
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(w, 0);
    ASSERT_TRUE(SetCursorPos(100, 100));
    EXPECT_EQ(KINSET(MoveR)(-5000, 0), 1);
    std::vector<Mouse> moves = takeMouse();
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back(), (Mouse{1, 0, 0, 1, 100 * 65536 / h + 1}));
    KinsetMouseAction smooth{0, 0, 1, 1, w / 2, h / 2};
    EXPECT_EQ(KINSET(VKSendKeyAction_MU)(device_, &smooth), 1);
    moves = takeMouse();
    ASSERT_EQ(moves.size(), 32u);
    EXPECT_EQ(moves.back(), (Mouse{1, 0, 0, (w / 2) * 65536 / w + 1, (h / 2) * 65536 / h + 1}));
    EXPECT_EQ(KINSET(MoveR)(0, 0), 1);
    EXPECT_TRUE(take().empty());
}

TEST_F(KinsetRecords, SystemMouseTypeSendsNothingToTheDriver) {
    ASSERT_EQ(KINSET(KinsetMuSetHandle)(device_), 1);
    ASSERT_EQ(KINSET(SetMuMakeType)(1), 1);
    const KinsetMouseRecord raw{0, 0, 0x400, 120, 0, 0};
    EXPECT_EQ(KINSET(VKSendKeyEx_MU)(device_, &raw), 1);
    EXPECT_EQ(KINSET(MouseWheel)(1), 1);
    EXPECT_TRUE(take().empty());
}

}  // namespace
