#include "layer_engine.h"

#include "key_tables.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace kb {
namespace {

constexpr WinMakeCode kJ = 0x024, kA = 0x01E, kF = 0x021, kD = 0x020, kK = 0x025, kCaps = 0x03A, kTab = 0x00F,
                      kShift = 0x02A, kLeft = 0x14B, kRight = 0x14D;

int keyOf(WinMakeCode code) { return ordinaryKeyOfSlot(slotOf(kDeviceKeyboard, code)); }
int slotKey(WinMakeCode code) { return slotOf(kDeviceKeyboard, code); }

// The driver and the system around the layer state: physical keys go
// through the installed records; what reaches the system is kept as the set
// of keys down and an ordered log.
struct World final : LayerPort {
    LayerTables tables;
    LayerState state{*this};
    std::vector<std::uint8_t> keyboard, keypad;
    std::set<WinMakeCode> down;
    std::vector<std::string> log;
    int keyboardSends = 0, keypadSends = 0;
    std::vector<int> layers;  // announced
    std::multiset<int> running;  // slots carried out and not released yet
    bool watching = false;
    std::uint64_t now = 0;

    void load(const ProfileRecord& base, const ProfileExtension& ext) {
        std::array<std::int64_t, kKeyboardRecords> kbEvents{};
        std::array<std::int64_t, kKeypadRecords> kpEvents{};
        for (std::size_t i = 0; i < kbEvents.size(); ++i) kbEvents[i] = static_cast<std::int64_t>(i + 1);
        for (std::size_t i = 0; i < kpEvents.size(); ++i) kpEvents[i] = static_cast<std::int64_t>(1000 + i);
        tables.build(base, SlotTexts{}, ext, kbEvents, kpEvents);
        keyboard = tables.keyboard(0);
        keypad = tables.keypad(0);
        state.reset(&tables);
    }
    void key(WinMakeCode code, bool up) {
        const int k = keyOf(code);
        const std::uint8_t* r = keyboard.data() + static_cast<std::size_t>((up ? kKeyboardKeyCount : 0) + k) * kKeyRecordSize;
        if (r[KeyRecordField::kHandler] == 1) {
            // The driver signals the event the record names: it must be the key's own.
            const std::int64_t expected = (up ? kKeyboardKeyCount : 0) + k + 1;
            if (static_cast<std::int64_t>(readU32(r + KeyRecordField::kEvent)) != expected) {
                log.push_back("lost event");
                return;
            }
            up ? state.release(k, now) : state.press(k, now);
            return;
        }
        // The watch sees the key on its way, before the system does.
        if (!up && watching) (void)state.otherKeyPressed(now);
        const std::uint8_t action = r[KeyRecordField::kAction];
        if (action == kActionSwallow) return;
        const std::size_t at = action == kActionPass ? KeyRecordField::kScanCode : KeyRecordField::kTargetScanCode;
        const std::uint16_t flags = readU16(r + at + 2);
        output(static_cast<WinMakeCode>(readU16(r + at) | ((flags & 2) ? 0x100 : 0)), up);
    }
    void press(WinMakeCode code) { key(code, false); }
    void lift(WinMakeCode code) { key(code, true); }
    void output(WinMakeCode code, bool up) {
        char line[16];
        std::snprintf(line, sizeof line, "%s %X", up ? "up" : "down", code);
        log.emplace_back(line);
        if (up) down.erase(code);
        else down.insert(code);
    }
    void at(std::uint64_t t) {
        now = t;
        while (const auto d = state.nextDeadline()) {
            if (*d > t) break;
            state.expire(*d);
        }
    }

    void installTables(const std::vector<std::uint8_t>* kb, const std::vector<std::uint8_t>* kp) override {
        if (kb) keyboard = *kb, ++keyboardSends;
        if (kp) keypad = *kp, ++keypadSends;
    }
    void sendKey(WinMakeCode code, std::uint16_t direction) override { output(code, direction != 0); }
    bool isDown(WinMakeCode code) override { return down.count(code) != 0; }
    void carryOut(int slot, const LayerFunction&) override { running.insert(slot); }
    void keyReleased(int slot) override {
        if (const auto it = running.find(slot); it != running.end()) running.erase(it);
    }
    void layerChanged(int layer) override { layers.push_back(layer); }
    void watchOtherKeys(bool on) override { watching = on; }

