#include "macro_recorder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kb {
namespace {

struct FakeHost final : RecorderHost {
    std::uint32_t tick = 1000;
    bool hookAvailable = true;
    int installs = 0, removals = 0;
    std::vector<MacroAction> steps;
    std::vector<bool> looks;
    std::uint32_t tickCount() override { return tick; }
    bool installHook() override {
        ++installs;
        return hookAvailable;
    }
    void removeHook() override { ++removals; }
    void appendStep(const MacroAction& step) override { steps.push_back(step); }
    void showRecording(bool on) override { looks.push_back(on); }
};

std::uint32_t press(std::uint16_t code) { return static_cast<std::uint32_t>(code) << 16 | 1; }
std::uint32_t repeat(std::uint16_t code) { return press(code) | 0x4000'0000u; }
std::uint32_t release(std::uint16_t code) { return press(code) | 0xC000'0000u; }

struct Recording : ::testing::Test {
    FakeHost host;
    MacroRecorder recorder{host};
    HookDecision at(std::uint32_t tick, std::uint32_t lParam) {
        host.tick = tick;
        return recorder.onKey(0, lParam);
    }
};

TEST_F(Recording, HeldKeyGivesOnePressAndOneReleaseWithMeasuredDelays) {
    recorder.setRecordDelay(true);
    recorder.start();
    EXPECT_EQ(at(1250, press(0x1E)), HookDecision::Swallow);
    EXPECT_EQ(at(1300, repeat(0x1E)), HookDecision::Swallow);
    EXPECT_EQ(at(1330, repeat(0x1E)), HookDecision::Swallow);
    EXPECT_EQ(at(1400, release(0x1E)), HookDecision::Swallow);
    EXPECT_EQ(at(1400, press(0x11D)), HookDecision::Swallow);  // same tick: 2 ms
    const std::vector<MacroAction> want{{250, 0x1E, 0}, {150, 0x1E, 1}, {2, 0x11D, 0}};
    EXPECT_EQ(host.steps, want);
}

TEST_F(Recording, FixedDelaysWhenTheOptionIsOff) {
    recorder.start();
    (void)at(5000, press(0x2A));
    (void)at(9000, release(0x137));  // Print Screen: only its release is reported
    (void)at(9100, release(0x2A));
    const std::vector<MacroAction> want{{1, 0x2A, 0}, {1, 0x137, 0}, {1, 0x137, 1}, {1, 0x2A, 1}};
    EXPECT_EQ(host.steps, want);
}

TEST_F(Recording, SingleEventKeysGetTheirPressOnlyWhenTheSystemWithheldIt) {
    recorder.setRecordDelay(true);
    recorder.start();
    (void)at(1100, release(0x137));
    (void)at(1200, press(0x54));  // Sys Req reported with its press
    (void)at(1210, release(0x54));
    const std::vector<MacroAction> want{{3, 0x137, 0}, {100, 0x137, 1}, {100, 0x54, 0}, {10, 0x54, 1}};
    EXPECT_EQ(host.steps, want);
}

TEST_F(Recording, ForeignMessagesPassOnAndNothingIsRecordedWhenIdle) {
    EXPECT_EQ(at(1100, press(0x1E)), HookDecision::PassOn);  // not recording
    recorder.start();
    EXPECT_EQ(recorder.onKey(3, press(0x1E)), HookDecision::PassOn);  // HC_NOREMOVE
    EXPECT_EQ(at(1200, 0x0000'0001u), HookDecision::PassOn);          // no make code
    EXPECT_TRUE(host.steps.empty());
}

TEST_F(Recording, TheHookNeverOutlivesTheRecording) {
    recorder.toggle();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(host.installs, 1);
    recorder.stop();
    recorder.stop();
    EXPECT_EQ(host.removals, 1);
    EXPECT_EQ(host.looks, (std::vector<bool>{true, false}));

    // Recording without a hook still shows, and stopping removes nothing.
    host.hookAvailable = false;
    recorder.toggle();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_FALSE(recorder.hookInstalled());
    recorder.toggle();
    EXPECT_EQ(host.removals, 1);

    // Going away while recording removes the hook.
    FakeHost other;
    {
        MacroRecorder r(other);
        r.start();
    }
    EXPECT_EQ(other.installs, 1);
    EXPECT_EQ(other.removals, 1);
}

}  // namespace
}  // namespace kb
