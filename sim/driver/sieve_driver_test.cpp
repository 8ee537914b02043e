// Runs against the installed stand-in driver (sieve_driver_test.sh installs it first).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kbsim/sieve_ioctl.h"
#include "kbsim/win_handles.h"
#include "run_kbsim.h"

namespace {

using kb::sim::UniqueHandle;

UniqueHandle openDevice(DWORD flags = 0) {
    return UniqueHandle(
        CreateFileW(KBS_DEVICE_PATH_W, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr));
}

UniqueHandle newEvent() { return UniqueHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr)); }

bool ioctl(HANDLE h, DWORD code, const void* in, DWORD inLen, void* out = nullptr, DWORD outLen = 0,
           DWORD* got = nullptr) {
    DWORD n = 0;
    BOOL ok = DeviceIoControl(h, code, const_cast<void*>(in), inLen, out, outLen, &n, nullptr);
    if (got) *got = n;
    return ok != FALSE;
}

std::vector<uint8_t> selector(uint32_t vendor, uint32_t product) {
    std::vector<uint8_t> s(16, 0);
    uint32_t v[4] = {2, vendor, product, 0};
    std::memcpy(s.data(), v, 16);
    return s;
}

bool select(HANDLE h, int device) {
    static const uint32_t vendor[] = {0x04D9, 0x1C4F, 0x1C4F}, product[] = {0x2819, 0x000E, 0x0016};
    auto s = selector(vendor[device], product[device]);
    return ioctl(h, KBS_IOCTL_SELECT, s.data(), 16);
}

struct Rec {
    uint8_t handler = 0, action = 0;
    uint16_t scan = 0, flags = 0, targetScan = 0, targetFlags = 0;
    HANDLE event = nullptr;
};

void put(std::vector<uint8_t>& t, size_t i, const Rec& r) {
    uint8_t* p = t.data() + i * KBS_RECORD_SIZE;
    std::memset(p, 0, KBS_RECORD_SIZE);
    p[0] = r.handler;
    p[1] = r.action;
    std::memcpy(p + 4, &r.scan, 2);
    std::memcpy(p + 6, &r.flags, 2);
    std::memcpy(p + 8, &r.targetScan, 2);
    std::memcpy(p + 10, &r.targetFlags, 2);
    int64_t ev = static_cast<int64_t>(reinterpret_cast<intptr_t>(r.event));
    std::memcpy(p + 16, &ev, 8);
}

bool simKey(HANDLE h, uint32_t device, uint16_t scan, uint16_t flags, uint32_t* outcome = nullptr) {
    uint8_t in[8];
    std::memcpy(in, &device, 4);
    std::memcpy(in + 4, &scan, 2);
    std::memcpy(in + 6, &flags, 2);
    uint32_t out = 99;
    bool ok = ioctl(h, KBS_SIM_KEY, in, 8, &out, 4);
    if (outcome) *outcome = out;
    return ok;
}

bool plug(HANDLE h, uint32_t device, uint32_t state) {
    uint32_t in[2] = {device, state};
    return ioctl(h, KBS_SIM_PLUG, in, 8);
}

struct LogLine {
    uint8_t origin, kind;
    uint8_t record[16];
};

std::vector<LogLine> readLog(HANDLE h, bool clear = true) {
    std::vector<uint8_t> buf(KBS_LOG_HEADER_SIZE + KBS_LOG_CAPACITY * KBS_LOG_ENTRY_SIZE);
    uint32_t flags = clear ? 1 : 0;
    DWORD got = 0;
    std::vector<LogLine> out;
    if (!ioctl(h, KBS_SIM_READ_LOG, &flags, 4, buf.data(), static_cast<DWORD>(buf.size()), &got)) {
        ADD_FAILURE() << "read log failed " << GetLastError();
        return out;
    }
    uint32_t n;
    std::memcpy(&n, buf.data(), 4);
    EXPECT_EQ(got, KBS_LOG_HEADER_SIZE + n * KBS_LOG_ENTRY_SIZE);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = buf.data() + KBS_LOG_HEADER_SIZE + i * KBS_LOG_ENTRY_SIZE;
        LogLine l{e[0], e[1], {}};
        std::memcpy(l.record, e + 4, 16);
        out.push_back(l);
    }
    return out;
}

