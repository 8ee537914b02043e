// Layers through the activation path: the recording device, and key actions
// standing in for the system, which has down what was injected.
#include "layer_runner.h"

#include "fake_window_sink.h"
#include "key_tables.h"
#include "profile_file.h"

#include <gtest/gtest.h>

#include <set>

namespace kb {
namespace {

using testing::DeviceCall;

constexpr WinMakeCode kA = 0x01E, kJ = 0x024, kK = 0x025, kCaps = 0x03A, kTab = 0x00F, kShift = 0x02A,
                      kLeft = 0x14B;

int slotKey(WinMakeCode code) { return slotOf(kDeviceKeyboard, code); }
int keyOf(WinMakeCode code) { return ordinaryKeyOfSlot(slotKey(code)); }
// A keypad key that passes by default (after the six it blocks).
const int kPadSlot = slotOf(kDeviceKeypad, keypadKeys()[kKeypadFunctionKeyCount]);

struct SystemKeys final : KeyActions, LayerInput {
    std::set<WinMakeCode> down;
    std::vector<std::u16string> typed;
    bool watching = false;
    void sendKey(std::uint16_t code, std::uint16_t direction) override {
        if (direction != 0) down.erase(code);
        else down.insert(code);
    }
    void runAction(int, const std::u16string& text) override { typed.push_back(text); }
    void enqueueMacro(std::uint16_t, int) override {}
    void stopPlayback() override {}
    void keyReleased(int) override {}
    bool isDown(WinMakeCode code) override { return down.count(code) != 0; }
    void watchOtherKeys(bool on) override { watching = on; }
};

struct Layers : ::testing::Test, testing::ActivationRig {
    SystemKeys keys;
    testing::NoEditingDialogs dialogs;

