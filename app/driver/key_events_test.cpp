#include "key_events.h"

#include "engine.h"

#include <gtest/gtest.h>

#include <utility>

namespace kb {
namespace {

TEST(KeyEventNames, FollowTheDriversNamingScheme) {
    EXPECT_EQ(keyboardEventName(1), u"KbPanel_PX3_QM2000RB_Event_Main_01");
    EXPECT_EQ(keyboardEventName(87), u"KbPanel_PX3_QM2000RB_Event_Main_87");
    EXPECT_EQ(keyboardEventName(174), u"KbPanel_PX3_QM2000RB_Event_Main_174");
    EXPECT_EQ(keypadEventName(9), u"KbPanel_PX3_QM2000RB_Event_Sub_09");
    EXPECT_EQ(keypadEventName(46), u"KbPanel_PX3_QM2000RB_Event_Sub_46");
}

TEST(KeyLatches, AHeldKeyActsOnceUntilReleased) {
    Engine engine;
    auto& latches = engine.keyboardLatches;
    EXPECT_EQ(latchKeyEvent(latches, 5), 5);
    EXPECT_EQ(latchKeyEvent(latches, 5), -1);  // auto-repeat while held
    EXPECT_EQ(latchKeyEvent(latches, 5), -1);
    EXPECT_EQ(latchKeyEvent(latches, 6), 6);   // other keys are independent
    EXPECT_EQ(latchKeyEvent(latches, 5 + kKeyboardKeyCount), -1);
    EXPECT_EQ(latches[5].load(), 0u);
    EXPECT_EQ(latchKeyEvent(latches, 5), 5);
}

TEST(KeyLatches, ReleaseWithoutPressAndOutOfRangeAreHarmless) {
    Engine engine;
    auto& latches = engine.keypadLatches;
    EXPECT_EQ(latchKeyEvent(latches, kKeypadKeyCount + 3), -1);
    EXPECT_EQ(latchKeyEvent(latches, 3), 3);
    EXPECT_EQ(latchKeyEvent(latches, -1), -1);
    EXPECT_EQ(latchKeyEvent(latches, kKeypadRecords), -1);
    for (auto& l : latches) l = 0;  // what a table build does
    EXPECT_EQ(latchKeyEvent(latches, 3), 3);
}

TEST(KeyLatches, AReleaseSeenBeforeItsPressTakesThePressFirst) {
    Engine engine;
    auto& latches = engine.keyboardLatches;
    // A tap whose press waits in an earlier group than the one being polled.
    EXPECT_EQ(latchKeyEvent(latches, 70 + kKeyboardKeyCount, true), 70);
    EXPECT_EQ(latches[70].load(), 0u);  // not left held: the next press acts
    EXPECT_EQ(latchKeyEvent(latches, 70), 70);
    // While held, a repeat found at the release is only the repeat.
    EXPECT_EQ(latchKeyEvent(latches, 70 + kKeyboardKeyCount, true), -1);
    EXPECT_EQ(latches[70].load(), 0u);
    EXPECT_EQ(latchKeyEvent(latches, 70 + kKeyboardKeyCount, false), -1);
}

// Presses and releases come through different waits, so the key thread can
// take a quick tap's release before its press, and a double tap's second
// press before the first release.
TEST(KeySequencer, TapsArrivingOutOfOrderActOnceEachAndLeaveNoKeyLatched) {
    Engine engine;
    auto& latches = engine.keyboardLatches;
    KeyEventSequencer seq(latches);
    const int release = kKeyboardKeyCount;
    bool pending = false;
    int asked = -1;
    const auto pendingPress = [&](int key) {
        asked = key;
        return std::exchange(pending, false);
    };

    // Release first, press still signalled or queued: the press is taken first.
    pending = true;
    EXPECT_EQ(seq.onEvent(release + 4, pendingPress, 1000), 4);
    EXPECT_EQ(asked, 4);
    EXPECT_EQ(latches[4].load(), 0u);
    EXPECT_EQ(seq.releasedAfter(release + 4, 4), 4);  // and then it is up

    // Release first, press still on its way: it acts when it comes, and the
    // key is not left latched, so the next tap acts too.
    EXPECT_EQ(seq.onEvent(release + 9, pendingPress, 2000), -1);
    EXPECT_EQ(seq.releasedAfter(release + 9, -1), 9);
    EXPECT_EQ(seq.onEvent(9, pendingPress, 2003), 9);
    EXPECT_EQ(latches[9].load(), 0u);
    // A repeating macro would otherwise wait for a release that has already come.
    EXPECT_EQ(seq.releasedAfter(9, 9), 9);
    EXPECT_EQ(seq.onEvent(9, pendingPress, 2200), 9);
    EXPECT_EQ(seq.releasedAfter(9, 9), -1);             // an ordinary press: held
    EXPECT_EQ(seq.onEvent(9, pendingPress, 2210), -1);  // then held: repeats do nothing
    EXPECT_EQ(seq.releasedAfter(9, -1), -1);
    EXPECT_EQ(seq.onEvent(release + 9, pendingPress, 2300), -1);
    EXPECT_EQ(seq.releasedAfter(release + 9, -1), 9);

    // A double tap: the second press queued behind the first release belongs
    // to the next tap and is not swallowed by the release.
    asked = -1;
    pending = true;
    EXPECT_EQ(seq.onEvent(12, pendingPress, 3000), 12);
    EXPECT_EQ(seq.onEvent(release + 12, pendingPress, 3050), -1);
    EXPECT_EQ(asked, -1);  // its press was carried out: nothing taken
    pending = false;
    EXPECT_EQ(seq.onEvent(12, pendingPress, 3060), 12);
}

TEST(KeySequencer, AReleaseWithoutAPressStopsCountingAfterAWhile) {
    Engine engine;
    auto& latches = engine.keypadLatches;
    KeyEventSequencer seq(latches);
    const auto none = [](int) { return false; };
    // A key held since before the table went out: its release is unmatched.
    EXPECT_EQ(seq.onEvent(kKeypadKeyCount + 2, none, 5000), -1);
    // A press long after it is an ordinary press: held, it acts once.
    EXPECT_EQ(seq.onEvent(2, none, 5000 + KeyEventSequencer::kLatePressMs + 1), 2);
    EXPECT_EQ(seq.onEvent(2, none, 5400), -1);
    EXPECT_EQ(seq.onEvent(-1, none, 5500), -1);
    EXPECT_EQ(seq.onEvent(kKeypadRecords, none, 5500), -1);
}

}  // namespace
}  // namespace kb