std::vector<uint8_t> readTable(HANDLE h, uint32_t device) {
    std::vector<uint8_t> buf(4 + KBS_MAX_RECORDS * KBS_RECORD_SIZE);
    DWORD got = 0;
    if (!ioctl(h, KBS_SIM_READ_TABLE, &device, 4, buf.data(), static_cast<DWORD>(buf.size()), &got)) return {};
    uint32_t n;
    std::memcpy(&n, buf.data(), 4);
    return std::vector<uint8_t>(buf.begin() + 4, buf.begin() + 4 + n * KBS_RECORD_SIZE);
}

bool signalled(HANDLE e) { return WaitForSingleObject(e, 0) == WAIT_OBJECT_0; }

uint16_t keyScan(const LogLine& l) { return static_cast<uint16_t>(l.record[0] | l.record[1] << 8); }
uint16_t keyFlags(const LogLine& l) { return static_cast<uint16_t>(l.record[2] | l.record[3] << 8); }

class SieveDriver : public testing::Test {
protected:
    void SetUp() override {
        dev = openDevice();
        ASSERT_TRUE(dev.valid()) << "driver not running: " << GetLastError();
        ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_RESET, nullptr, 0));
    }
    UniqueHandle dev;
};

TEST_F(SieveDriver, SeveralHandlesAtOnceKeepTheirOwnSelection) {
    UniqueHandle second = openDevice();
    UniqueHandle third = openDevice();
    ASSERT_TRUE(second.valid()) << GetLastError();
    ASSERT_TRUE(third.valid()) << GetLastError();
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYBOARD));
    ASSERT_TRUE(select(second.get(), KBS_DEV_KEYPAD_16));
    std::vector<uint8_t> pad(KBS_KEYPAD_RECORDS * KBS_RECORD_SIZE, 0);
    put(pad, 0, {.action = 2, .scan = 0x3E});
    // A keypad-sized table on the handle that selected the keyboard is refused...
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_TABLE, pad.data(), static_cast<DWORD>(pad.size())));
    // ...and accepted on the handle that selected the keypad.
    EXPECT_TRUE(ioctl(second.get(), KBS_IOCTL_TABLE, pad.data(), static_cast<DWORD>(pad.size())));
    EXPECT_EQ(readTable(third.get(), KBS_DEV_KEYPAD_16), pad);
    EXPECT_TRUE(readTable(third.get(), KBS_DEV_KEYBOARD).empty());
}

