#include "sieve_core.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace {

std::map<void*, int> g_signals;
std::map<void*, int> g_releases;
void onSignal(void* e) { ++g_signals[e]; }
void onRelease(void* e) { ++g_releases[e]; }
const KbsOps kOps = {onSignal, onRelease};

struct Record {
    uint8_t handler = 0, action = 0;
    uint16_t scan = 0, flags = 0, targetScan = 0, targetFlags = 0;
    int64_t event = 0;
};

void put(std::vector<uint8_t>& t, uint32_t i, const Record& r) {
    uint8_t* p = t.data() + i * KBS_RECORD_SIZE;
    p[0] = r.handler;
    p[1] = r.action;
    auto w16 = [](uint8_t* q, uint16_t v) { q[0] = uint8_t(v), q[1] = uint8_t(v >> 8); };
    w16(p + 4, r.scan);
    w16(p + 6, r.flags);
    w16(p + 8, r.targetScan);
    w16(p + 10, r.targetFlags);
    for (int b = 0; b < 8; ++b) p[16 + b] = uint8_t(uint64_t(r.event) >> (8 * b));
}

std::vector<uint8_t> selector(uint32_t a, uint32_t vendor, uint32_t product, uint32_t d) {
    std::vector<uint8_t> s(16);
    uint32_t v[4] = {a, vendor, product, d};
    for (int i = 0; i < 16; ++i) s[i] = uint8_t(v[i / 4] >> (8 * (i % 4)));
    return s;
}

struct Line {
    int origin, kind;
    uint16_t a, b;
    bool operator==(const Line&) const = default;
};

class SieveCoreTest : public testing::Test {
protected:
    void SetUp() override {
        core = std::make_unique<KbsCore>();
        kbs_core_init(core.get());
        g_signals.clear();
        g_releases.clear();
    }
    std::vector<Line> drain() {
        std::vector<uint8_t> buf(KBS_LOG_CAPACITY * KBS_LOG_ENTRY_SIZE);
        uint32_t n = kbs_core_read_log(core.get(), buf.data(), KBS_LOG_CAPACITY, 1);
        std::vector<Line> out;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* e = buf.data() + i * KBS_LOG_ENTRY_SIZE;
            out.push_back({e[0], e[1], uint16_t(e[4] | e[5] << 8), uint16_t(e[6] | e[7] << 8)});
        }
        return out;
    }
    std::unique_ptr<KbsCore> core;
    int ev[8] = {};
};

TEST(SieveSelector, KnowsExactlyTheThreeDevices) {
    EXPECT_EQ(kbs_selector_device(selector(2, 0x04D9, 0x2819, 0).data(), 16), KBS_DEV_KEYBOARD);
    EXPECT_EQ(kbs_selector_device(selector(2, 0x1C4F, 0x000E, 0).data(), 16), KBS_DEV_KEYPAD_0E);
    EXPECT_EQ(kbs_selector_device(selector(2, 0x1C4F, 0x0016, 0).data(), 16), KBS_DEV_KEYPAD_16);
    EXPECT_EQ(kbs_selector_device(selector(2, 0x04D9, 0x2818, 0).data(), 16), -1);
    EXPECT_EQ(kbs_selector_device(selector(1, 0x04D9, 0x2819, 0).data(), 16), -1);
    EXPECT_EQ(kbs_selector_device(selector(2, 0x04D9, 0x2819, 7).data(), 16), -1);
    EXPECT_EQ(kbs_selector_device(selector(2, 0x04D9, 0x2819, 0).data(), 15), -1);
    EXPECT_EQ(kbs_selector_device(nullptr, 16), -1);
}

TEST(SieveTableCheck, RefusesWrongSizesAndUnknownValues) {
    std::vector<uint8_t> kb(KBS_KEYBOARD_RECORDS * KBS_RECORD_SIZE), pad(KBS_KEYPAD_RECORDS * KBS_RECORD_SIZE);
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYBOARD, kb.data(), kb.size()), 174u);
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYPAD_16, pad.data(), pad.size()), 46u);
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYBOARD, pad.data(), pad.size()), 0u);
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYPAD_0E, kb.data(), kb.size()), 0u);
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYBOARD, kb.data(), kb.size() - 1), 0u);
    put(kb, 3, {.handler = 1, .action = 0});
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYBOARD, kb.data(), kb.size()), 174u);
    EXPECT_TRUE(kbs_record_needs_event(kb.data(), 3));
    put(kb, 4, {.handler = 0, .action = 3});
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYBOARD, kb.data(), kb.size()), 0u);
    put(kb, 4, {.handler = 2, .action = 2});
    EXPECT_EQ(kbs_table_check(KBS_DEV_KEYBOARD, kb.data(), kb.size()), 0u);
}

