// End-to-end under Wine: what the library sends, as the simulated keyboard's
// filter driver logs it. The stand-in driver (KinsetC.sys, beside this test) is
// installed with the library's own service export; `kbsim output` shows the
// injected records in arrival order.
#include "KinsetDll.h"
#include "dll_test_support.h"
#include "kbsim/sieve_ioctl.h"
#include "run_kbsim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kb::sim::testing::runKbsim;
using Lines = std::vector<std::string>;

constexpr wchar_t kDevice[] = KBS_DEVICE_PATH_W;

using kinset_test::dll;

std::wstring driverPath() { return kb::sim::testing::programFolder() + KBS_DRIVER_FILE_W; }

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

std::string keyLine(int scan, int flags) {
    char b[32];
    std::snprintf(b, sizeof b, "key %02X %04X", scan, flags);
    return b;
}

std::string mouseLine(int flags, int buttons, int data, long x, long y) {
    char b[64];
    std::snprintf(b, sizeof b, "mouse %04X %04X %04X %ld %ld", flags & 0xFFFF, buttons & 0xFFFF, data & 0xFFFF, x, y);
    return b;
}

// Injected records logged since the last call, without their "inj " origin.
Lines take() {
    std::string out;
    EXPECT_EQ(runKbsim(L"output --clear", &out), 0u) << out;
    Lines lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("inj ", 0) == 0) lines.push_back(line.substr(4));
    }
    return lines;
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
    EXPECT_EQ(KINSET(DriverDeviceOpen)(kDevice, &device), 1);
    EXPECT_EQ(KINSET(DriverDeviceClose)(device), 1);

    // Already installed and running: a handle to the existing service.
    SC_HANDLE second = nullptr;
    EXPECT_EQ(KINSET(KmdDriverInstall)(path.c_str(), &second), 1);
    ASSERT_NE(second, nullptr);
    CloseServiceHandle(second);

    EXPECT_EQ(KINSET(KmdDriverRemove)(first), 1);
    EXPECT_FALSE(serviceExists(KBS_SERVICE_NAME_W));
    device = nullptr;
    EXPECT_EQ(KINSET(DriverDeviceOpen)(kDevice, &device), 0);
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
        ASSERT_NE(service_, nullptr) << "stand-in driver not installed";
        ASSERT_EQ(KINSET(DriverDeviceOpen)(kDevice, &device_), 1);
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
    }
    static SC_HANDLE service_;
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
    EXPECT_EQ(take(), (Lines{keyLine(0x2A, 2), keyLine(0x37, 2), keyLine(0x37, 3), keyLine(0x2A, 3),
                                          keyLine(0x1D, 4), keyLine(0x45, 0), keyLine(0x1D, 5), keyLine(0x45, 1),
                                          keyLine(0x71, 1)}));
    const unsigned short chord[] = {0x01D, 0x02E};
    EXPECT_NE(KINSET(VKSendWinMakeCodeSync_KB)(device_, chord, 2), 0);
    EXPECT_EQ(take(), (Lines{keyLine(0x1D, 0), keyLine(0x2E, 0), keyLine(0x2E, 1), keyLine(0x1D, 1)}));
}

TEST_F(KinsetRecords, TypedTextCarriesShift) {
    if ((GetKeyState(VK_CAPITAL) & 1) != 0) {
        GTEST_SKIP() << "Caps Lock is on here";
    }
    const unsigned char text[] = "Ab";
    EXPECT_NE(KINSET(VKSendAkeysSeq_KB)(device_, text, 0), 0);
    EXPECT_EQ(take(), (Lines{keyLine(0x2A, 0), keyLine(0x1E, 0), keyLine(0x1E, 1), keyLine(0x2A, 1),
                                          keyLine(0x30, 0), keyLine(0x30, 1)}));
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
    EXPECT_EQ(take(), (Lines{mouseLine(0, 1, 0, 0, 0), mouseLine(0, 2, 0, 0, 0), mouseLine(0, 1, 0, 0, 0),
                             mouseLine(0, 2, 0, 0, 0), mouseLine(0, 0x400, -240, 0, 0), mouseLine(0, 1, 0, 0, 0),
                             mouseLine(0, 4, 0, 0, 0), mouseLine(0, 8, 0, 0, 0), mouseLine(0, 2, 0, 0, 0)}));
    const KinsetMouseRecord raw{3, 1, 0x0100, 7, -1, 70000};
    EXPECT_EQ(KINSET(VKSendKeyEx_MU)(device_, &raw), 1);
    EXPECT_EQ(take(), (Lines{mouseLine(1, 0x100, 7, -1, 70000)}));
}

TEST_F(KinsetRecords, MovesEndAtTheClampedTarget) {
    ASSERT_EQ(KINSET(KinsetMuSetHandle)(device_), 1);
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(w, 0);
    ASSERT_TRUE(SetCursorPos(100, 100));
    EXPECT_EQ(KINSET(MoveR)(-5000, 0), 1);
    Lines moves = take();
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back(), mouseLine(1, 0, 0, 1, 100 * 65536 / h + 1));
    KinsetMouseAction smooth{0, 0, 1, 1, w / 2, h / 2};
    EXPECT_EQ(KINSET(VKSendKeyAction_MU)(device_, &smooth), 1);
    moves = take();
    ASSERT_EQ(moves.size(), 32u);
    EXPECT_EQ(moves.back(), mouseLine(1, 0, 0, (w / 2) * 65536 / w + 1, (h / 2) * 65536 / h + 1));
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

TEST_F(KinsetRecords, InitOpensTheFilterDeviceForBothSides) {
    ASSERT_EQ(KINSET(Init)(), 1);
    HANDLE kb = nullptr;
    HANDLE mu = nullptr;
    EXPECT_EQ(KINSET(KinsetKbGetHandle)(&kb), 1);
    EXPECT_EQ(KINSET(KinsetMuGetHandle)(&mu), 1);
    EXPECT_NE(kb, nullptr);
    EXPECT_NE(mu, nullptr);
    EXPECT_EQ(KINSET(KeyPress)(0x41, 1), 1);
    EXPECT_EQ(KINSET(LeftClick)(1), 1);
    EXPECT_EQ(take(), (Lines{keyLine(0x1E, 0), keyLine(0x1E, 1), mouseLine(0, 1, 0, 0, 0), mouseLine(0, 2, 0, 0, 0)}));
    EXPECT_EQ(KINSET(End)(), 1);
}

}  // namespace
