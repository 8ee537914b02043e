#include "key_functions.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace kb {
namespace {

// An engine whose active copy the tests fill directly.
struct ActiveEngine {
    Engine engine;
    ActiveEngine() { engine.active = std::make_unique<ActiveCopy>(); }
    void set(int slot, std::uint16_t type, std::uint32_t param) {
        engine.active->record.setEntry(slot, {type, 0, param});
    }
    // Appends a UTF-16LE text with terminator to the pool; returns its offset.
    std::uint32_t addText(std::u16string_view text) {
        auto& pool = engine.active->pool;
        const auto offset = static_cast<std::uint32_t>(pool.size());
        for (char16_t c : text) {
            pool.push_back(static_cast<std::uint8_t>(c & 0xFF));
            pool.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        pool.push_back(0);
        pool.push_back(0);
        return offset;
    }
};

// Records what was done and whether the engine lock was held at the time
// (probed from another thread, since the lock is re-entrant).
class RecordingActions : public KeyActions {
public:
    explicit RecordingActions(Engine& e) : engine_(e) {}
    std::vector<std::string> calls;

    void sendKey(std::uint16_t code, std::uint16_t dir) override {
        note("key " + std::to_string(code) + (dir ? " up" : " down"), true);
    }
    void runAction(int code, const std::u16string& text) override {
        note("action " + std::to_string(code) + " " + std::string(text.begin(), text.end()), false);
    }
    void enqueueMacro(std::uint16_t id, int slot) override {
        note("play " + std::to_string(id) + " from " + std::to_string(slot), true);
    }
    void stopPlayback() override { note("stop", false); }
    void keyReleased(int slot) override { note("up " + std::to_string(slot), false); }
    void wakePlayback() override {
        EXPECT_FALSE(lockHeldElsewhere()) << "wake";
        ++wakes;
    }
    int wakes = 0;

private:
    bool lockHeldElsewhere() {
        bool free = false;
        std::thread probe([&] {
            if (engine_.lock().try_lock()) {
                free = true;
                engine_.lock().unlock();
            }
        });
        probe.join();
        return !free;
    }
    void note(const std::string& what, bool expectLocked) {
        EXPECT_EQ(lockHeldElsewhere(), expectLocked) << what;
        calls.push_back(what);
    }
    Engine& engine_;
};

using Strings = std::vector<std::string>;

TEST(KeyFunctions, EachTypeDoesItsOwnThing) {
    ActiveEngine a;
    RecordingActions act(a.engine);
    a.addText(u"x");
    const std::uint32_t path = a.addText(u"C:\\app.exe");
    const std::uint32_t text = a.addText(u"hello");
    a.set(10, 0, 0);
    a.set(11, 1, 0);
    a.set(12, 2, 0x01C);
    a.set(13, 3, path);
    a.set(14, 6, text | 1);  // bit 0 is not part of the offset
    a.set(15, 4, 0xABCD0007);
    a.set(16, 5, 0);
    a.set(17, 9, 0);
    for (int slot = 10; slot <= 17; ++slot) carryOutKeyFunction(a.engine, act, slot, false);
    EXPECT_EQ(act.calls, (Strings{"action 642 C:\\app.exe", "action 657 hello", "play 7 from 15", "stop"}));
}

// Woken while the lock is still held, the playback thread would find it
// taken and wait before the first step.
TEST(KeyFunctions, PlaybackIsWokenForARequestOnceTheLockIsFree) {
    ActiveEngine a;
    RecordingActions act(a.engine);
    a.set(15, 4, 7);
    a.set(16, 5, 0);
    carryOutKeyFunction(a.engine, act, 15, false);
    carryOutKeyFunction(a.engine, act, 16, false);
    EXPECT_EQ(act.calls, (Strings{"play 7 from 15", "stop"}));
    EXPECT_EQ(act.wakes, 1);
}

TEST(KeyFunctions, AnotherKeyIsSentOnlyForMacroKeys) {
    ActiveEngine a;
    RecordingActions act(a.engine);
    a.set(258, 2, 0x01C);
    carryOutKeyFunction(a.engine, act, 258, true);
    EXPECT_EQ(act.calls, (Strings{"key 28 down"}));
}

TEST(KeyFunctions, NothingHappensWithoutAnActiveCopyOrAValidText) {
    ActiveEngine a;
    RecordingActions act(a.engine);
    a.set(1, 6, 0x200);  // outside the pool
    carryOutKeyFunction(a.engine, act, 1, false);
    a.set(2, 4, 1);
    a.engine.active.reset();
    carryOutKeyFunction(a.engine, act, 2, false);
    EXPECT_TRUE(act.calls.empty());
}

class FakeUi : public MacroKeyUi, public BankStatusSink {
public:
    bool editing = false;
    int refusals = 0;
    std::vector<int> banks;
    std::vector<std::array<std::uint8_t, 2>> sent;
    bool editingMacroKey() override { return editing; }
    void refuseBankSwitch() override { ++refusals; }
    void bankChanged(int bank) override { banks.push_back(bank); }
    void sendBankStatus(const std::array<std::uint8_t, 2>& s) override { sent.push_back(s); }
};

struct MacroKeyRig {
    ActiveEngine a;
    RecordingActions act{a.engine};
    FakeUi ui;
    MacroKeys keys{a.engine, act, ui, ui};
    void report(std::uint16_t code) { keys.onReport(1, kMacroKeyReadTag, code); }
};

TEST(MacroKeys, KeysUseTheSlotOfTheLiveBank) {
    MacroKeyRig r;
    r.a.set(258, 4, 3);  // bank 0, key 3
    r.a.set(263, 4, 8);  // bank 1, key 3
    r.report(0x1304);
    r.report(kReportBankKey);
    r.report(0x1304);
    EXPECT_EQ(r.act.calls, (Strings{"play 3 from 258", "play 8 from 263"}));
    EXPECT_EQ(r.keys.bank(), 1);
}

TEST(MacroKeys, AnotherKeyIsReleasedByTheAllUpReportEvenAcrossABankSwitch) {
    MacroKeyRig r;
    r.a.set(256, 2, 0x02A);
    r.a.set(261, 2, 0x01E);
    r.report(0x1302);
    r.report(kReportBankKey);
    r.report(kReportAllUp);
    r.report(kReportAllUp);  // nothing held any more
    EXPECT_EQ(r.act.calls, (Strings{"key 42 down", "key 42 up", "up 256"}));
}

TEST(MacroKeys, TheAllUpReportReleasesEveryHeldSlotForPlaybackOnceAndWithoutTheEngineLock) {
    MacroKeyRig r;
    r.a.set(257, 4, 2);  // bank 0, key 2: a macro
    r.a.set(264, 4, 5);  // bank 1, key 4
    r.a.set(260, 1, 0);  // bank 0, key 5: no function, its release is still news
    r.report(0x1303);
    r.report(kReportBankKey);
    r.report(0x1305);
    r.report(kReportBankKey);
    r.report(0x1306);
    r.report(kReportAllUp);
    r.report(kReportAllUp);
    EXPECT_EQ(r.act.calls, (Strings{"play 2 from 257", "play 5 from 264", "up 257", "up 260", "up 264"}));
}

TEST(MacroKeys, BankKeyFlipsTheStatusAndTellsTheWindow) {
    MacroKeyRig r;
    r.keys.sendStartStatus();
    r.report(kReportBankKey);
    r.report(kReportBankKey);
    using S = std::array<std::uint8_t, 2>;
    EXPECT_EQ(r.ui.sent, (std::vector<S>{{5, 2}, {5, 3}, {5, 2}}));
    EXPECT_EQ(r.ui.banks, (std::vector<int>{1, 0}));
    r.report(kReportBankKey);
    r.keys.resendStatus();
    EXPECT_EQ(r.ui.sent.back(), (S{5, 3}));
    r.keys.sendExitStatus();
    EXPECT_EQ(r.ui.sent.back(), (S{5, 0}));
}

TEST(MacroKeys, BankStaysWhileAMacroKeyIsBeingEdited) {
    MacroKeyRig r;
    r.ui.editing = true;
    r.report(kReportBankKey);
    EXPECT_EQ(r.ui.refusals, 1);
    EXPECT_EQ(r.keys.bank(), 0);
    EXPECT_TRUE(r.ui.sent.empty());
    EXPECT_TRUE(r.ui.banks.empty());
}

TEST(MacroKeys, OtherCompletionsAndCodesAreIgnored) {
    MacroKeyRig r;
    r.a.set(256, 4, 1);
    r.keys.onReport(0, kMacroKeyReadTag, 0x1302);  // no report arrived
    r.keys.onReport(1, kBankStatusTag, 0x1302);    // the status write's completion
    r.report(0x1307);                               // unknown code
    r.report(0x2302);
    EXPECT_TRUE(r.act.calls.empty());
    EXPECT_TRUE(r.ui.sent.empty());
}

TEST(MacroKeys, Captions) {
    EXPECT_EQ(std::u16string(MacroKeys::caption(0, 1).data()), u"A1");
    EXPECT_EQ(std::u16string(MacroKeys::caption(1, 5).data()), u"B5");
}

}  // namespace
}  // namespace kb