TEST_F(SieveDriver, TableDecidesWhatReachesTheSystem) {
    UniqueHandle press = newEvent(), release = newEvent(), other = newEvent();
    std::vector<uint8_t> t(KBS_KEYBOARD_RECORDS * KBS_RECORD_SIZE, 0);
    put(t, 0, {.scan = 0x1E});                                                    // A: pass
    put(t, 1, {.action = 1, .scan = 0x30, .targetScan = 0x45, .targetFlags = 0}); // B make -> Num Lock
    put(t, 88, {.action = 1, .scan = 0x30, .flags = 1, .targetScan = 0x45, .targetFlags = 1});
    put(t, 2, {.action = 2, .scan = 0x2E});                                       // C: swallow
    put(t, 89, {.action = 2, .scan = 0x2E, .flags = 1});
    put(t, 3, {.handler = 1, .action = 2, .scan = 0x20, .event = press.get()});   // D: events
    put(t, 90, {.handler = 1, .action = 2, .scan = 0x20, .flags = 1, .event = release.get()});
    put(t, 4, {.handler = 1, .action = 2, .scan = 0x21, .event = other.get()});
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYBOARD));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, t.data(), static_cast<DWORD>(t.size()))) << GetLastError();
    EXPECT_EQ(readTable(dev.get(), KBS_DEV_KEYBOARD), t);

    UniqueHandle sim = openDevice();  // keys come from another handle, as from kbsim
    uint32_t outcome;
    ASSERT_TRUE(simKey(sim.get(), 0, 0x1E, 0, &outcome));
    EXPECT_EQ(outcome, uint32_t(KBS_PASSED));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x30, 0, &outcome));
    EXPECT_EQ(outcome, uint32_t(KBS_REPLACED));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x30, 1));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x2E, 0, &outcome));
    EXPECT_EQ(outcome, uint32_t(KBS_SWALLOWED));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x2E, 1));
    EXPECT_FALSE(signalled(press.get()));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x20, 0, &outcome));
    EXPECT_EQ(outcome, uint32_t(KBS_SIGNALLED));
    EXPECT_TRUE(signalled(press.get()));
    EXPECT_FALSE(signalled(release.get()));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x20, 1));
    EXPECT_TRUE(signalled(release.get()));
    EXPECT_FALSE(signalled(press.get()));
    EXPECT_FALSE(signalled(other.get()));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x1C, 2));  // no record: unchanged

    // Keys from another process (kbsim) signal this process's events just the same.
    ASSERT_EQ(kb::sim::testing::runKbsim(L"key 20 tap"), 0u);
    EXPECT_TRUE(signalled(press.get()));
    EXPECT_TRUE(signalled(release.get()));

    auto log = readLog(sim.get());
    ASSERT_EQ(log.size(), 4u);
    const uint16_t want[4][2] = {{0x1E, 0}, {0x45, 0}, {0x45, 1}, {0x1C, 2}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log[i].origin, KBS_ORIGIN_PHYSICAL);
        EXPECT_EQ(log[i].kind, KBS_KIND_KEY);
        EXPECT_EQ(keyScan(log[i]), want[i][0]) << i;
        EXPECT_EQ(keyFlags(log[i]), want[i][1]) << i;
    }

    // Removing the table lets every key through again.
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, nullptr, 0));
    EXPECT_TRUE(readTable(sim.get(), KBS_DEV_KEYBOARD).empty());
    ASSERT_TRUE(simKey(sim.get(), 0, 0x2E, 0));
    ASSERT_TRUE(simKey(sim.get(), 0, 0x20, 0));
    EXPECT_FALSE(signalled(press.get()));
    EXPECT_EQ(readLog(sim.get()).size(), 2u);
}

TEST_F(SieveDriver, EventOutlivesTheCallersHandleUntilTheTableGoes) {
    // The driver holds its own reference: closing the program's handle to the event
    // must not break signalling of a duplicate.
    UniqueHandle press = newEvent();
    HANDLE dup = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), press.get(), GetCurrentProcess(), &dup, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    UniqueHandle keep(dup);
    std::vector<uint8_t> t(KBS_KEYPAD_RECORDS * KBS_RECORD_SIZE, 0);
    put(t, 0, {.handler = 1, .action = 2, .scan = 0x3E, .event = press.get()});
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYPAD_0E));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, t.data(), static_cast<DWORD>(t.size())));
    press.reset();
    ASSERT_TRUE(simKey(dev.get(), KBS_DEV_KEYPAD_0E, 0x3E, 0));
    EXPECT_TRUE(signalled(keep.get()));
    EXPECT_TRUE(readLog(dev.get()).empty());
}

TEST_F(SieveDriver, PlugAndUnplugSignalTheAttachEvent) {
    UniqueHandle attach = newEvent();
    int64_t value = static_cast<int64_t>(reinterpret_cast<intptr_t>(attach.get()));
    int32_t state = -1;
    DWORD got = 0;
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYBOARD));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_ATTACH, &value, 8, &state, 4, &got)) << GetLastError();
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(state, 1);
    EXPECT_FALSE(signalled(attach.get()));

    UniqueHandle sim = openDevice();
    ASSERT_TRUE(plug(sim.get(), KBS_DEV_KEYBOARD, 0));
    EXPECT_EQ(WaitForSingleObject(attach.get(), 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_ATTACH, &value, 8, &state, 4));
    EXPECT_EQ(state, 0);
    // An unplugged keyboard produces no keys, reports or status.
    EXPECT_FALSE(simKey(sim.get(), KBS_DEV_KEYBOARD, 0x1E, 0));
    uint16_t report = 0x1302;
    EXPECT_FALSE(ioctl(sim.get(), KBS_SIM_QUEUE_REPORT, &report, 2));
    uint8_t status[2] = {5, 3};
    EXPECT_FALSE(ioctl(sim.get(), KBS_SIM_WRITE_STATUS, status, 2));
    // The keypad's registration is separate.
    ASSERT_TRUE(plug(sim.get(), KBS_DEV_KEYPAD_0E, 0));
    EXPECT_FALSE(signalled(attach.get()));
    ASSERT_TRUE(plug(sim.get(), KBS_DEV_KEYBOARD, 1));
    EXPECT_EQ(WaitForSingleObject(attach.get(), 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(plug(sim.get(), KBS_DEV_KEYBOARD, 1));  // no change, no signal
    EXPECT_FALSE(signalled(attach.get()));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_ATTACH, &value, 8, &state, 4));
    EXPECT_EQ(state, 1);
}

