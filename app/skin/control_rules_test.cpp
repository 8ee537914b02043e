#include "control_rules.h"

#include <gtest/gtest.h>

namespace kbskin {
namespace {

using Checks = std::vector<bool>;

TEST(ReportListRules, CheckModes) {
    const Checks start{true, false, false};
    EXPECT_EQ(ApplyUserCheck(CheckMode::Toggle, start, 1, true), (Checks{true, true, false}));
    EXPECT_EQ(ApplyUserCheck(CheckMode::Single, start, 2, true), (Checks{false, false, true}));
    EXPECT_EQ(ApplyUserCheck(CheckMode::Single, start, 0, false), (Checks{false, false, false}));
    EXPECT_EQ(ApplyUserCheck(CheckMode::Locked, start, 0, false), start);
    EXPECT_EQ(ApplyUserCheck(CheckMode::Locked, start, 1, true), start);
    EXPECT_EQ(ApplyUserCheck(CheckMode::Single, start, 3, true), start);
    EXPECT_EQ(ApplyUserCheck(CheckMode::Single, start, -1, true), start);
}

TEST(ReportListRules, SortIsByCodeUnitsAndDeleteSelectsANeighbour) {
    EXPECT_TRUE(SortsBefore(L"B", L"a", true));  // case matters
    EXPECT_FALSE(SortsBefore(L"a", L"a", true));
    EXPECT_TRUE(SortsBefore(L"b", L"a", false));
    EXPECT_EQ(NeighbourAfterDelete(1, 3), 1);
    EXPECT_EQ(NeighbourAfterDelete(3, 3), 2);
    EXPECT_EQ(NeighbourAfterDelete(0, 0), -1);
}

TEST(LinkRules, ErrorTexts) {
    EXPECT_EQ(LinkFailureMessage(26), L"Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(LinkErrorText(2), L"The specified file was not found.");
    EXPECT_EQ(LinkErrorText(31), L"There is no application associated\nwith the given filename extension.");
    EXPECT_EQ(LinkErrorText(99), L"Unknown Error (99) occurred.");
    EXPECT_EQ(LinkErrorText(-3), L"Unknown Error (-3) occurred.");
}

TEST(LinkRules, OpenerCommandIsCutAtTheFirstPlaceholder) {
    EXPECT_EQ(OpenerCommandLine(L"\"C:\\b\\web.exe\" -n \"%1\" -x \"%1\"", L"http://x.test/"),
              L"\"C:\\b\\web.exe\" -n  http://x.test/");
    EXPECT_EQ(OpenerCommandLine(L"C:\\b\\web.exe %1", L"http://x.test/"), L"C:\\b\\web.exe  http://x.test/");
    EXPECT_EQ(OpenerCommandLine(L"C:\\b\\web.exe", L"u"), L"C:\\b\\web.exe u");
    // The quoted placeholder wins even when a bare one comes first.
    EXPECT_EQ(OpenerCommandLine(L"a %1 b \"%1\"", L"u"), L"a %1 b  u");
    // Too long for the buffer: refused rather than cut.
    EXPECT_FALSE(OpenerCommandLine(L"web.exe %1", std::wstring(300, L'u')).has_value());
    EXPECT_TRUE(OpenerCommandLine(L"w %1", std::wstring(256, L'u')).has_value());   // 259 characters
    EXPECT_FALSE(OpenerCommandLine(L"w %1", std::wstring(257, L'u')).has_value());
}

TEST(ArrowRules, FramesEnableAndRememberedFrame) {
    ArrowState s;
    EXPECT_EQ(s.Step(ArrowSide::Left, 1, false, false), 1);
    EXPECT_EQ(s.Step(ArrowSide::Left, 2, false, false), 1);  // 2 reuses the remembered frame
    EXPECT_EQ(s.Step(ArrowSide::Left, 0, true, false), std::nullopt);  // disabled: no drawing
    EXPECT_EQ(s.Frame(ArrowSide::Left), 0);                             // but the frame is kept
    EXPECT_EQ(s.Step(ArrowSide::Left, 1, false, false), std::nullopt);
    EXPECT_EQ(s.Step(ArrowSide::Left, 2, true, true), 1);
    EXPECT_EQ(s.Step(ArrowSide::Right, 2, false, false), 0);  // sides are independent
    EXPECT_TRUE(s.Enabled(ArrowSide::Right));
}

}  // namespace
}  // namespace kbskin
