#include "fake_systems.h"
#include "mouse.h"

#include <gtest/gtest.h>

#include <vector>

namespace kb::kinset {
namespace {

using testing::FakeMouseSystem;
using testing::MouseEvent;

constexpr Device kDev = 0x4321;

std::vector<std::uint16_t> buttonsOf(const std::vector<MouseRecord>& records) {
    std::vector<std::uint16_t> out;
    for (const MouseRecord& r : records) {
        out.push_back(r.buttonFlags);
    }
    return out;
}

class MouseTest : public ::testing::Test {
protected:
    FakeMouseSystem sys;
    Mouse mouse{sys};
};

// --- Record layouts -------------------------------------------------------

TEST(MouseRecords, EncodeAndDecodeExplicitly) {
    MouseRecord r{0, 1, 0x400, -240, -2, 65536};
    const Record bytes = encodeMouseRecord(r);
    const Record expected{0, 0, 1, 0, 0x00, 0x04, 0x10, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(decodeMouseRecord(bytes.data()), r);
    const std::uint8_t action[16] = {0, 0, 0xAA, 0xBB, 2, 0, 1, 0, 0x10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    const MouseAction a = decodeMouseAction(action);
    EXPECT_EQ(a.kind, kActionMove);
    EXPECT_EQ(a.style, kMoveAccelerated);
    EXPECT_EQ(a.target, 1);
    EXPECT_EQ(a.x, 16);
    EXPECT_EQ(a.y, -1);
}

// --- Buttons and wheel ----------------------------------------------------

TEST_F(MouseTest, ClickPressesInOrderAndReleasesLeftLast) {
    EXPECT_EQ(mouse.click(kDev, kLeftButton | kRightButton), 1);
    EXPECT_EQ(buttonsOf(sys.records()), (std::vector<std::uint16_t>{kLeftDown, kRightDown, kRightUp, kLeftUp}));
    sys.sent.clear();
    (void)mouse.click(kDev, 0x1F);
    EXPECT_EQ(buttonsOf(sys.records()),
              (std::vector<std::uint16_t>{kLeftDown, kRightDown, kMiddleDown, kFourthDown, kFifthDown, kFifthUp,
                                          kFourthUp, kMiddleUp, kRightUp, kLeftUp}));
    for (const MouseRecord& r : sys.records()) {
        EXPECT_EQ(r.flags, 0);
        EXPECT_EQ(r.x, 0);
    }
    EXPECT_EQ(sys.sent[0].device, kDev);
}

TEST_F(MouseTest, ClickResultIsTheLastSendAndNothingForNoButtons) {
    sys.sendResult = 0;
    EXPECT_EQ(mouse.click(kDev, kRightButton), 0);
    sys.sendResult = 1;
    EXPECT_EQ(mouse.click(kDev, 0), 0);
    EXPECT_EQ(sys.sent.size(), 2u);
}

TEST_F(MouseTest, RawButtonsAndWheel) {
    (void)mouse.rawButtons(kDev, 0x005);
    (void)mouse.wheel(kDev, -2);
    const auto recs = sys.records();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].buttonFlags, 0x005);
    EXPECT_EQ(recs[1], (MouseRecord{0, 0, kMouseWheel, -240, 0, 0}));
}

TEST_F(MouseTest, ActionRecordsDispatchByKind) {
    EXPECT_EQ(mouse.action(kDev, {kActionButton, 1, kLeftButton, 0, 0}), 1);
    EXPECT_EQ(mouse.action(kDev, {kActionButton, 0, kRightDown, 0, 0}), 1);
    EXPECT_EQ(mouse.action(kDev, {kActionWheel, 3, 0, 0, 0}), 1);
    EXPECT_EQ(mouse.action(kDev, {kActionButton, 2, kLeftButton, 0, 0}), 0);
    EXPECT_EQ(mouse.action(kDev, {7, 0, 0, 0, 0}), 0);
    EXPECT_EQ(buttonsOf(sys.records()), (std::vector<std::uint16_t>{kLeftDown, kLeftUp, kRightDown, kMouseWheel}));
    EXPECT_EQ(sys.records().back().buttonData, 360);
}

TEST_F(MouseTest, RawRecordsPassUnchangedOnlyToTheDriver) {
    const MouseRecord r{7, 3, 0x0F0, 11, -5, 9};
    EXPECT_EQ(mouse.sendRecord(kDev, r), 1);
    ASSERT_EQ(sys.records().size(), 1u);
    EXPECT_EQ(sys.records()[0], r);
    EXPECT_EQ(sys.yields, 1);
    ASSERT_TRUE(mouse.setMakeType(1));
    EXPECT_EQ(mouse.sendRecord(kDev, r), 1);
    EXPECT_EQ(sys.records().size(), 1u);
    EXPECT_TRUE(sys.events.empty());
}

// --- Move arithmetic ------------------------------------------------------

TEST(MoveArithmetic, AbsoluteUnitsTruncateAndAddOne) {
    EXPECT_EQ(absoluteUnits(0, 1280), 1);
    EXPECT_EQ(absoluteUnits(640, 1280), 32769);
    EXPECT_EQ(absoluteUnits(1280, 1280), 65537);
    EXPECT_EQ(absoluteUnits(100, 1024), 6401);
    EXPECT_EQ(absoluteUnits(-3, 1024), -191);  // truncation toward zero
}

TEST(MoveArithmetic, AcceleratedStepCount) {
    EXPECT_EQ(acceleratedSteps(200, 100), 25);    // narrow span: span / 8
    EXPECT_EQ(acceleratedSteps(1280, 500), 22);   // first n that satisfies the sum
    EXPECT_EQ(acceleratedSteps(1024, 1024), 32);  // equality counts
    EXPECT_EQ(acceleratedSteps(1280, 5000), 33);  // no n up to 32 does
    EXPECT_EQ(acceleratedSteps(1280, -300), 1);
    EXPECT_EQ(acceleratedSteps(5, 3), 1);         // would be zero steps
    EXPECT_EQ(acceleratedSteps(0, 0), 1);
}

TEST(MoveArithmetic, PathsEndExactlyAtTheTarget) {
    const auto smooth = movePath(kMoveSmooth, {1, 1}, {1001, -99}, 1280, 1000);
    ASSERT_EQ(smooth.size(), 32u);
    EXPECT_EQ(smooth[0], (Point{32, -2}));  // steps 31 and -3
    EXPECT_EQ(smooth[30], (Point{962, -92}));
    EXPECT_EQ(smooth[31], (Point{1001, -99}));
    const auto direct = movePath(kMoveDirect, {1, 1}, {50, 60}, 1280, 49);
    EXPECT_EQ(direct, (std::vector<Point>{{50, 60}}));
    EXPECT_EQ(movePath(kMoveAccelerated, {0, 0}, {2200, 0}, 1280, 500).size(), 22u);
    EXPECT_TRUE(movePath(kMoveLine, {0, 0}, {5, 5}, 1280, 5).empty());
}

TEST_F(MouseTest, RelativeMoveClampsToTheScreen) {
    EXPECT_EQ(mouse.move(kDev, kMoveDirect, false, -5000, 0), 1);
    ASSERT_EQ(sys.records().size(), 1u);
    EXPECT_EQ(sys.records()[0], (MouseRecord{0, kMouseAbsolute, 0, 0, 1, 6401}));
    sys.sent.clear();
    (void)mouse.move(kDev, kMoveDirect, false, 0x7FFFFFFF, 0x7FFFFFFF);  // no wrap-around
    EXPECT_EQ(sys.records().back().x, 65537);
    EXPECT_EQ(sys.records().back().y, 65537);
}

TEST_F(MouseTest, RelativeMoveOfNothingSendsNothing) {
    EXPECT_EQ(mouse.move(kDev, kMoveAccelerated, false, 0, 0), 1);
    EXPECT_EQ(mouse.move(kDev, kMoveLine, false, 0, 0), 1);
    EXPECT_TRUE(sys.sent.empty());
    EXPECT_TRUE(sys.boxes.empty());
}

TEST_F(MouseTest, AbsoluteMoveClampsAndStepsAlongTheMajorAxis) {
    sys.cursor = {0, 0};
    EXPECT_EQ(mouse.move(kDev, kMoveAccelerated, true, 500, -40), 1);
    const auto recs = sys.records();
    ASSERT_EQ(recs.size(), 22u);  // span 1280, major distance 500
    EXPECT_EQ(recs.back(), (MouseRecord{0, kMouseAbsolute, 0, 0, absoluteUnits(500, 1280), 1}));
    const std::int32_t step = (absoluteUnits(500, 1280) - 1) / 22;
    EXPECT_EQ(recs[0].x, 1 + step);
    EXPECT_EQ(recs[20].x, 1 + 21 * step);
    // dy > dx picks the height as span: 1024 with major 1024 needs 32 steps.
    sys.sent.clear();
    (void)mouse.move(kDev, kMoveAccelerated, true, 0, 5000);
    EXPECT_EQ(sys.records().size(), 32u);
    EXPECT_EQ(sys.records().back().y, 65537);
}

TEST_F(MouseTest, ZeroSizedScreenSendsNothing) {
    sys.screen = {0, 768};
    EXPECT_EQ(mouse.move(kDev, kMoveSmooth, true, 10, 10), 0);
    sys.screen = {1024, 0};
    EXPECT_EQ(mouse.move(kDev, kMoveAccelerated, false, 10, 10), 0);
    EXPECT_TRUE(sys.sent.empty());
}

TEST_F(MouseTest, UnsupportedStylesShowTheirBoxAndSendNothing) {
    EXPECT_EQ(mouse.move(kDev, kMoveLine, true, 5, 5), 0);
    EXPECT_EQ(mouse.move(kDev, kMoveHuman, true, 5, 5), 0);
    EXPECT_EQ(mouse.move(kDev, kMoveAdjust, true, 5, 5), 0);
    EXPECT_EQ(mouse.move(kDev, 6, true, 5, 5), 0);
    EXPECT_TRUE(sys.sent.empty());
    ASSERT_EQ(sys.boxes.size(), 3u);
    EXPECT_EQ(sys.boxes[0], u"Can't simulate mouse [Line] type in this version!\r\nPlease contact to your producers!");
    EXPECT_EQ(sys.boxes[1], u"Can't simulate mouse [Human] type in this version!\r\nPlease contact to your producers!");
    EXPECT_EQ(sys.boxes[2], u"Can't simulate mouse [Adjust] type in this version!\r\nPlease contact to your producers!");
    EXPECT_EQ(sys.captions[0], u"AppMouse");
}

// --- Make types -------------------------------------------------------------

TEST_F(MouseTest, MouseEventTypeBypassesTheDriver) {
    ASSERT_TRUE(mouse.setMakeType(1));
    (void)mouse.click(kDev, kLeftButton | kFourthButton | kFifthButton);
    (void)mouse.wheel(kDev, -1);
    (void)mouse.move(kDev, kMoveDirect, true, 640, 512);
    (void)mouse.rawButtons(kDev, 0x003);
    EXPECT_TRUE(sys.sent.empty());
    EXPECT_EQ(sys.events, (std::vector<MouseEvent>{{kEventLeftDown, 0, 0, 0},
                                                   {kEventXDown, 0, 0, 1},
                                                   {kEventXDown, 0, 0, 2},
                                                   {kEventXUp, 0, 0, 2},
                                                   {kEventXUp, 0, 0, 1},
                                                   {kEventLeftUp, 0, 0, 0},
                                                   {kEventWheel, 0, 0, static_cast<std::uint32_t>(-120)},
                                                   {kEventMove | kEventAbsolute, 32769, 32769, 0},
                                                   {kEventXUp, 0, 0, 0}}));
}

TEST_F(MouseTest, MessageTypesShowABoxForEveryRecord) {
    ASSERT_TRUE(mouse.setMakeType(2));
    EXPECT_EQ(mouse.click(kDev, kLeftButton), 0);
    ASSERT_TRUE(mouse.setMakeType(3));
    (void)mouse.wheel(kDev, 1);
    EXPECT_TRUE(sys.sent.empty());
    ASSERT_EQ(sys.boxes.size(), 3u);
    EXPECT_EQ(sys.boxes[0],
              u"Can't simulate mouse PostMessage type in this version!\r\nPlease contact to your producers!");
    EXPECT_EQ(sys.boxes[2],
              u"Can't simulate mouse SendMessage type in this version!\r\nPlease contact to your producers!");
    EXPECT_FALSE(mouse.setMakeType(4));
    EXPECT_EQ(mouse.makeType(), MouseMakeType::SendMessage);
}

}  // namespace
}  // namespace kb::kinset
