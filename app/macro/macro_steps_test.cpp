#include "macro_steps.h"

#include "key_catalogue.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

TEST(StepDelayEdit, LimitsAndMessages) {
    DelayEdit e = editStepDelay(u"0", 0, 5);
    EXPECT_EQ(e.value, 0u);
    EXPECT_TRUE(e.message.empty());

    e = editStepDelay(u"0", 1, 5);
    EXPECT_EQ(e.value, 1u);
    EXPECT_EQ(e.message, u"最小延迟时间为: 1(毫秒)  ");

    e = editStepDelay(u"5000000", 3, 5);
    EXPECT_EQ(e.value, 3'600'000u);
    EXPECT_EQ(e.message, u"最大延迟时间为: 3600000(毫秒)  ");

    // Far beyond 32 bits is capped, not wrapped into a small delay.
    e = editStepDelay(u"99999999999999999999", 3, 5);
    EXPECT_EQ(e.value, 3'600'000u);
    EXPECT_FALSE(e.message.empty());

    e = editStepDelay(u" 3600000 ", 2, 5);
    EXPECT_EQ(e.value, 3'600'000u);
    EXPECT_TRUE(e.message.empty());
    EXPECT_TRUE(e.changed);

    for (std::u16string_view bad : {u"", u"-5", u"12a", u"abc"}) {
        e = editStepDelay(bad, 2, 77);
        EXPECT_EQ(e.value, 77u);
        EXPECT_FALSE(e.changed);
        EXPECT_FALSE(e.message.empty());
    }
}

std::vector<MacroAction> numbered(int n) {
    std::vector<MacroAction> v;
    for (int i = 0; i < n; ++i) v.push_back({static_cast<std::uint32_t>(i), 0x1E, 0});
    return v;
}

TEST(StepListTest, AddingRespectsTheLimitAndTheSelection) {
    StepList list;
    list.reset(numbered(3));
    EXPECT_EQ(list.selected(), -1);
    EXPECT_EQ(list.add({9, 0x1E, 2}, true, true), 3);  // no selection: at the end
    EXPECT_EQ(list.steps()[3].direction, 0);            // direction above 1 is a press
    list.select(0);
    EXPECT_EQ(list.add({8, 0x30, 1}, true, true), 1);
    EXPECT_EQ(list.selected(), 1);
    EXPECT_EQ(list.add({7, 0x30, 1}, false, false), 5);
    EXPECT_EQ(list.selected(), 1);

    list.reset(numbered(600));
    EXPECT_EQ(list.size(), 576);
    EXPECT_EQ(list.add({1, 0x1E, 0}, true, true), -1);
}

TEST(StepListTest, MovesKeepTheSelectedStep) {
    StepList list;
    list.reset(numbered(5));
    EXPECT_FALSE(list.move(StepList::Move::Up));  // nothing selected
    list.select(2);
    ASSERT_TRUE(list.move(StepList::Move::Up));
    EXPECT_EQ(list.selected(), 1);
    EXPECT_EQ(list.steps()[1].delayMs, 2u);
    ASSERT_TRUE(list.move(StepList::Move::Bottom));
    EXPECT_EQ(list.selected(), 4);
    EXPECT_EQ(list.steps()[4].delayMs, 2u);
    EXPECT_FALSE(list.move(StepList::Move::Down));
    ASSERT_TRUE(list.move(StepList::Move::Top));
    EXPECT_EQ(list.selected(), 0);
    EXPECT_FALSE(list.move(StepList::Move::Up));
    ASSERT_TRUE(list.move(StepList::Move::Down));
    std::vector<std::uint32_t> order;
    for (const MacroAction& a : list.steps()) order.push_back(a.delayMs);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0, 2, 1, 3, 4}));
    EXPECT_EQ(list.selected(), 1);
}

TEST(StepListTest, RowEditsAndDeletion) {
    StepList list;
    list.reset(numbered(3));
    EXPECT_FALSE(list.setKeyByListCode(0, listCodeOfKey(0x1E)));  // already that key
    EXPECT_TRUE(list.setKeyByListCode(0, listCodeOfKey(0x11C)));
    EXPECT_EQ(list.steps()[0].makeCode, 0x11C);
    EXPECT_EQ(stepKeyName(0x11C), u"Num Enter");
    EXPECT_FALSE(list.setKeyByListCode(0, kChoiceListCount));
    EXPECT_TRUE(list.setDirection(1, 1));
    EXPECT_FALSE(list.setDirection(1, 1));
    EXPECT_FALSE(list.setDirection(1, 2));
    EXPECT_EQ(directionText(1), u"↑");
    EXPECT_FALSE(list.setDelay(5, 1));

    EXPECT_FALSE(list.removeSelected());
    list.select(2);
    EXPECT_TRUE(list.removeSelected());
    EXPECT_EQ(list.selected(), 1);  // the neighbour takes the selection
    EXPECT_EQ(list.size(), 2);
}

}  // namespace
}  // namespace kb
