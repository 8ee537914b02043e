// Windows side without the keyboard driver: binding the real libraries by
// name, the control device's open and close rules against a stand-in file,
// the HID link against a strict fake of the library's requests, and the
// attach thread when nothing can be opened.
#include "attach_thread.h"
#include "control_device_win.h"
#include "hid_link.h"
#include "library_bindings.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <set>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kb {
namespace {

// ---- Library bindings -------------------------------------------------------

TEST(LibraryBindings, FindEveryEntryPointOfTheRealLibraries) {
    KinsetBinding kinset;
    ASSERT_TRUE(kinset.bind()) << kinset.failure();
    EXPECT_TRUE(kinset.isBound());
    EXPECT_TRUE(kinset.failure().empty());
    EXPECT_NE(kinset.Init, nullptr);
    EXPECT_NE(kinset.KinsetKbGetHandle, nullptr);
    EXPECT_NE(kinset.VKSendWinMakeCodeSingle_KB, nullptr);
    EXPECT_NE(kinset.VKSendKeyAction_MU, nullptr);
    // Two names, two functions: a lookup that mixed slots up would show here.
    EXPECT_NE(reinterpret_cast<void*>(kinset.KeyDown), reinterpret_cast<void*>(kinset.KeyUp));

    MultactBinding multact;
    ASSERT_TRUE(multact.bind()) << multact.failure();
    EXPECT_NE(multact.Multact, nullptr);
    EXPECT_NE(multact.Multact2, nullptr);
    // Safe to call: an unknown code does nothing.
    EXPECT_EQ(multact.Multact(-1), 0);

    HidportBinding hidport;
    ASSERT_TRUE(hidport.bind()) << hidport.failure();
    EXPECT_NE(hidport.Debug, nullptr);
    EXPECT_NE(hidport.RequestAsyncRead, nullptr);
    EXPECT_NE(hidport.DeleteRequestFromHandle, nullptr);
    EXPECT_EQ(hidport.Debug(0), 1);
}

TEST(LibraryBindings, LibraryLackingEntryPointsIsRefusedAndNamesThem) {
    // Multact.dll has none of Hidport's names.
    HidportBinding wrong(L"Multact.dll");
    EXPECT_FALSE(wrong.bind());
    EXPECT_FALSE(wrong.isBound());
    EXPECT_EQ(wrong.Init, nullptr);
    EXPECT_EQ(wrong.RequestAsyncRead, nullptr);
    EXPECT_NE(wrong.failure().find("Multact.dll"), std::string::npos) << wrong.failure();
    EXPECT_NE(wrong.failure().find("RequestStatusWrite"), std::string::npos) << wrong.failure();

    // KinsetDll.dll has "Init" and "End" but not the request calls: still refused,
    // and the pointers it did find are not left behind.
    HidportBinding partial(L"KinsetDll.dll");
    EXPECT_FALSE(partial.bind());
    EXPECT_EQ(partial.Init, nullptr);
    EXPECT_EQ(partial.End, nullptr);
    EXPECT_EQ(partial.failure().find("Init"), std::string::npos) << partial.failure();
    EXPECT_EQ(partial.failure().find("End"), std::string::npos) << partial.failure();
    EXPECT_NE(partial.failure().find("RequestGetDeviceCount"), std::string::npos) << partial.failure();

    // Multact.dll has Multact and Multact2, none of KinsetDll's names.
    KinsetBinding kinset(L"Multact.dll");
    EXPECT_FALSE(kinset.bind());
    EXPECT_NE(kinset.failure().find("VKSendWinMakeCodeSingle_KB"), std::string::npos);
}

TEST(LibraryBindings, MissingFileIsRefusedAndABindingCanBeRetried) {
    MultactBinding missing(L"NoSuchLibrary_7a.dll");
    EXPECT_FALSE(missing.bind());
    EXPECT_NE(missing.failure().find("cannot load NoSuchLibrary_7a.dll"), std::string::npos) << missing.failure();

    MultactBinding multact;
    ASSERT_TRUE(multact.bind());
    ASSERT_TRUE(multact.bind());  // a second bind replaces the first cleanly
    EXPECT_NE(multact.Multact2, nullptr);
    multact.unbind();
    EXPECT_FALSE(multact.isBound());
    EXPECT_EQ(multact.Multact2, nullptr);
}

// ---- Control device open and close ------------------------------------------

// A stand-in for KinsetDll's lifetime calls.
std::atomic<int> gInitCalls{0};
std::atomic<int> gInitResult{1};
const HANDLE kFakeKeyboard = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x1234));
const HANDLE kFakeMouse = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x5678));

