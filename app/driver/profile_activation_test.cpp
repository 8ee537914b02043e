#include "profile_activation.h"

#include "fake_window_sink.h"
#include "profile_file.h"
#include "profile_trust.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

using testing::DeviceCall;

constexpr int kF1 = 0x3B;

struct Activation : ::testing::Test, testing::ActivationRig {
    testing::FakePlayback playback;
    testing::NoEditingDialogs dialogs;

    // Entry 0 passes every key; entry 1 starts a program from F1.
    void SetUp() override {
        activation.usePlayback(&playback);
        ASSERT_EQ(writeDefaultProfileFile(dir / "plain.px3", 0), 1);
        ASSERT_TRUE(testing::writeProfileStarting(dir / "tools.px3", u"C:\\Tools\\run.exe"));
        list.setProfilePath(0, (dir / "plain.px3").u16string());
        list.setProfilePath(1, (dir / "tools.px3").u16string());
        list.setProfileCount(2);
        list.setActiveIndex(0);
        ASSERT_FALSE(activation.activateListed().busy);
        device.calls.clear();
    }
    [[nodiscard]] int count(DeviceCall::Kind kind) const {
        int n = 0;
        for (const auto& c : device.calls) n += c.kind == kind ? 1 : 0;
        return n;
    }
    // The keyboard table the driver was last given.
    [[nodiscard]] std::vector<std::uint8_t> lastKeyboardTable() const {
        for (auto it = device.calls.rbegin(); it != device.calls.rend(); ++it) {
            if (it->kind == DeviceCall::Install && it->table.size() == kKeyboardTableSize) return it->table;
        }
        return {};
    }
    [[nodiscard]] std::uint16_t activeF1() {
        std::lock_guard guard(engine.lock());
        return engine.active ? engine.active->record.entry(kF1).type : 0xFFFF;
    }
    [[nodiscard]] std::vector<std::uint8_t> engineKeyboardTable() {
        std::lock_guard guard(engine.lock());
        return {engine.keyboardTable.begin(), engine.keyboardTable.end()};
    }
};

TEST_F(Activation, SwitchLoadsSendsAndTellsTheWindow) {
    playback.playing = true;
    ASSERT_EQ(activation.switchTo(1, dialogs, nullptr), SwitchResult::Switched);
    EXPECT_EQ(playback.stops, 1);
    EXPECT_EQ(list.activeIndex(), 1);
    EXPECT_EQ(activeF1(), 3);
    // One keyboard table and one per keypad model, the keyboard's as built now.
    EXPECT_EQ(count(DeviceCall::Install), 3);
    EXPECT_EQ(lastKeyboardTable(), engineKeyboardTable());
    EXPECT_TRUE(window.marks.at(kF1));
    EXPECT_EQ(window.applyStates.back(), false);
    EXPECT_EQ(window.menus.back().activeName, u"tools");

    // The working profile as edited goes the same way.
    window.applyStates.clear();
    device.calls.clear();
    playback.playing = true;
    prompt.answer = false;
    EXPECT_EQ(activation.applyWorking(), ApplyResult::KeptPlaying);
    EXPECT_TRUE(device.calls.empty());
    EXPECT_TRUE(window.applyStates.empty());
    prompt.answer = true;
    EXPECT_EQ(activation.applyWorking(), ApplyResult::Applied);
    EXPECT_EQ(prompt.questions.back(), text::kStopPlaybackQuestion);
    EXPECT_EQ(count(DeviceCall::Install), 3);
    EXPECT_EQ(window.applyStates, std::vector<bool>{false});
}