TEST_F(SieveCoreTest, KeysFollowTheTableActions) {
    std::vector<uint8_t> t(KBS_KEYBOARD_RECORDS * KBS_RECORD_SIZE);
    put(t, 0, {.scan = 0x1E, .flags = 0});                                                   // pass
    put(t, 1, {.action = 1, .scan = 0x30, .flags = 0, .targetScan = 0x45, .targetFlags = 0}); // B -> Num Lock
    put(t, 2, {.action = 2, .scan = 0x2E, .flags = 0});                                      // swallow C make
    put(t, 3, {.handler = 1, .action = 2, .scan = 0x20, .flags = 0});                        // D press event
    put(t, 4, {.handler = 1, .action = 2, .scan = 0x20, .flags = 1});                        // D release event
    put(t, 5, {.action = 2, .scan = 0x1C, .flags = 2});                                      // swallow Num Enter only
    std::vector<void*> events(KBS_KEYBOARD_RECORDS, nullptr);
    events[3] = &ev[0];
    events[4] = &ev[1];
    kbs_core_set_table(core.get(), &kOps, KBS_DEV_KEYBOARD, t.data(), KBS_KEYBOARD_RECORDS, events.data(), nullptr);

    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x1E, 0), KBS_PASSED);
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x30, 0), KBS_REPLACED);
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x30, 1), KBS_PASSED);  // no release record: unchanged
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x2E, 0), KBS_SWALLOWED);
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x20, 0), KBS_SIGNALLED);
    EXPECT_EQ(g_signals[&ev[0]], 1);
    EXPECT_EQ(g_signals[&ev[1]], 0);
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x20, 1), KBS_SIGNALLED);
    EXPECT_EQ(g_signals[&ev[1]], 1);
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x1C, 0), KBS_PASSED);  // Enter differs from Num Enter
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, 0, 0x1C, 2), KBS_SWALLOWED);
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, KBS_DEV_KEYPAD_0E, 0x2E, 0), KBS_PASSED);  // other device

    std::vector<Line> want = {{0, 0, 0x1E, 0}, {0, 0, 0x45, 0}, {0, 0, 0x30, 1}, {0, 0, 0x1C, 0}, {0, 0, 0x2E, 0}};
    EXPECT_EQ(drain(), want);
}

TEST_F(SieveCoreTest, EventsAreReleasedOnceOnReplaceRemoveResetAndOwnerClose) {
    std::vector<uint8_t> t(KBS_KEYPAD_RECORDS * KBS_RECORD_SIZE);
    put(t, 0, {.handler = 1, .action = 2, .scan = 0x3E});
    std::vector<void*> events(KBS_KEYPAD_RECORDS, nullptr);
    int ownerA = 0, ownerB = 0;
    events[0] = &ev[0];
    kbs_core_set_table(core.get(), &kOps, KBS_DEV_KEYPAD_0E, t.data(), 46, events.data(), &ownerA);
    events[0] = &ev[1];
    kbs_core_set_table(core.get(), &kOps, KBS_DEV_KEYPAD_0E, t.data(), 46, events.data(), &ownerA);
    EXPECT_EQ(g_releases[&ev[0]], 1);
    EXPECT_EQ(g_releases[&ev[1]], 0);
    kbs_core_remove_table(core.get(), &kOps, KBS_DEV_KEYPAD_0E);
    kbs_core_remove_table(core.get(), &kOps, KBS_DEV_KEYPAD_0E);
    EXPECT_EQ(g_releases[&ev[1]], 1);
    EXPECT_EQ(kbs_core_key(core.get(), &kOps, KBS_DEV_KEYPAD_0E, 0x3E, 0), KBS_PASSED);

    events[0] = &ev[2];
    kbs_core_set_table(core.get(), &kOps, KBS_DEV_KEYPAD_0E, t.data(), 46, events.data(), &ownerA);
    events[0] = &ev[3];
    kbs_core_set_table(core.get(), &kOps, KBS_DEV_KEYPAD_16, t.data(), 46, events.data(), &ownerB);
    ASSERT_TRUE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &ev[4], &ownerA));
    ASSERT_TRUE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &ev[5], &ownerB));
    kbs_core_drop_owner(core.get(), &kOps, &ownerA);
    EXPECT_EQ(g_releases[&ev[2]], 1);
    EXPECT_EQ(g_releases[&ev[4]], 1);
    EXPECT_EQ(g_releases[&ev[3]], 0);
    EXPECT_EQ(core->tables[KBS_DEV_KEYPAD_0E].records, 0u);
    EXPECT_EQ(core->tables[KBS_DEV_KEYPAD_16].records, 46u);

    kbs_core_reset(core.get(), &kOps);
    EXPECT_EQ(g_releases[&ev[3]], 1);
    EXPECT_EQ(g_releases[&ev[5]], 1);
    for (auto& [e, n] : g_releases) EXPECT_EQ(n, 1);
}