TEST_F(SieveDriver, InjectedRecordsAppearInOrder) {
    UniqueHandle kbHandle = openDevice(), muHandle = openDevice();
    uint8_t shiftDown[16] = {0x2A, 0, 0, 0};
    uint8_t mouseMove[16] = {0, 0, 1, 0, 0, 0, 0, 0, 0x00, 0x80, 0, 0, 0x00, 0x40, 0, 0};
    uint8_t wheel[16] = {0, 0, 0, 0, 0x00, 0x04, 0x10, 0xFF};
    uint8_t shiftUp[16] = {0x2A, 0, 1, 0};
    ASSERT_TRUE(ioctl(kbHandle.get(), KBS_IOCTL_INJECT, shiftDown, 16));
    ASSERT_TRUE(ioctl(muHandle.get(), KBS_IOCTL_INJECT, mouseMove, 16));
    ASSERT_TRUE(simKey(dev.get(), 0, 0x1E, 0));
    ASSERT_TRUE(ioctl(muHandle.get(), KBS_IOCTL_INJECT, wheel, 16));
    ASSERT_TRUE(ioctl(kbHandle.get(), KBS_IOCTL_INJECT, shiftUp, 16));
    auto log = readLog(dev.get());
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].origin, KBS_ORIGIN_INJECTED);
    EXPECT_EQ(log[0].kind, KBS_KIND_KEY);
    EXPECT_EQ(std::memcmp(log[0].record, shiftDown, 16), 0);
    EXPECT_EQ(log[1].kind, KBS_KIND_MOUSE);
    EXPECT_EQ(std::memcmp(log[1].record, mouseMove, 16), 0);
    EXPECT_EQ(log[2].origin, KBS_ORIGIN_PHYSICAL);
    EXPECT_EQ(log[3].kind, KBS_KIND_MOUSE);
    EXPECT_EQ(std::memcmp(log[3].record, wheel, 16), 0);
    EXPECT_EQ(std::memcmp(log[4].record, shiftUp, 16), 0);
    EXPECT_TRUE(readLog(dev.get()).empty());  // cleared by the read
}

