#include "key_events.h"

#include "engine.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kb