    // Nothing down, nothing running, the base in force and in the driver.
    void expectSettled(const std::string& what) {
        EXPECT_TRUE(down.empty()) << what << ": " << (down.empty() ? 0 : *down.begin()) << " down";
        EXPECT_TRUE(running.empty()) << what;
        EXPECT_EQ(state.layer(), 0) << what;
        EXPECT_FALSE(state.anyHeld()) << what;
        EXPECT_EQ(keyboard, tables.keyboard(0)) << what;
        EXPECT_FALSE(watching) << what;
    }
};

ExtKey momentary(WinMakeCode code, int layer) {
    return {.slot = slotKey(code), .kind = ExtKeyKind::Layer, .layer = static_cast<std::uint8_t>(layer)};
}
ExtKey tapHold(WinMakeCode code, WinMakeCode hold, int holdLayer = 0, std::uint16_t term = 200) {
    return {.slot = slotKey(code), .kind = ExtKeyKind::TapHold, .tap = code, .hold = hold,
            .holdLayer = static_cast<std::uint8_t>(holdLayer), .termMs = term};
}
void sortKeys(ProfileExtension& ext) {
    std::sort(ext.keys.begin(), ext.keys.end(), [](const ExtKey& a, const ExtKey& b) { return a.slot < b.slot; });
}

// The functions a held key can have on the base and on a layer.
struct Function {
    const char* name;
    KeyEntry entry;
    bool transparent = false;
    std::optional<ExtKey> ext;
};
Function entry(const char* name, KeyEntry e) { return {name, e, false, std::nullopt}; }
Function extKey(const char* name, ExtKey k) { return {name, {}, false, k}; }
std::vector<Function> layerFunctions() {
    return {entry("default", {0, 0, 0}), entry("none", {1, 0, 0}), entry("left", {2, 0, kLeft}),
            entry("right", {2, 0, kRight}), entry("macro", {4, 0, 1}), {"transparent", {}, true, std::nullopt}};
}
std::vector<Function> baseFunctions() {
    std::vector<Function> all = layerFunctions();
    all.pop_back();
    all.push_back(extKey("tapHold", tapHold(kJ, kShift)));
    all.push_back(extKey("layerKey", momentary(kJ, 2)));
    return all;
}

TEST(LayerReleaseRule, NoKeyStaysDownForAnyPairOfFunctions) {
    for (const Function& onBase : baseFunctions()) {
        for (const Function& onLayer : layerFunctions()) {
            ProfileRecord base = buildDefaultProfile(0);
            ProfileExtension ext;
            ext.layers.resize(2);
            ext.keys.push_back(momentary(kCaps, 1));
            if (onBase.ext) ext.keys.push_back(*onBase.ext);
            else base.setEntry(slotKey(kJ), onBase.entry);
            if (!onLayer.transparent) ext.layers[0].keys[slotKey(kJ)] = {onLayer.entry, {}};
            sortKeys(ext);
            const std::string pair = std::string(onBase.name) + " -> " + onLayer.name;
            // J held while the layer comes, goes, or both.
            const std::vector<std::vector<std::pair<WinMakeCode, bool>>> orders = {
                {{kJ, false}, {kCaps, false}, {kJ, true}, {kCaps, true}},
                {{kCaps, false}, {kJ, false}, {kCaps, true}, {kJ, true}},
                {{kJ, false}, {kCaps, false}, {kCaps, true}, {kJ, true}},
                {{kCaps, false}, {kJ, false}, {kJ, true}, {kCaps, true}}};
            for (std::size_t o = 0; o < orders.size(); ++o) {
                World w;
                w.load(base, ext);
                for (const auto& [code, up] : orders[o]) {
                    w.at(w.now + 10);
                    w.key(code, up);
                }
                w.at(w.now + 2000);
                w.expectSettled(pair + ", order " + std::to_string(o));
            }
        }
    }
}

TEST(LayerReleaseRule, RandomSequencesLeaveNothingDown) {
    ProfileRecord base = buildDefaultProfile(0);
    base.setEntry(slotKey(kA), {2, 0, kRight});
    base.setEntry(slotKey(kK), {4, 0, 1});
    ProfileExtension ext;
    ext.layers.resize(2);
    ext.layers[0].keys[slotKey(kJ)] = {{2, 0, kLeft}, {}};
    ext.layers[0].keys[slotKey(kA)] = {{0, 0, 0}, {}};
    ext.layers[1].keys[slotKey(kK)] = {{2, 0, kA}, {}};
    ext.layers[1].keys[slotKey(kJ)] = {{1, 0, 0}, {}};
    ext.keys = {momentary(kCaps, 1), {.slot = slotKey(kTab), .kind = ExtKeyKind::Layer, .layer = 2, .mode = LayerMode::Toggle},
                tapHold(kF, kShift), tapHold(kD, 0, 2, 150)};
    sortKeys(ext);
    const std::vector<WinMakeCode> keys = {kJ, kA, kK, kCaps, kTab, kF, kD};
    std::mt19937 random(22);
    for (int round = 0; round < 300; ++round) {
        World w;
        w.load(base, ext);
        std::set<WinMakeCode> held;
        for (int step = 0; step < 12; ++step) {
            w.at(w.now + random() % 250);
            const WinMakeCode code = keys[random() % keys.size()];
            const bool up = held.count(code) != 0;
            w.key(code, up);
            up ? (void)held.erase(code) : (void)held.insert(code);
        }
        for (WinMakeCode code : held) {
            w.at(w.now + random() % 250);
            w.lift(code);
        }
        // Tab may have left its layer on: a toggle is on until pressed again.
        if (w.state.layer() == 2) {
            w.press(kTab);
            w.lift(kTab);
        }
        w.at(w.now + 2000);
        w.expectSettled("round " + std::to_string(round));
    }
}

struct DualRole : ::testing::Test {
    World w;
    DualRole() {
        ProfileRecord base = buildDefaultProfile(0);
        ProfileExtension ext;
        ext.layers.resize(1);
        ext.layers[0].keys[slotKey(kJ)] = {{2, 0, kLeft}, {}};
        ext.keys = {tapHold(kF, kShift), tapHold(kD, 0, 1, 300)};
        sortKeys(ext);
        w.load(base, ext);
    }
    using Log = std::vector<std::string>;
};

TEST_F(DualRole, TapWithinTermHoldPastIt) {
    w.press(kF);
    EXPECT_TRUE(w.watching);
    EXPECT_EQ(w.state.nextDeadline(), 200u);
    w.at(199);
    w.lift(kF);
    EXPECT_EQ(w.log, (Log{"down 21", "up 21"}));
    EXPECT_FALSE(w.watching);

    w.log.clear();
    w.at(1000);
    w.press(kF);
    w.at(1199);
    EXPECT_TRUE(w.log.empty());
    w.at(1200);
    EXPECT_EQ(w.log, (Log{"down 2A"}));
    EXPECT_FALSE(w.watching);
    w.at(5000);
    w.lift(kF);
    EXPECT_EQ(w.log, (Log{"down 2A", "up 2A"}));
    w.expectSettled("hold");
}

TEST_F(DualRole, AnotherKeyMakesAHoldInEitherReleaseOrder) {
    w.press(kF);
    w.at(50);
    w.press(kA);
    w.lift(kA);
    w.lift(kF);
    EXPECT_EQ(w.log, (Log{"down 2A", "down 1E", "up 1E", "up 2A"}));

    w.log.clear();
    w.press(kF);
    w.press(kA);
    w.lift(kF);
    w.lift(kA);
    EXPECT_EQ(w.log, (Log{"down 2A", "down 1E", "up 2A", "up 1E"}));
    w.at(1000);
    w.expectSettled("another key");
}

TEST_F(DualRole, HoldingALayer) {
    // The layer is in force while D is undecided: J decides the hold and goes out as Left.
    w.press(kD);
    EXPECT_EQ(w.keyboardSends, 1);
    w.at(100);
    w.press(kJ);
    w.lift(kJ);
    EXPECT_EQ(w.layers, std::vector<int>{1});
    w.lift(kD);
    EXPECT_EQ(w.log, (Log{"down 14B", "up 14B"}));
    EXPECT_EQ(w.keyboardSends, 2);
    w.expectSettled("hold layer");

    // A tap takes the layer back without a word and types D.
    w.log.clear();
    w.layers.clear();
    w.at(1000);
    w.press(kD);
    w.at(1100);
    w.lift(kD);
    EXPECT_EQ(w.log, (Log{"down 20", "up 20"}));
    EXPECT_TRUE(w.layers.empty());
    w.expectSettled("tap");
}

TEST(LayerChange, SendsOnlyTheTablesThatDifferAndReturnsToBase) {
    ProfileRecord base = buildDefaultProfile(0);
    ProfileExtension ext;
    ext.layers.resize(2);
    ext.layers[0].keys[slotKey(kJ)] = {{2, 0, kLeft}, {}};
    ext.layers[1].keys[slotOf(kDeviceKeypad, 0x04F)] = {{1, 0, 0}, {}};
    ext.keys = {momentary(kCaps, 1), {.slot = slotKey(kTab), .kind = ExtKeyKind::Layer, .layer = 2, .mode = LayerMode::Toggle},
                tapHold(kF, kShift)};
    sortKeys(ext);
    World w;
    w.load(base, ext);
    w.press(kCaps);
    EXPECT_EQ(w.keyboardSends, 1);
    EXPECT_EQ(w.keypadSends, 0);
    w.lift(kCaps);
    EXPECT_EQ(w.keyboardSends, 2);
    w.press(kTab);
    w.lift(kTab);
    EXPECT_EQ(w.keyboardSends, 2);  // the keypad alone differs on layer 2
    EXPECT_EQ(w.keypadSends, 1);
    EXPECT_EQ(w.state.layer(), 2);
    EXPECT_EQ(w.layers, (std::vector<int>{1, 0, 2}));

    // A hold down and layer 1 over toggled layer 2; then the session locks.
    w.press(kF);
    w.at(300);
    w.press(kCaps);
    w.press(kJ);
    EXPECT_EQ(w.down, (std::set<WinMakeCode>{kShift, kLeft}));
    const int sends = w.keyboardSends + w.keypadSends;
    w.state.returnToBase(false);
    EXPECT_TRUE(w.down.empty());
    EXPECT_EQ(w.state.layer(), 0);
    EXPECT_EQ(w.keyboardSends + w.keypadSends, sends);  // the caller withdraws the tables
    w.keyboard = w.tables.keyboard(0);
    w.keypad = w.tables.keypad(0);
    // The keys' releases after the return leave nothing behind either.
    w.lift(kJ);
    w.lift(kCaps);
    w.lift(kF);
    w.expectSettled("after the return");
}

}  // namespace
}  // namespace kb