TEST_F(SieveDriver, BadRequestsFailAndChangeNothing) {
    UniqueHandle press = newEvent();
    std::vector<uint8_t> t(KBS_KEYBOARD_RECORDS * KBS_RECORD_SIZE, 0);
    put(t, 0, {.handler = 1, .action = 2, .scan = 0x1E, .event = press.get()});
    // No selection yet on a fresh handle.
    UniqueHandle fresh = openDevice();
    EXPECT_FALSE(ioctl(fresh.get(), KBS_IOCTL_TABLE, t.data(), static_cast<DWORD>(t.size())));
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYBOARD));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, t.data(), static_cast<DWORD>(t.size())));

    auto unknown = selector(0x1234, 0x5678);
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_SELECT, unknown.data(), 16));
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_SELECT, unknown.data(), 12));
    EXPECT_FALSE(ioctl(dev.get(), 0x222004, nullptr, 0));
    EXPECT_FALSE(ioctl(dev.get(), KBS_CTL(0x9FF), nullptr, 0));

    std::vector<uint8_t> other = t;
    put(other, 0, {.action = 2, .scan = 0x1E});
    // Wrong size for the (still selected) keyboard.
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_TABLE, other.data(), static_cast<DWORD>(other.size() - 24)));
    // Handles that are no event: a mutex, a bogus value, zero.
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    HANDLE notEvents[] = {mutex.get(), reinterpret_cast<HANDLE>(0x7FF0), nullptr};
    for (HANDLE h : notEvents) {
        put(other, 5, {.handler = 1, .action = 2, .scan = 0x30, .event = h});
        EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_TABLE, other.data(), static_cast<DWORD>(other.size())));
        int64_t value = static_cast<int64_t>(reinterpret_cast<intptr_t>(h));
        int32_t state = -1;
        EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_ATTACH, &value, 8, &state, 4));
    }
    // Attach with short buffers.
    UniqueHandle attach = newEvent();
    int64_t value = static_cast<int64_t>(reinterpret_cast<intptr_t>(attach.get()));
    int32_t state = -1;
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_ATTACH, &value, 4, &state, 4));
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_ATTACH, &value, 8, &state, 2));
    // Short or long injections, bad simulator requests.
    uint8_t rec[17] = {0x1E};
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_INJECT, rec, 15));
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_INJECT, rec, 17));
    EXPECT_FALSE(simKey(dev.get(), 3, 0x1E, 0));
    EXPECT_FALSE(simKey(dev.get(), 0, 0x1E, 8));
    EXPECT_FALSE(plug(dev.get(), 0, 2));

    // Still the first table, the same selection, an empty log and nothing signalled.
    EXPECT_EQ(readTable(dev.get(), KBS_DEV_KEYBOARD), t);
    EXPECT_TRUE(readLog(dev.get()).empty());
    ASSERT_TRUE(simKey(dev.get(), 0, 0x1E, 0));
    EXPECT_TRUE(signalled(press.get()));
    std::vector<uint8_t> pad(KBS_KEYPAD_RECORDS * KBS_RECORD_SIZE, 0);
    EXPECT_FALSE(ioctl(dev.get(), KBS_IOCTL_TABLE, pad.data(), static_cast<DWORD>(pad.size())));
}

TEST_F(SieveDriver, KbsimShowsTheInstalledTableAndInjectedInput) {
    UniqueHandle press = newEvent();
    std::vector<uint8_t> t(KBS_KEYPAD_RECORDS * KBS_RECORD_SIZE, 0);
    put(t, 0, {.action = 2, .scan = 0x3E});
    put(t, 1, {.handler = 1, .action = 2, .scan = 0x1C, .flags = 2, .event = press.get()});
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYPAD_16));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, t.data(), static_cast<DWORD>(t.size())));
    std::string out;
    ASSERT_EQ(kb::sim::testing::runKbsim(L"table keypad16", &out), 0u) << out;
    char eventBytes[40];
    auto ev = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(press.get()));
    std::snprintf(eventBytes, sizeof eventBytes, "%02X %02X %02X %02X %02X %02X %02X %02X", unsigned(ev & 0xFF),
                  unsigned(ev >> 8 & 0xFF), unsigned(ev >> 16 & 0xFF), unsigned(ev >> 24 & 0xFF),
                  unsigned(ev >> 32 & 0xFF), unsigned(ev >> 40 & 0xFF), unsigned(ev >> 48 & 0xFF),
                  unsigned(ev >> 56 & 0xFF));
    std::string want = "00 02 00 00 3E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n"
                       "01 02 00 00 1C 00 02 00 00 00 00 00 00 00 00 00 " + std::string(eventBytes) + "\r\n";
    for (int i = 2; i < KBS_KEYPAD_RECORDS; ++i)
        want += "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n";
    EXPECT_EQ(out, want);
    ASSERT_EQ(kb::sim::testing::runKbsim(L"table keypad0E", &out), 0u);
    EXPECT_EQ(out, "none\r\n");

    uint8_t rightUp[16] = {0, 0, 1, 0, 0x08, 0, 0, 0, 0x10, 0x27, 0, 0, 0xF0, 0xD8, 0xFF, 0xFF};
    uint8_t ctrl[16] = {0x1D, 0, 3, 0};
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_INJECT, rightUp, 16));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_INJECT, ctrl, 16));
    ASSERT_EQ(kb::sim::testing::runKbsim(L"output --clear", &out), 0u);
    EXPECT_EQ(out, "inj mouse 0001 0008 0000 10000 -10000\r\ninj key 1D 0003\r\n");
    EXPECT_TRUE(readLog(dev.get()).empty());
}