TEST_F(SieveCoreTest, PlugSignalsRegisteredEventsOnChangeOnly) {
    int a = 0, b = 0;
    ASSERT_TRUE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &ev[0], &a));
    ASSERT_TRUE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &ev[1], &b));
    EXPECT_EQ(core->attached[KBS_DEV_KEYBOARD], 1);
    EXPECT_EQ(kbs_core_plug(core.get(), &kOps, KBS_DEV_KEYBOARD, 1), 0);
    EXPECT_EQ(g_signals[&ev[0]], 0);
    EXPECT_EQ(kbs_core_plug(core.get(), &kOps, KBS_DEV_KEYBOARD, 0), 1);
    EXPECT_EQ(g_signals[&ev[0]], 1);
    EXPECT_EQ(g_signals[&ev[1]], 1);
    // Re-registering by the same handle replaces its event.
    ASSERT_TRUE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &ev[2], &a));
    EXPECT_EQ(g_releases[&ev[0]], 1);
    kbs_core_plug(core.get(), &kOps, KBS_DEV_KEYBOARD, 1);
    EXPECT_EQ(g_signals[&ev[0]], 1);
    EXPECT_EQ(g_signals[&ev[2]], 1);
    EXPECT_EQ(g_signals[&ev[1]], 2);
    // Other devices' registrations are separate.
    kbs_core_plug(core.get(), &kOps, KBS_DEV_KEYPAD_0E, 0);
    EXPECT_EQ(g_signals[&ev[2]], 1);
}

TEST_F(SieveCoreTest, AttachSlotsRunOutCleanly) {
    int owners[KBS_ATTACH_SLOTS + 1];
    for (int i = 0; i < KBS_ATTACH_SLOTS; ++i)
        ASSERT_TRUE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &ev[i], &owners[i]));
    int extra = 0;
    EXPECT_FALSE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &extra, &owners[KBS_ATTACH_SLOTS]));
    EXPECT_EQ(g_releases[&extra], 0);  // refused: stays the caller's to release
    kbs_core_drop_owner(core.get(), &kOps, &owners[2]);
    EXPECT_TRUE(kbs_core_register_attach(core.get(), &kOps, KBS_DEV_KEYBOARD, &extra, &owners[KBS_ATTACH_SLOTS]));
}

TEST_F(SieveCoreTest, InjectedRecordsKeepOrderAndKind) {
    uint8_t key[16] = {0x2A, 0, 2, 0};
    uint8_t mouse[16] = {0, 0, 1, 0, 0x01, 0, 0, 0, 0x00, 0x80, 0, 0, 0x00, 0x40, 0, 0};
    uint8_t moveToOrigin[16] = {0, 0, 1, 0};  // unit 0: a mouse record even with all zeros after
    uint8_t oddUnit[16] = {3, 0, 0, 0, 0x02, 0};  // button flags set: mouse
    EXPECT_TRUE(kbs_inject_is_key(key));
    EXPECT_FALSE(kbs_inject_is_key(mouse));
    EXPECT_FALSE(kbs_inject_is_key(moveToOrigin));
    EXPECT_FALSE(kbs_inject_is_key(oddUnit));
    kbs_core_inject(core.get(), key);
    kbs_core_key(core.get(), &kOps, 0, 0x10, 0);
    kbs_core_inject(core.get(), mouse);
    std::vector<Line> want = {{1, 0, 0x2A, 2}, {0, 0, 0x10, 0}, {1, 1, 0, 1}};
    EXPECT_EQ(drain(), want);
}

