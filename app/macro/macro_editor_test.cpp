#include "macro_editor.h"
#include "profile_file.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

#include <deque>

namespace kb {
namespace {

using namespace testing;

struct ScriptedClock final : MacroClock {
    std::deque<LocalTime> times;
    LocalTime last{};
    int sleeps = 0;
    LocalTime now() override {
        if (!times.empty()) {
            last = times.front();
            times.pop_front();
        }
        return last;
    }
    void sleepMs(int ms) override {
        EXPECT_EQ(ms, 16);
        ++sleeps;
    }
};

struct MacroEditor : ::testing::Test, testing::OneLoadedProfile {
    ScriptedClock clock;
    MacroEditorSession editor;

    void SetUp() override {
        ASSERT_TRUE(loadOnly("m.px3"));
        editor.load(model);
    }
    int add(int ms) {
        clock.times.push_back({12, 34, 56, ms});
        return editor.addMacro(prompt, clock);
    }
};

TEST_F(MacroEditor, NewMacrosGetTimeNamesAndSmallestFreeIds) {
    ASSERT_EQ(add(7), 0);
    EXPECT_EQ(editor.macros()[0].name(), u"宏-123456007");
    EXPECT_EQ(editor.macros()[0].isNew(), 1);
    EXPECT_EQ(editor.macros()[0].macroId(), 1);
    // Same millisecond: wait 16 ms and take the next time.
    clock.times = {{12, 34, 56, 7}, {12, 34, 56, 23}};
    ASSERT_EQ(editor.addMacro(prompt, clock), 1);
    EXPECT_EQ(clock.sleeps, 1);
    EXPECT_EQ(editor.macros()[1].name(), u"宏-123456023");
    add(40);
    editor.remove(1);
    EXPECT_EQ(editor.macros()[add(41)].macroId(), 2);  // the freed id comes back
    // A clock that never moves ends the attempt instead of hanging.
    clock.times.clear();
    clock.last = {12, 34, 56, 41};
    EXPECT_EQ(editor.addMacro(prompt, clock), -1);
}

TEST_F(MacroEditor, HundredthMacroIsTheLast) {
    for (int i = 0; i < 100; ++i) ASSERT_EQ(add(i), i);
    EXPECT_EQ(add(500), -1);
    EXPECT_EQ(editor.macros().size(), 100u);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], u"最大宏个数为: 100  ");
}

TEST_F(MacroEditor, RenameRules) {
    add(1);
    add(2);
    EXPECT_TRUE(editor.rename(0, u"  Fire  \t", prompt));
    EXPECT_EQ(editor.macros()[0].name(), u"Fire");
    EXPECT_FALSE(editor.rename(0, u"fire", prompt));  // own name in other case
    EXPECT_FALSE(editor.rename(1, u"FIRE", prompt));
    EXPECT_FALSE(editor.rename(1, u"空宏", prompt));
    ASSERT_EQ(prompt.messages.size(), 3u);
    EXPECT_EQ(prompt.messages[0], text::kDuplicateMacroName);
    EXPECT_EQ(prompt.messages[2], text::kReservedMacroName);
    EXPECT_FALSE(editor.rename(1, u"   ", prompt));
    // A shorter name leaves nothing of the longer one in the record.
    EXPECT_TRUE(editor.rename(0, u"Fi", prompt));
    EXPECT_EQ(editor.macros()[0].nameUnit(3), 0);
}

TEST_F(MacroEditor, StepsStopAt576AndOddDirectionsReadAsPress) {
    add(1);
    for (std::size_t i = 0; i < kMaxMacroActions; ++i) ASSERT_TRUE(editor.appendAction(0, {15, 0x1E, 0}));
    EXPECT_FALSE(editor.appendAction(0, {15, 0x1E, 1}));
    EXPECT_EQ(editor.macros()[0].usedActions(), kMaxMacroActions);

    MacroRecord odd;
    odd.setMacroId(9);
    odd.appendAction({0, 0x30, 2});
    model.macros = {odd};
    editor.load(model);
    EXPECT_EQ(editor.macros()[0].action(0).direction, 0);
}