TEST_F(SieveDriver, ClosingTheInstallingHandleWithdrawsItsTable) {
    UniqueHandle program = openDevice();
    std::vector<uint8_t> t(KBS_KEYBOARD_RECORDS * KBS_RECORD_SIZE, 0);
    put(t, 0, {.action = 2, .scan = 0x1E});
    ASSERT_TRUE(select(program.get(), KBS_DEV_KEYBOARD));
    ASSERT_TRUE(ioctl(program.get(), KBS_IOCTL_TABLE, t.data(), static_cast<DWORD>(t.size())));
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYPAD_0E));
    std::vector<uint8_t> pad(KBS_KEYPAD_RECORDS * KBS_RECORD_SIZE, 0);
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, pad.data(), static_cast<DWORD>(pad.size())));
    program.reset();
    EXPECT_TRUE(readTable(dev.get(), KBS_DEV_KEYBOARD).empty());
    EXPECT_EQ(readTable(dev.get(), KBS_DEV_KEYPAD_0E).size(), pad.size());
    ASSERT_TRUE(simKey(dev.get(), 0, 0x1E, 0));
    EXPECT_EQ(readLog(dev.get()).size(), 1u);
}

struct TableStamp {
    uint32_t requests = 0;
    int64_t at = 0;
};

TableStamp tableStamp(HANDLE h, uint32_t device) {
    uint8_t out[KBS_TABLE_STAMP_SIZE] = {};
    DWORD got = 0;
    TableStamp s;
    if (!ioctl(h, KBS_SIM_TABLE_STAMP, &device, 4, out, sizeof out, &got) || got != sizeof out) return {~0u, -1};
    std::memcpy(&s.requests, out, 4);
    std::memcpy(&s.at, out + 8, 8);
    return s;
}

TEST_F(SieveDriver, TheTableStampCountsEachRequestOfItsDeviceAtTheTimeItTookEffect) {
    const TableStamp pad0 = tableStamp(dev.get(), KBS_DEV_KEYPAD_0E), board0 = tableStamp(dev.get(), KBS_DEV_KEYBOARD);
    std::vector<uint8_t> t(KBS_KEYBOARD_RECORDS * KBS_RECORD_SIZE, 0);
    ASSERT_TRUE(select(dev.get(), KBS_DEV_KEYBOARD));
    LARGE_INTEGER before, after;
    QueryPerformanceCounter(&before);
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, t.data(), static_cast<DWORD>(t.size())));
    ASSERT_TRUE(ioctl(dev.get(), KBS_IOCTL_TABLE, nullptr, 0));
    QueryPerformanceCounter(&after);
    const TableStamp board = tableStamp(dev.get(), KBS_DEV_KEYBOARD);
    EXPECT_EQ(board.requests, board0.requests + 2);
    EXPECT_GE(board.at, before.QuadPart);
    EXPECT_LE(board.at, after.QuadPart);
    EXPECT_EQ(tableStamp(dev.get(), KBS_DEV_KEYPAD_0E).requests, pad0.requests);
    // A refused table took no effect.
    ASSERT_FALSE(ioctl(dev.get(), KBS_IOCTL_TABLE, t.data(), 8));
    EXPECT_EQ(tableStamp(dev.get(), KBS_DEV_KEYBOARD).requests, board.requests);
    const uint32_t bad = KBS_DEV_COUNT, keyboard = KBS_DEV_KEYBOARD;
    uint8_t out[KBS_TABLE_STAMP_SIZE];
    EXPECT_FALSE(ioctl(dev.get(), KBS_SIM_TABLE_STAMP, &bad, 4, out, sizeof out));
    EXPECT_FALSE(ioctl(dev.get(), KBS_SIM_TABLE_STAMP, &keyboard, 4, out, 8));
}

