// The Windows side against the simulated keyboard's stand-in driver (its
// script installs it): the process-wide open with the real injection library,
// key tables seen by kbsim, pairs from several threads, and the attach thread
// following unplug and plug.
#include "attach_thread.h"
#include "control_device_win.h"
#include "heart.h"
#include "library_bindings.h"
#include "profile_file.h"

#include "kbsim/sieve_ioctl.h"
#include "run_kbsim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kb {
namespace {

using sim::testing::runKbsim;

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string kbsimOutput(const std::wstring& args) {
    std::string out;
    EXPECT_EQ(runKbsim(args, &out), 0u) << out;
    return withoutCarriageReturns(out);
}

// A valid table whose bytes tell who wrote it: record i passes scan code i+1,
// and its target fields carry the writer's mark and round.
std::vector<std::uint8_t> markedTable(std::uint32_t records, std::uint8_t writer, std::uint8_t round) {
    std::vector<std::uint8_t> table(records * KBS_RECORD_SIZE, 0);
    for (std::uint32_t i = 0; i < records; ++i) {
        std::uint8_t* r = table.data() + i * KBS_RECORD_SIZE;
        r[KBS_REC_HANDLER] = 0;
        r[KBS_REC_ACTION] = static_cast<std::uint8_t>(i % 3);
        r[KBS_REC_SCAN] = static_cast<std::uint8_t>(i + 1);
        r[KBS_REC_TARGET_SCAN] = writer;
        r[KBS_REC_TARGET_SCAN + 1] = round;
    }
    return table;
}

// What `kbsim table` prints for a table: one line of hex bytes per record.
std::string formatted(const std::vector<std::uint8_t>& table) {
    std::string text;
    for (std::size_t i = 0; i < table.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i % KBS_RECORD_SIZE ? " %02X" : "%02X", table[i]);
        text += hex;
        if (i % KBS_RECORD_SIZE == KBS_RECORD_SIZE - 1) text += '\n';
    }
    return text;
}