int WINAPI fakeInit() {
    ++gInitCalls;
    Sleep(20);  // widen the window in which a second opener could slip in
    return gInitResult.load();
}
int WINAPI fakeKbGetHandle(HANDLE* handle) {
    *handle = kFakeKeyboard;
    return 1;
}
int WINAPI fakeMuGetHandle(HANDLE* handle) {
    *handle = kFakeMouse;
    return 1;
}

class ControlDeviceOpen : public ::testing::Test {
protected:
    void SetUp() override {
        gInitCalls = 0;
        gInitResult = 1;
        kinset_.Init = &fakeInit;
        kinset_.KinsetKbGetHandle = &fakeKbGetHandle;
        kinset_.KinsetMuGetHandle = &fakeMuGetHandle;
        wchar_t folder[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
        path_ = std::wstring(folder) + L"kb_control_device_" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }
    void createFile() {
        kbwin::UniqueHandle file(
            CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
    }

    KinsetBinding kinset_{L"unused.dll"};
    std::wstring path_;
};

TEST_F(ControlDeviceOpen, FailedOpenIsRetriedAndOnlyTheOpenThatSucceedsInitialises) {
    WinControlDevice device(path_);
    device.useKinset(&kinset_);
    EXPECT_EQ(device.open(), 0);
    EXPECT_FALSE(device.openFlag());
    EXPECT_FALSE(device.ensureOpen());
    EXPECT_EQ(gInitCalls, 0);
    EXPECT_EQ(device.kinsetKeyboardHandle(), nullptr);

    createFile();  // the "driver" appears
    EXPECT_EQ(device.open(), 1);
    EXPECT_TRUE(device.openFlag());
    EXPECT_EQ(device.open(), 1);  // already open: no second init
    EXPECT_EQ(gInitCalls, 1);
    EXPECT_EQ(device.kinsetInitResult(), 1);
    EXPECT_EQ(device.kinsetKeyboardHandle(), kFakeKeyboard);
    EXPECT_EQ(device.kinsetMouseHandle(), kFakeMouse);

    EXPECT_EQ(device.close(), 1);
    EXPECT_FALSE(device.openFlag());
    EXPECT_EQ(device.close(), 0);
    // Requests on a closed device fail instead of using a stale handle.
    EXPECT_FALSE(device.selectDevice(kKeyboardSelector));
    EXPECT_FALSE(device.installTable({}));
    EXPECT_FALSE(device.removeTable());

    EXPECT_EQ(device.open(), 1);
    EXPECT_EQ(gInitCalls, 2);
}

TEST_F(ControlDeviceOpen, FailedInitKeepsTheDeviceOpenAndIsRetriedOnTheNextOpen) {
    createFile();
    gInitResult = -8;
    WinControlDevice device(path_);
    device.useKinset(&kinset_);
    EXPECT_EQ(device.open(), 1);
    EXPECT_EQ(device.kinsetInitResult(), -8);
    EXPECT_EQ(device.kinsetKeyboardHandle(), nullptr);
    EXPECT_EQ(device.kinsetMouseHandle(), nullptr);
    EXPECT_EQ(device.open(), 1);
    EXPECT_EQ(gInitCalls, 2);  // still failing: tried again, still no handles
    EXPECT_EQ(device.kinsetKeyboardHandle(), nullptr);

    // The library's own open works again: the next open initialises it, so
    // macros stop going to a null handle without a restart.
    gInitResult = 1;
    EXPECT_EQ(device.open(), 1);
    EXPECT_EQ(gInitCalls, 3);
    EXPECT_EQ(device.kinsetInitResult(), 1);
    EXPECT_EQ(device.kinsetKeyboardHandle(), kFakeKeyboard);
    EXPECT_EQ(device.kinsetMouseHandle(), kFakeMouse);
    EXPECT_EQ(device.open(), 1);
    EXPECT_EQ(gInitCalls, 3);  // once it works, no more inits
    EXPECT_EQ(device.close(), 1);

    // Without a bound library the open still works.
    WinControlDevice bare(path_);
    EXPECT_EQ(bare.open(), 1);
    EXPECT_EQ(bare.kinsetInitResult(), 0);
    EXPECT_EQ(gInitCalls, 3);
}

TEST_F(ControlDeviceOpen, ThreadsOpeningAtOnceShareOneHandleAndOneInit) {
    createFile();
    WinControlDevice device(path_);
    device.useKinset(&kinset_);
    // The device is opened without sharing: a second handle would be refused,
    // so every thread seeing 1 means they all got the one handle.
    constexpr int kThreads = 8;
    std::atomic<int> go{0};
    std::vector<int> results(kThreads, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            while (go.load() == 0) std::this_thread::yield();
            results[i] = device.open();
        });
    }
    go = 1;
    for (auto& t : threads) t.join();
    for (int r : results) EXPECT_EQ(r, 1);
    EXPECT_EQ(gInitCalls, 1);
}