TEST_F(SieveDriver, ReportWaitsPendUntilQueuedAndCanBeCancelled) {
    uint16_t early = 0x1303;
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_QUEUE_REPORT, &early, 2));
    UniqueHandle reader = openDevice();
    uint8_t out[KBS_REPORT_SIZE] = {};
    DWORD got = 0;
    ASSERT_TRUE(ioctl(reader.get(), KBS_SIM_WAIT_REPORT, nullptr, 0, out, sizeof out, &got));
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(out[0] | out[1] << 8, 0x1303);

    // A waiting reader gets the next report.
    uint8_t late[KBS_REPORT_SIZE] = {};
    DWORD lateGot = 0;
    BOOL lateOk = FALSE;
    std::thread waiter([&] {
        lateOk = DeviceIoControl(reader.get(), KBS_SIM_WAIT_REPORT, nullptr, 0, late, sizeof late, &lateGot, nullptr);
    });
    Sleep(100);
    uint16_t code = 0x1301;
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_QUEUE_REPORT, &code, 2));
    waiter.join();
    EXPECT_TRUE(lateOk);
    EXPECT_EQ(late[0] | late[1] << 8, 0x1301);

    // Cancelling a waiting reader ends its request without a report.
    DWORD err = 0;
    std::thread cancelled([&] {
        if (!DeviceIoControl(reader.get(), KBS_SIM_WAIT_REPORT, nullptr, 0, late, sizeof late, &lateGot, nullptr))
            err = GetLastError();
    });
    Sleep(100);
    for (int i = 0; i < 50 && !CancelIoEx(reader.get(), nullptr); ++i) Sleep(20);
    cancelled.join();
    EXPECT_EQ(err, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    // The cancelled request took nothing: the next report is still there for the next reader.
    code = 0x1302;
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_QUEUE_REPORT, &code, 2));
    ASSERT_TRUE(ioctl(reader.get(), KBS_SIM_WAIT_REPORT, nullptr, 0, out, sizeof out, &got));
    EXPECT_EQ(out[0] | out[1] << 8, 0x1302);
}

// Run only as a child of the next test: waits for a report until it is killed.
TEST(SieveDriverChild, DISABLED_WaitForever) {
    UniqueHandle dev = openDevice();
    uint8_t out[KBS_REPORT_SIZE];
    DWORD got;
    DeviceIoControl(dev.get(), KBS_SIM_WAIT_REPORT, nullptr, 0, out, sizeof out, &got, nullptr);
    Sleep(INFINITE);
}

TEST_F(SieveDriver, AKilledReaderTakesNoReport) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self) +
                       L"\" --gtest_also_run_disabled_tests --gtest_filter=SieveDriverChild.DISABLED_WaitForever";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;  // the child's test output stays out of this log
    si.hStdInput = si.hStdOutput = si.hStdError = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    Sleep(500);
    ASSERT_EQ(WaitForSingleObject(process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "child ended early";
    TerminateProcess(process.get(), 1);
    ASSERT_EQ(WaitForSingleObject(process.get(), 5000), WAIT_OBJECT_0);

    uint16_t code = 0x1304;
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_QUEUE_REPORT, &code, 2));
    UniqueHandle reader = openDevice(FILE_FLAG_OVERLAPPED);
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = done.get();
    uint8_t out[KBS_REPORT_SIZE] = {};
    DWORD got = 0;
    if (!DeviceIoControl(reader.get(), KBS_SIM_WAIT_REPORT, nullptr, 0, out, sizeof out, &got, &ov)) {
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        if (WaitForSingleObject(done.get(), 3000) != WAIT_OBJECT_0) {
            CancelIoEx(reader.get(), &ov);
            ADD_FAILURE() << "the report went to the killed reader";
        }
        GetOverlappedResult(reader.get(), &ov, &got, TRUE);
    }
    EXPECT_EQ(out[0] | out[1] << 8, 0x1304);
}

TEST_F(SieveDriver, StatusBytesAreKeptUntilReset) {
    uint8_t out[6] = {};
    DWORD got = 0;
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_READ_STATUS, nullptr, 0, out, 6, &got));
    EXPECT_EQ(out[0], 0);
    uint8_t status[2] = {5, 3};
    EXPECT_FALSE(ioctl(dev.get(), KBS_SIM_WRITE_STATUS, status, 1));
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_WRITE_STATUS, status, 2));
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_READ_STATUS, nullptr, 0, out, 6, &got));
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[4], 5);
    EXPECT_EQ(out[5], 3);
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_RESET, nullptr, 0));
    ASSERT_TRUE(ioctl(dev.get(), KBS_SIM_READ_STATUS, nullptr, 0, out, 6, &got));
    EXPECT_EQ(out[0], 0);
}

}  // namespace