// The test's own look at the driver, on a handle of its own.
class DriverProbe {
public:
    DriverProbe() : handle_(CreateFileW(KBS_DEVICE_PATH_W, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    [[nodiscard]] bool valid() const { return handle_.valid(); }
    std::vector<std::uint8_t> table(std::uint32_t device) {
        std::uint8_t in[4] = {static_cast<std::uint8_t>(device), 0, 0, 0};
        std::vector<std::uint8_t> out(4 + KBS_MAX_RECORDS * KBS_RECORD_SIZE);
        DWORD got = 0;
        if (!DeviceIoControl(handle_.get(), KBS_SIM_READ_TABLE, in, sizeof in, out.data(),
                             static_cast<DWORD>(out.size()), &got, nullptr) ||
            got < 4)
            return {};
        const std::uint32_t records = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<std::uint32_t>(out[3]) << 24);
        if (4 + records * KBS_RECORD_SIZE > got) return {};
        return {out.begin() + 4, out.begin() + 4 + records * KBS_RECORD_SIZE};
    }

private:
    kbwin::UniqueHandle handle_;
};

TEST(ControlDeviceWithDriver, ProcessDeviceOpensClosesAndInitialisesTheInjectionLibrary) {
    static KinsetBinding kinset;  // outlives the process device's use of it
    ASSERT_TRUE(kinset.bind()) << kinset.failure();
    processControlDevice().useKinset(&kinset);

    EXPECT_EQ(isControlDeviceOpen(), 0);
    ASSERT_EQ(openControlDevice(), 1);
    EXPECT_EQ(isControlDeviceOpen(), 1);
    EXPECT_EQ(openControlDevice(), 1);
    EXPECT_GT(processControlDevice().kinsetInitResult(), 0);
    const HANDLE keyboard = processControlDevice().kinsetKeyboardHandle();
    ASSERT_NE(keyboard, nullptr);
    EXPECT_NE(processControlDevice().kinsetMouseHandle(), nullptr);

    // The keyboard handle is the one injected keys travel through.
    (void)kbsimOutput(L"output --clear");
    EXPECT_EQ(kinset.VKSendWinMakeCodeSingle_KB(keyboard, 0x1E, 0), 1);
    EXPECT_EQ(kinset.VKSendWinMakeCodeSingle_KB(keyboard, 0x1E, 1), 1);
    EXPECT_EQ(kbsimOutput(L"output --clear"), "inj key 1E 0000\ninj key 1E 0001\n");

    EXPECT_EQ(closeControlDevice(), 1);
    EXPECT_EQ(isControlDeviceOpen(), 0);
    EXPECT_EQ(closeControlDevice(), 0);
    (void)kinset.End();
    processControlDevice().useKinset(nullptr);
}

TEST(ControlDeviceWithDriver, InstalledTableIsTheDriversAndRemovalWithdrawsIt) {
    WinControlDevice device;
    ASSERT_TRUE(device.ensureOpen());
    const auto table = markedTable(KBS_KEYBOARD_RECORDS, 0xA1, 7);
    ASSERT_TRUE(device.selectDevice(kKeyboardSelector));
    ASSERT_TRUE(device.installTable(table));
    EXPECT_EQ(kbsimOutput(L"table keyboard"), formatted(table));
    EXPECT_EQ(kbsimOutput(L"table keypad16"), "none\n");

    // A table of the wrong size for the selected device is refused.
    ASSERT_TRUE(device.selectDevice(kKeypadSelectors[1]));
    EXPECT_FALSE(device.installTable(table));

    ASSERT_TRUE(device.selectDevice(kKeyboardSelector));
    ASSERT_TRUE(device.removeTable());
    EXPECT_EQ(kbsimOutput(L"table keyboard"), "none\n");
    EXPECT_EQ(device.close(), 1);
}

// Three threads send "select, then install" pairs for three devices on the
// one handle; the keyboard's holds the pair lock, the keypads' use plain
// calls as the table sends do. After every install the thread's own device
// must hold exactly its table.
TEST(ControlDeviceWithDriver, PairsFromSeveralThreadsNeverLandOnAnotherDevice) {
    WinControlDevice device;
    ASSERT_TRUE(device.ensureOpen());
    struct Writer {
        DeviceSelector selector;
        std::uint32_t index;
        std::uint32_t records;
        bool holdsPairLock;
        const wchar_t* kbsimName;
        std::vector<std::uint8_t> last;
        int refused = 0;
        int misplaced = 0;
    };
    std::array<Writer, 3> writers{{
        {kKeyboardSelector, KBS_DEV_KEYBOARD, KBS_KEYBOARD_RECORDS, true, L"table keyboard", {}},
        {kKeypadSelectors[0], KBS_DEV_KEYPAD_0E, KBS_KEYPAD_RECORDS, false, L"table keypad0E", {}},
        {kKeypadSelectors[1], KBS_DEV_KEYPAD_16, KBS_KEYPAD_RECORDS, false, L"table keypad16", {}},
    }};
    constexpr int kRounds = 60;
    std::atomic<int> go{0};
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < writers.size(); ++w) {
        threads.emplace_back([&, w] {
            Writer& me = writers[w];
            DriverProbe probe;
            if (!probe.valid()) {
                me.misplaced = -1;
                return;
            }
            while (go.load() == 0) std::this_thread::yield();
            for (int round = 0; round < kRounds; ++round) {
                me.last = markedTable(me.records, static_cast<std::uint8_t>(0xB0 + w), static_cast<std::uint8_t>(round));
                bool sent;
                if (me.holdsPairLock) {
                    auto pair = device.pairLock();
                    sent = device.selectDevice(me.selector) && device.installTable(me.last);
                } else {
                    sent = device.selectDevice(me.selector) && device.installTable(me.last);
                }
                if (!sent) ++me.refused;
                if (probe.table(me.index) != me.last) ++me.misplaced;
            }
        });
    }
    go = 1;
    for (auto& t : threads) t.join();
    for (const Writer& w : writers) {
        SCOPED_TRACE(testing::Message() << "device " << w.index);
        EXPECT_EQ(w.refused, 0);
        EXPECT_EQ(w.misplaced, 0);
        EXPECT_EQ(kbsimOutput(w.kbsimName), formatted(w.last));
    }
    EXPECT_EQ(device.close(), 1);
    // The driver drops a closed handle's tables.
    EXPECT_EQ(kbsimOutput(L"table keyboard"), "none\n");
}