TEST_F(SieveCoreTest, LogReadsPartiallyAndCountsWhatAFullLogDropped) {
    for (uint32_t i = 0; i < KBS_LOG_CAPACITY + 3; ++i)
        kbs_core_key(core.get(), &kOps, 0, uint16_t(1 + i % 200), 0);
    EXPECT_EQ(core->logLost, 3u);
    uint8_t two[2 * KBS_LOG_ENTRY_SIZE];
    ASSERT_EQ(kbs_core_read_log(core.get(), two, 2, 0), 2u);
    EXPECT_EQ(two[4], 4);  // the oldest three went
    ASSERT_EQ(kbs_core_read_log(core.get(), two, 2, 1), 2u);
    EXPECT_EQ(core->logCount, KBS_LOG_CAPACITY - 2u);
    ASSERT_EQ(kbs_core_read_log(core.get(), two, 1, 0), 1u);
    EXPECT_EQ(two[4], 6);
    EXPECT_EQ(drain().size(), KBS_LOG_CAPACITY - 2u);
    EXPECT_EQ(core->logLost, 0u);
}

// The relay's copy holds what reached the system since it started, whatever reads or
// resets the log, and drops its oldest entries when nobody takes them.
TEST_F(SieveCoreTest, RelayCopiesTheLogFromItsStartUntilItsStop) {
    uint8_t out[4 * KBS_LOG_ENTRY_SIZE];
    kbs_core_key(core.get(), &kOps, 0, 0x10, 0);
    kbs_core_relay_start(core.get());
    kbs_core_key(core.get(), &kOps, 0, 0x11, 0);
    uint8_t mouse[KBS_INJECT_SIZE] = {0, 0, 1, 0};
    kbs_core_inject(core.get(), mouse);
    EXPECT_EQ(drain().size(), 3u);
    kbs_core_reset(core.get(), &kOps);
    ASSERT_EQ(kbs_core_relay_take(core.get(), out, 4), 2u);
    EXPECT_EQ(out[4], 0x11);
    EXPECT_EQ(out[KBS_LOG_ENTRY_SIZE + 1], KBS_KIND_MOUSE);
    EXPECT_EQ(kbs_core_relay_take(core.get(), out, 4), 0u);
    for (uint32_t i = 0; i < KBS_RELAY_CAPACITY + 2; ++i) kbs_core_key(core.get(), &kOps, 0, uint16_t(1 + i % 200), 0);
    EXPECT_EQ(core->relayLost, 2u);
    kbs_core_relay_stop(core.get());
    kbs_core_key(core.get(), &kOps, 0, 0x12, 0);
    ASSERT_EQ(kbs_core_relay_take(core.get(), out, 1), 1u);
    EXPECT_EQ(out[4], 3);  // the oldest two went; nothing after the stop came
    EXPECT_EQ(core->relayCount, KBS_RELAY_CAPACITY - 1u);
}

TEST_F(SieveCoreTest, ReportQueueIsFifoAndBounded) {
    uint8_t out[KBS_REPORT_SIZE];
    EXPECT_FALSE(kbs_core_pop_report(core.get(), out));
    uint8_t one[1] = {1};
    EXPECT_FALSE(kbs_core_push_report(core.get(), one, 1));
    uint8_t nine[9] = {};
    EXPECT_FALSE(kbs_core_push_report(core.get(), nine, 9));
    for (int i = 0; i < KBS_REPORT_QUEUE; ++i) {
        uint8_t r[2] = {uint8_t(i), 0x13};
        ASSERT_TRUE(kbs_core_push_report(core.get(), r, 2));
    }
    uint8_t r[2] = {0xFF, 0xFF};
    EXPECT_FALSE(kbs_core_push_report(core.get(), r, 2));
    for (int i = 0; i < KBS_REPORT_QUEUE; ++i) {
        ASSERT_TRUE(kbs_core_pop_report(core.get(), out));
        EXPECT_EQ(out[0], i);
        EXPECT_EQ(out[1], 0x13);
        EXPECT_EQ(out[2], 0);
    }
    EXPECT_FALSE(kbs_core_pop_report(core.get(), out));
}

}  // namespace