TEST_F(MacroEditor, DeleteAsksOnlyForReferencedOldMacros) {
    MacroRecord old;
    old.setMacroId(3);
    model.macros = {old};
    model.record->setEntry(30, {4, 0, 3});
    editor.load(model);
    add(5);
    prompt.answer = false;
    EXPECT_FALSE(editor.confirmDelete(0, model, prompt));
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.questions[0], text::kDeleteReferencedMacro);
    EXPECT_TRUE(prompt.defaultNo[0]);
    EXPECT_TRUE(editor.confirmDelete(1, model, prompt));  // new: no question
    EXPECT_EQ(prompt.questions.size(), 1u);
    // A layer's key refers to it as well.
    model.record->setEntry(30, {0, 0, 0});
    model.extension.layers.resize(1);
    model.extension.layers[0].keys[31] = {{4, 0, 3}, {}};
    EXPECT_FALSE(editor.confirmDelete(0, model, prompt));
    EXPECT_EQ(prompt.questions.size(), 2u);
}

TEST_F(MacroEditor, ApplyKeepsKeysConsistentWithMacros) {
    MacroRecord m3, m5;
    m3.setMacroId(1);
    m3.setName(u"three");
    m5.setMacroId(5);
    m5.setName(u"five");
    {
        std::lock_guard g(model.lock());
        model.macros = {m3, m5};
        model.record->setEntry(slotOf(0, 0x01E), {4, 0, 1});   // refers to 1, which is deleted and reused
        model.record->setEntry(slotOf(0, 0x030), {4, 0, 5});   // refers to 5, which stays
        model.record->setEntry(slotOf(0, 0x02E), {4, 0, 0});   // no macro chosen yet
        model.record->setEntry(slotOf(0, 0x020), {4, 0, 77});  // refers to nothing
        // The same on a layer.
        model.extension.layers.resize(1);
        model.extension.layers[0].keys[slotOf(0, 0x01F)] = {{4, 0, 1}, {}};
        model.extension.layers[0].keys[slotOf(0, 0x021)] = {{4, 0, 5}, {}};
        model.extension.layers[0].keys[slotOf(0, 0x022)] = {{4, 0, 0}, {}};
    }
    editor.load(model);
    editor.remove(0);
    ASSERT_EQ(add(9), 1);
    EXPECT_EQ(editor.macros()[1].macroId(), 1);
    EXPECT_EQ(editor.apply(model, list, window, prompt), MacroEditorSession::ApplyResult::Applied);

    EXPECT_EQ(model.record->entry(slotOf(0, 0x01E)).type, 0);
    EXPECT_EQ(model.record->entry(slotOf(0, 0x020)).type, 0);
    EXPECT_EQ(model.record->entry(slotOf(0, 0x030)), (KeyEntry{4, 0, 5}));
    EXPECT_EQ(model.record->entry(slotOf(0, 0x02E)), (KeyEntry{4, 0, 5}));  // first listed macro
    const auto& layer = model.extension.layers[0].keys;
    EXPECT_EQ(layer.at(slotOf(0, 0x01F)).entry, (KeyEntry{0, 0, 1}));
    EXPECT_EQ(layer.at(slotOf(0, 0x021)).entry, (KeyEntry{4, 0, 5}));
    EXPECT_EQ(layer.at(slotOf(0, 0x022)).entry, (KeyEntry{4, 0, 5}));
    EXPECT_FALSE(window.marks.at(slotOf(0, 0x01E)));
    EXPECT_EQ(window.applyStates.back(), true);
    ASSERT_EQ(model.macros.size(), 2u);
    EXPECT_EQ(model.macros[1].isNew(), 0);
    EXPECT_FALSE(editor.hasChanges());
    EXPECT_EQ(editor.apply(model, list, window, prompt), MacroEditorSession::ApplyResult::Unchanged);
    // The table reached the file.
    ProfileContent c;
    ASSERT_TRUE(readProfileFile(file, c));
    EXPECT_EQ(c.macros, model.macros);
    EXPECT_EQ(c.record.entry(slotOf(0, 0x01E)).type, 0);

    EXPECT_EQ(indexOfMacroId(model, 1), 1);
    EXPECT_EQ(indexOfMacroId(model, 42), 0);
    EXPECT_EQ(macroIdAtIndex(model, 0), 5);
    EXPECT_EQ(macroIdAtIndex(model, 2), 0);
    EXPECT_EQ(macroIdAtIndex(model, -1), 0);
}

TEST_F(MacroEditor, ApplyIsRefusedInTheDefaultProfile) {
    list.setActiveIndex(-1);
    add(1);
    EXPECT_EQ(editor.apply(model, list, window, prompt), MacroEditorSession::ApplyResult::RefusedDefaultProfile);
    EXPECT_TRUE(model.macros.empty());
    EXPECT_EQ(prompt.messages.back(), text::kNoEditInDefaultProfile);
    EXPECT_TRUE(editor.hasChanges());
}

}  // namespace
}  // namespace kb