// ---- Attach thread -------------------------------------------------------------

class WaitingSink final : public AttachSink {
public:
    void attachState(int state) override {
        {
            std::lock_guard guard(mutex_);
            states_.push_back(state);
        }
        changed_.notify_all();
    }
    // Waits until the latest report is `state` (or gives up after 10 s).
    bool waitForLatest(int state) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return !states_.empty() && states_.back() == state; });
    }
    std::vector<int> states() {
        std::lock_guard guard(mutex_);
        return states_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> states_;
};

TEST(AttachThreadWithDriver, FollowsUnplugAndPlug) {
    ASSERT_EQ(runKbsim(L"plug keyboard"), 0u);
    WinControlDevice device;
    WaitingSink sink;
    AttachThread thread(device, sink);
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(sink.waitForLatest(1));

    // The event carries its fixed name (two underscores before DevAtt2).
    kbwin::UniqueHandle named(OpenEventW(SYNCHRONIZE, FALSE, L"KbPanel_PX3_QM2000RB_Event__DevAtt2"));
    EXPECT_TRUE(named.valid());

    ASSERT_EQ(runKbsim(L"unplug keyboard"), 0u);
    EXPECT_TRUE(sink.waitForLatest(0));
    ASSERT_EQ(runKbsim(L"plug keyboard"), 0u);
    EXPECT_TRUE(sink.waitForLatest(1));

    thread.stop();
    EXPECT_FALSE(thread.running());
    const auto states = sink.states();
    // One report per pass: the start, the unplug and the plug.
    EXPECT_EQ(states, (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(device.close(), 1);
}

TEST(AttachThreadWithDriver, StartsUnpluggedAndStopsWhileWaiting) {
    ASSERT_EQ(runKbsim(L"unplug keyboard"), 0u);
    WinControlDevice device;
    WaitingSink sink;
    AttachThread thread(device, sink);
    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(sink.waitForLatest(0));
    ASSERT_EQ(runKbsim(L"plug keyboard"), 0u);
    EXPECT_TRUE(sink.waitForLatest(1));
    thread.stop();  // it waits on the event without a time-out: the quit event ends it
    EXPECT_FALSE(thread.running());
}

// ---- The heart's start against the driver -------------------------------------

class QuietHeartSink final : public WindowSink {
public:
    void attachState(int) override {}
    void tablesDue() override {}
    bool editingMacroKey() override { return false; }
    void refuseBankSwitch() override {}
    void bankChanged(int) override {}
    void layerChanged(int) override {}
    void setKeyButtonAssigned(int, bool) override {}
    void setApplyButtonEnabled(bool) override {}
    void showProfileMenu(const ProfileMenu&) override {}
    void showMessage(std::u16string_view) override {}
    bool askYesNo(std::u16string_view, bool) override { return false; }
    void playbackIndication(bool) override {}
};

TEST(HeartWithDriver, FirstTablesAlreadyCarryTheKeyEvents) {
    // A profile whose key A plays a macro: its records signal an event, and
    // the driver refuses a table whose event is missing.
    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::filesystem::path file =
        std::filesystem::path(folder) / (L"kb_heart_start_" + std::to_wstring(GetCurrentProcessId()) + L".px3");
    {
        ProfileRecord record = buildDefaultProfile(0);
        record.setEntry(slotOf(0, 0x01E), {4, 0, 1});
        SlotTexts texts;
        MacroTable macros;
        const auto bytes = buildProfileFile(record, texts, macros, 0);
        ASSERT_TRUE(writeFileReplacing(file, bytes));
    }
    MemorySettingsStore settings;
    QuietHeartSink sink;
    {
        Heart heart(sink, settings);
        heart.profiles().setProfilePath(0, file.u16string());
        heart.profiles().setProfileCount(1);
        heart.profiles().setActiveIndex(0);
        const unsigned refusedBefore = heart.device().failedRequests();
        ASSERT_EQ(heart.start(), StartResult::Started) << heart.failure();
        EXPECT_EQ(heart.device().failedRequests(), refusedBefore) << "a table went out before its events existed";
        heart.shutdown();
    }
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace kb
