#include "key_tables.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

using testing::DeviceCall;
using testing::RecordingDevice;

struct Rec {
    std::uint8_t handler, action;
    std::uint16_t scan, flags, targetScan, targetFlags;
    std::int64_t event;
};

Rec recordAt(const std::uint8_t* table, int index) {
    const std::uint8_t* r = table + index * kKeyRecordSize;
    const std::uint64_t ev = readU32(r + 16) | (std::uint64_t{readU32(r + 20)} << 32);
    return {r[0], r[1], readU16(r + 4), readU16(r + 6), readU16(r + 8), readU16(r + 10),
            static_cast<std::int64_t>(ev)};
}

struct KeyTables : ::testing::Test {
    ProfileModel model;
    Engine engine;
    RecordingDevice device;
    void SetUp() override {
        model.record = buildDefaultProfile(0);
        for (int i = 0; i < kKeyboardRecords; ++i) engine.keyboardEvents[i] = 1000 + i;
        for (int i = 0; i < kKeypadRecords; ++i) engine.keypadEvents[i] = -(1 + i);
    }
    Rec keyboard(int i) const { return recordAt(engine.keyboardTable.data(), i); }
    Rec keypad(int i) const { return recordAt(engine.keypadTable.data(), i); }
};

TEST_F(KeyTables, DefaultProfilePassesKeysAndBlocksKeypadFunctionKeys) {
    ASSERT_EQ(applyProfile(model, engine, device), 1);
    for (int i = 0; i < kKeyboardRecords; ++i) {
        EXPECT_EQ(keyboard(i).handler, 0);
        EXPECT_EQ(keyboard(i).action, kActionPass) << i;
    }
    for (int i = 0; i < kKeypadRecords; ++i) {
        const int key = i % kKeypadKeyCount;
        EXPECT_EQ(keypad(i).action, key < 6 ? kActionSwallow : kActionPass) << i;
    }
    const Rec pause = keyboard(65);
    EXPECT_EQ(pause.scan, 0x1D);
    EXPECT_EQ(pause.flags, 4);
    EXPECT_EQ(keyboard(65 + 87).flags, 5);
    // Right Ctrl carries the E0 flag; release records add the break bit.
    const int rctrl = 80;
    ASSERT_EQ(keyboardKeys()[rctrl], 0x11D);
    EXPECT_EQ(keyboard(rctrl).flags, 2);
    EXPECT_EQ(keyboard(rctrl + 87).flags, 3);
}

TEST_F(KeyTables, FunctionsMapToHandlersActionsTargetsAndEvents) {
    model.record->setEntry(slotOf(0, 0x01E), {2, 0, 0x145});  // A -> Num Lock
    model.record->setEntry(slotOf(0, 0x030), {1, 0, 0});      // B blocked
    model.record->setEntry(slotOf(0, 0x02E), {4, 0, 7});      // C plays a macro
    model.record->setEntry(slotOf(1, 0x04F), {5, 0, 0});      // keypad Num 1 stops playback
    ASSERT_EQ(applyProfile(model, engine, device), 1);
    const Rec aPress = keyboard(0), aRelease = keyboard(87);
    EXPECT_EQ(aPress.action, kActionReplace);
    EXPECT_EQ(aPress.targetScan, 0x45);
    EXPECT_EQ(aPress.targetFlags, 0);
    EXPECT_EQ(aRelease.flags, 1);
    EXPECT_EQ(aRelease.targetFlags, 1);
    EXPECT_EQ(keyboard(1).action, kActionSwallow);
    EXPECT_EQ(keyboard(1).handler, 0);
    const Rec cPress = keyboard(2), cRelease = keyboard(89);
    EXPECT_EQ(cPress.handler, 1);
    EXPECT_EQ(cPress.action, kActionSwallow);
    EXPECT_EQ(cPress.event, 1002);
    EXPECT_EQ(cRelease.event, 1089);
    // Negative handle values are sign-extended.
    EXPECT_EQ(keypad(6).handler, 1);
    EXPECT_EQ(keypad(6).event, -7);
    EXPECT_EQ(keypad(6 + 23).event, -30);
}

TEST_F(KeyTables, ApplySendsSelectInstallSequence) {
    device.refuse = {kKeypadSelectors[0]};
    engine.keyboardLatches[3] = 1;
    engine.keypadLatches[2] = 1;
    ASSERT_EQ(applyProfile(model, engine, device), 1);
    ASSERT_EQ(device.calls.size(), 5u);
    EXPECT_EQ(device.calls[0].kind, DeviceCall::Select);
    EXPECT_EQ(device.calls[0].selector, kKeyboardSelector);
    EXPECT_EQ(device.calls[1].kind, DeviceCall::Install);
    EXPECT_EQ(device.calls[1].table.size(), 4176u);
    EXPECT_TRUE(std::equal(engine.keyboardTable.begin(), engine.keyboardTable.end(), device.calls[1].table.begin()));
    EXPECT_EQ(device.calls[2].selector, kKeypadSelectors[0]);  // refused: no table for it
    EXPECT_EQ(device.calls[3].kind, DeviceCall::Select);
    EXPECT_EQ(device.calls[3].selector, kKeypadSelectors[1]);
    EXPECT_EQ(device.calls[4].kind, DeviceCall::Install);
    EXPECT_EQ(device.calls[4].table.size(), 1104u);
    EXPECT_EQ(engine.keyboardLatches[3].load(), 0u);
    EXPECT_EQ(engine.keypadLatches[2].load(), 0u);
    const auto selector = kKeypadSelectors[1].bytes();
    EXPECT_EQ(readU32(&selector[0]), 2u);
    EXPECT_EQ(readU32(&selector[4]), 0x1C4Fu);
    EXPECT_EQ(readU32(&selector[8]), 0x16u);
    EXPECT_EQ(readU32(&selector[12]), 0u);

    device.calls.clear();
    device.refuse.clear();
    withdrawKeyboardTable(device);
    withdrawKeypadTables(device);
    ASSERT_EQ(device.calls.size(), 6u);
    for (int i = 0; i < 6; i += 2) {
        EXPECT_EQ(device.calls[i].kind, DeviceCall::Select);
        EXPECT_EQ(device.calls[i + 1].kind, DeviceCall::Remove);
    }
}

TEST_F(KeyTables, ClosedDeviceStillBuildsTheActiveCopy) {
    device.open = false;
    model.record->setEntry(12, {6, 0, 0});
    model.texts.set(12, u"typed");
    model.macros.resize(3);
    ASSERT_EQ(applyProfile(model, engine, device), 1);
    EXPECT_TRUE(device.calls.empty());
    ASSERT_TRUE(engine.active);
    EXPECT_EQ(engine.active->playTable.size(), 3u);
    EXPECT_EQ(poolText(engine.active->pool, engine.active->record.entry(12).parameter), u"typed");
    EXPECT_EQ(engine.active->record.macroCount(), 3);
    EXPECT_EQ(engine.active->record.poolSize(), 12u);
    withdrawKeyboardTable(device);
    sendKeypadTables(engine, device);
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(KeyTables, FailedApplyLeavesNoActiveCopyAndSendsNothing) {
    ASSERT_EQ(applyProfile(model, engine, device), 1);
    device.calls.clear();
    model.record.reset();
    EXPECT_EQ(applyProfile(model, engine, device), 0);
    EXPECT_FALSE(engine.active);
    sendKeyboardTable(engine, device);
    EXPECT_TRUE(device.calls.empty());
}

}  // namespace
}  // namespace kb