TEST_F(Activation, SuspendWithdrawsAndResumeSendsWhatWasActivatedMeanwhile) {
    playback.playing = true;  // a macro that plays once runs on
    activation.suspend();
    EXPECT_EQ(playback.stops, 0);
    EXPECT_EQ(count(DeviceCall::Remove), 3);
    activation.suspend();
    EXPECT_EQ(count(DeviceCall::Remove), 3) << "a second lock withdraws nothing more";

    device.calls.clear();
    playback.playing = false;
    ASSERT_EQ(activation.switchTo(1, dialogs, nullptr), SwitchResult::Switched);
    EXPECT_EQ(activeF1(), 3);
    EXPECT_EQ(activation.applyWorking(), ApplyResult::Applied);
    EXPECT_FALSE(activation.resend());
    EXPECT_TRUE(device.calls.empty()) << "nothing reaches the driver of a locked session";

    activation.resume();
    EXPECT_FALSE(activation.suspended());
    EXPECT_EQ(count(DeviceCall::Install), 3);
    EXPECT_EQ(lastKeyboardTable(), engineKeyboardTable());
    activation.resume();
    EXPECT_EQ(count(DeviceCall::Install), 3);

    // A repeating macro would type into the locked session.
    playback.repeating = playback.playing = true;
    activation.suspend();
    EXPECT_EQ(playback.stops, 1);
    activation.resume();
    EXPECT_TRUE(activation.resend());
    device.refuse = {kKeyboardSelector};
    EXPECT_FALSE(activation.resend());
}

TEST_F(Activation, RefusedTrustQuestionLeavesTheDefaultProfileInTheDriver) {
    prompt.answer = false;
    ASSERT_EQ(activation.switchTo(1, dialogs, nullptr), SwitchResult::Switched);
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(activeF1(), 0);
    EXPECT_EQ(list.activeIndex(), -1);
    EXPECT_EQ(store.read(kProfilesSection, u"ACTIVE"), u"1");
    EXPECT_EQ(lastKeyboardTable(), engineKeyboardTable());
    EXPECT_FALSE(window.marks.at(kF1));
    EXPECT_EQ(window.menus.back().checkedPosition, 0);
}

TEST_F(Activation, FailedLoadGivesTheDefaultProfileNotThePreviousOne) {
    prompt.answer = true;
    ASSERT_EQ(activation.switchTo(1, dialogs, nullptr), SwitchResult::Switched);
    ASSERT_EQ(activeF1(), 3);

    // Entry 0 has become a folder: it can be neither read nor replaced.
    std::filesystem::remove(dir / "plain.px3");
    std::filesystem::create_directory(dir / "plain.px3");
    device.calls.clear();
    ASSERT_EQ(activation.switchTo(0, dialogs, nullptr), SwitchResult::Switched);
    EXPECT_EQ(list.activeIndex(), 0);
    EXPECT_EQ(activeF1(), 0);
    EXPECT_EQ(count(DeviceCall::Install), 3);
    EXPECT_EQ(lastKeyboardTable(), engineKeyboardTable());
    EXPECT_FALSE(window.marks.at(kF1));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "plain.px3"));
}

TEST_F(Activation, EverythingAskedWhileAQuestionWaitsIsRefused) {
    std::vector<SwitchResult> switches;
    std::vector<ApplyResult> applies;
    std::vector<bool> loads;
    sink.whileAsking = [&] {
        switches.push_back(activation.switchTo(0, dialogs, nullptr));
        applies.push_back(activation.applyWorking());
        loads.push_back(activation.activateListed().busy);
        EXPECT_TRUE(activation.busy());
    };
    prompt.answer = true;
    ASSERT_EQ(activation.switchTo(1, dialogs, nullptr), SwitchResult::Switched);
    EXPECT_EQ(switches, std::vector<SwitchResult>{SwitchResult::Busy});
    EXPECT_EQ(applies, std::vector<ApplyResult>{ApplyResult::Busy});
    EXPECT_EQ(loads, std::vector<bool>{true});
    // The list names what is loaded, and the path is free again.
    EXPECT_EQ(list.activeIndex(), 1);
    EXPECT_EQ(activeF1(), 3);
    EXPECT_FALSE(activation.busy());
    sink.whileAsking = nullptr;
    EXPECT_EQ(activation.switchTo(0, dialogs, nullptr), SwitchResult::Switched);
    EXPECT_EQ(activeF1(), 0);
}

}  // namespace
}  // namespace kb