// ---- HID link -------------------------------------------------------------------

// The library's status requests as a strict library keeps them: every id
// written stays live until it is deleted.
std::mutex gHidLock;
std::set<std::int32_t> gLiveIds;
std::int32_t gNextId = 0;
std::vector<std::array<std::uint8_t, 2>> gWritten;

int KB_HIDPORT_CALL fakeStatusWrite(const HidportDescriptor*, HidportHandler, std::uint32_t, const std::uint8_t* data,
                                    std::int32_t length, std::int32_t* unitId) {
    {
        std::lock_guard g(gHidLock);
        *unitId = ++gNextId;
        gLiveIds.insert(*unitId);
        if (length == 2) gWritten.push_back({data[0], data[1]});
    }
    std::this_thread::yield();  // a library call takes time: let the others run
    return 1;
}
int KB_HIDPORT_CALL fakeDeleteId(std::int32_t unitId) {
    std::this_thread::yield();
    std::lock_guard g(gHidLock);
    return gLiveIds.erase(unitId) != 0 ? 1 : 0;
}
int KB_HIDPORT_CALL fakeDeleteHandler(HidportHandler) { return 1; }
int KB_HIDPORT_CALL fakeEnd(std::int32_t) { return 1; }

class HidLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hidport_.bind()) << hidport_.failure();
        hidport_.RequestStatusWrite = &fakeStatusWrite;
        hidport_.DeleteRequestFromUnitId = &fakeDeleteId;
        hidport_.DeleteRequestFromHandle = &fakeDeleteHandler;
        hidport_.End = &fakeEnd;
        std::lock_guard g(gHidLock);
        gLiveIds.clear();
        gWritten.clear();
    }
    HidportBinding hidport_;
};

TEST_F(HidLinkTest, ConcurrentStatusSendsLoseNoRequestAndEndOnTheLastAskedFor) {
    HidLink link(hidport_);
    constexpr int kThreads = 4;
    std::atomic<int> go{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (go.load() == 0) std::this_thread::yield();
            for (int i = 0; i < 300; ++i) link.sendBankStatus({5, static_cast<std::uint8_t>(t)});
        });
    }
    go = 1;
    for (auto& t : threads) t.join();
    link.sendBankStatus({5, 9});
    std::lock_guard g(gHidLock);
    // Every earlier request was deleted before the next was written.
    EXPECT_EQ(gLiveIds.size(), 1u);
    ASSERT_FALSE(gWritten.empty());
    EXPECT_EQ(gWritten.back(), (std::array<std::uint8_t, 2>{5, 9}));
}

class RecordingMacroKeys final : public KeyActions, public MacroKeyUi, public BankStatusSink {
public:
    void sendKey(std::uint16_t, std::uint16_t) override {}
    void runAction(int, const std::u16string&) override {}
    void enqueueMacro(std::uint16_t, int) override {}
    void stopPlayback() override {}
    void keyReleased(int) override {}
    bool editingMacroKey() override { return false; }
    void refuseBankSwitch() override {}
    void bankChanged(int bank) override { banks.push_back(bank); }
    void sendBankStatus(const std::array<std::uint8_t, 2>&) override {}
    std::vector<int> banks;
};