    // Entry 0: Caps holds layer 1 (A is Left, K types "hi"), Tab toggles
    // layer 2 (a keypad key does nothing), J taps J and holds Shift.
    // Entry 1: no layers; K types "base".
    void SetUp() override {
        ProfileRecord record = buildDefaultProfile(0);
        SlotTexts texts;
        ProfileExtension ext;
        ext.layers.resize(2);
        ext.layers[0].keys[slotKey(kA)] = {{2, 0, kLeft}, {}};
        ext.layers[0].keys[slotKey(kK)] = {{6, 0, 0}, u"hi"};
        ext.layers[1].keys[kPadSlot] = {{1, 0, 0}, {}};
        ext.keys = {{.slot = slotKey(kTab), .kind = ExtKeyKind::Layer, .layer = 2, .mode = LayerMode::Toggle},
                    {.slot = slotKey(kJ), .kind = ExtKeyKind::TapHold, .tap = kJ, .hold = kShift},
                    {.slot = slotKey(kCaps), .kind = ExtKeyKind::Layer, .layer = 1}};
        std::sort(ext.keys.begin(), ext.keys.end(), [](const ExtKey& a, const ExtKey& b) { return a.slot < b.slot; });
        ASSERT_TRUE(writeFileReplacing(dir / "layered.px3", buildProfileFile(record, texts, {}, 0, &ext)));
        ProfileRecord plain = buildDefaultProfile(0);
        plain.setEntry(slotKey(kK), {6, 0, 0});
        texts.set(slotKey(kK), u"base");
        ASSERT_TRUE(writeFileReplacing(dir / "plain.px3", buildProfileFile(plain, texts, {}, 0)));
        list.setProfilePath(0, (dir / "layered.px3").u16string());
        list.setProfilePath(1, (dir / "plain.px3").u16string());
        list.setProfileCount(2);
        list.setActiveIndex(0);
        activation.layers().useActions(&keys);
        activation.layers().useInput(&keys);
        ASSERT_TRUE(activation.activateListed().applied);
        device.calls.clear();
    }
    LayerRunner& runner() { return activation.layers(); }
    void press(WinMakeCode code) { runner().press(keyOf(code), now); }
    void release(WinMakeCode code) { runner().release(keyOf(code), now); }
    [[nodiscard]] std::vector<std::size_t> installedSizes() const {
        std::vector<std::size_t> sizes;
        for (const auto& c : device.calls) {
            if (c.kind == DeviceCall::Install) sizes.push_back(c.table.size());
        }
        return sizes;
    }
    // The action of A's press record in the keyboard table last installed.
    [[nodiscard]] int lastActionOfA() const {
        for (auto it = device.calls.rbegin(); it != device.calls.rend(); ++it) {
            if (it->kind != DeviceCall::Install || it->table.size() != kKeyboardTableSize) continue;
            return it->table[static_cast<std::size_t>(keyOf(kA)) * kKeyRecordSize + KeyRecordField::kAction];
        }
        return -1;
    }
    // Layer 1 in force with Left put down by the driver, Shift held by J.
    void holdEverything() {
        press(kCaps);
        keys.down.insert(kLeft);
        press(kJ);
        ASSERT_TRUE(keys.watching);
        now += 300;
        runner().expire(now);
        ASSERT_EQ(keys.down, (std::set<WinMakeCode>{kShift, kLeft}));
        ASSERT_EQ(runner().layer(), 1);
    }
    void expectBaseWithNothingDown(const char* way) {
        EXPECT_TRUE(keys.down.empty()) << way;
        EXPECT_FALSE(keys.watching) << way;
        EXPECT_EQ(runner().layer(), 0) << way;
        EXPECT_EQ(sink.layers.back(), 0) << way;
    }
    std::uint64_t now = 1000;
};

TEST_F(Layers, ALayerChangeSendsOnlyTheTablesThatDiffer) {
    press(kCaps);
    EXPECT_EQ(installedSizes(), std::vector<std::size_t>{kKeyboardTableSize});
    EXPECT_EQ(lastActionOfA(), kActionReplace);
    release(kCaps);
    EXPECT_EQ(installedSizes(), (std::vector<std::size_t>{kKeyboardTableSize, kKeyboardTableSize}));
    EXPECT_EQ(lastActionOfA(), kActionPass);

    // Layer 2 changes only a keypad key: both keypad models, no keyboard.
    device.calls.clear();
    press(kTab);
    release(kTab);
    EXPECT_EQ(installedSizes(), (std::vector<std::size_t>{kKeypadTableSize, kKeypadTableSize}));
    press(kTab);
    EXPECT_EQ(sink.layers, (std::vector<int>{1, 0, 2, 0}));

    // A full send (the driver came back) gives what the layer in force wants.
    press(kCaps);
    device.calls.clear();
    ASSERT_TRUE(activation.resend());
    EXPECT_EQ(lastActionOfA(), kActionReplace);
}

TEST_F(Layers, KeysCarryOutTheFunctionOfTheLayerInForce) {
    press(kK);
    release(kK);
    EXPECT_TRUE(keys.typed.empty());
    press(kCaps);
    press(kK);
    EXPECT_EQ(keys.typed, std::vector<std::u16string>{u"hi"});
    // Released after the layer went: the press's function still ends it.
    release(kCaps);
    release(kK);
    // A profile without layers carries out its own entries, as before.
    ASSERT_EQ(activation.switchTo(1, dialogs, nullptr), SwitchResult::Switched);
    EXPECT_FALSE(runner().layered());
    press(kK);
    EXPECT_EQ(keys.typed, (std::vector<std::u16string>{u"hi", u"base"}));
}

TEST_F(Layers, SwitchSuspendAndExitReturnToTheBaseWithNothingDown) {
    holdEverything();
    ASSERT_EQ(activation.switchTo(0, dialogs, nullptr), SwitchResult::Switched);
    expectBaseWithNothingDown("switch");

    holdEverything();
    device.calls.clear();
    activation.suspend();
    expectBaseWithNothingDown("suspend");
    // Nothing but the withdrawals while suspended, the base's tables on resume.
    press(kCaps);
    release(kCaps);
    for (const auto& c : device.calls) EXPECT_NE(c.kind, DeviceCall::Install);
    activation.resume();
    EXPECT_EQ(lastActionOfA(), kActionPass);

    holdEverything();
    activation.withdraw();
    expectBaseWithNothingDown("exit");
}

}  // namespace
}  // namespace kb