TEST_F(HidLinkTest, ReportIsReadFromTheBlockDataAlone) {
    Engine engine;
    RecordingMacroKeys host;
    MacroKeys keys(engine, host, host, host);
    HidLink link(hidport_);
    link.setMacroKeys(&keys);
    // A library fills in only what the interface fixes: the length field is
    // not part of it and may hold anything, here 0.
    std::uint8_t data[8] = {static_cast<std::uint8_t>(kReportBankKey & 0xFF), static_cast<std::uint8_t>(kReportBankKey >> 8)};
    HidportBlock block{};
    block.data = data;
    HidportRequest request{};
    request.tag = kMacroKeyReadTag;
    request.block = &block;
    HidportCompletion completion{};
    completion.status = 1;
    completion.request = &request;
    EXPECT_EQ(HidLink::onCompletion(&completion), 1);
    EXPECT_EQ(host.banks, std::vector<int>{1});

    // Not a completion with data, or another request's tag: nothing happens.
    completion.status = 0;
    EXPECT_EQ(HidLink::onCompletion(&completion), 1);
    completion.status = 1;
    request.tag = kBankStatusTag;
    EXPECT_EQ(HidLink::onCompletion(&completion), 1);
    block.data = nullptr;
    request.tag = kMacroKeyReadTag;
    EXPECT_EQ(HidLink::onCompletion(&completion), 1);
    EXPECT_EQ(host.banks, std::vector<int>{1});
    link.setMacroKeys(nullptr);
}

// ---- Without the driver --------------------------------------------------------

class RecordingSink final : public AttachSink {
public:
    void attachState(int state) override {
        std::lock_guard guard(mutex_);
        states_.push_back(state);
    }
    std::vector<int> states() {
        std::lock_guard guard(mutex_);
        return states_;
    }

private:
    std::mutex mutex_;
    std::vector<int> states_;
};

TEST(WithoutDriver, ControlDeviceStaysClosed) {
    EXPECT_EQ(openControlDevice(), 0);
    EXPECT_EQ(isControlDeviceOpen(), 0);
    EXPECT_EQ(closeControlDevice(), 0);
    EXPECT_EQ(processControlDevice().kinsetKeyboardHandle(), nullptr);
}

TEST(WithoutDriver, AttachThreadReportsNothingAndStopsWhenTold) {
    RecordingSink sink;
    std::atomic<int> readyAsked{0};
    AttachThread thread(processControlDevice(), sink, [&] {
        ++readyAsked;
        return true;
    });
    ASSERT_TRUE(thread.start());
    EXPECT_FALSE(thread.start());
    Sleep(500);
    thread.stop();
    EXPECT_FALSE(thread.running());
    EXPECT_TRUE(sink.states().empty());
    // It never got past the open: the ready flag is only asked once the device is open.
    EXPECT_EQ(readyAsked, 0);
    EXPECT_EQ(isControlDeviceOpen(), 0);
    thread.stop();  // a second stop is harmless
}

TEST(WithoutDriver, AttachThreadWaitsForTheReadyFlag) {
    // A plain file opens but answers no control request.
    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring path = std::wstring(folder) + L"kb_attach_" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    {
        kbwin::UniqueHandle file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
    }
    WinControlDevice device(path);
    RecordingSink sink;
    std::atomic<bool> ready{false};
    AttachThread thread(device, sink, [&] { return ready.load(); });
    ASSERT_TRUE(thread.start());
    Sleep(300);
    EXPECT_TRUE(sink.states().empty());

    // Ready now: every query fails, each is reported as 0 and followed by a
    // pause instead of an immediate retry.
    ready = true;
    Sleep(1000);
    thread.stop();
    const auto states = sink.states();
    ASSERT_FALSE(states.empty());
    for (int s : states) EXPECT_EQ(s, 0);
    // About ten in a second; a thread that spun would report thousands.
    EXPECT_LT(states.size(), 40u);
    device.close();
    DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace kb
