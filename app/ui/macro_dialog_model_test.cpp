#include "macro_dialog_model.h"

#include "key_catalogue.h"
#include "profile_file.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

struct StepClock final : MacroClock {
    int ms = 0;
    LocalTime now() override { return {10, 0, 0, ms++}; }
    void sleepMs(int) override {}
};

// Forwards recorded steps to the model as the dialog does.
struct ForwardingHost final : RecorderHost {
    MacroDialogModel* model = nullptr;
    std::uint32_t tick = 0;
    int hooks = 0;
    std::uint32_t tickCount() override { return tick; }
    bool installHook() override {
        ++hooks;
        return true;
    }
    void removeHook() override { --hooks; }
    void appendStep(const MacroAction& step) override { (void)model->appendRecordedStep(step); }
    void showRecording(bool) override {}
};

struct MacroDialog : ::testing::Test, testing::OneLoadedProfile {
    StepClock clock;
    ForwardingHost host;
    MacroDialogModel dialog{host};

    void SetUp() override {
        host.model = &dialog;
        ASSERT_TRUE(loadOnly("m.px3"));
        MacroRecord a, b;
        a.setName(u"first");
        a.setMacroId(1);
        a.setActions({{0, 0x1E, 0}, {10, 0x1E, 1}, {10, 0x30, 0}});
        b.setName(u"second");
        b.setMacroId(2);
        model.macros = {a, b};
        ASSERT_EQ(saveProfile(model, list), SaveResult::Saved);
    }
    MacroDialogModel::ApplyResult apply() { return dialog.apply(model, list, window, prompt); }
    ProfileContent saved() {
        ProfileContent c;
        EXPECT_TRUE(readProfileFile(file, c));
        return c;
    }
};

TEST_F(MacroDialog, OpeningShowsTheFirstMacroAndTheStoredOption) {
    ASSERT_TRUE(store.write(kProfilesSection, u"RecordDelay", u"5"));
    dialog.open(model, list);
    EXPECT_TRUE(dialog.isOpen());
    EXPECT_EQ(dialog.selectedMacro(), 0);
    EXPECT_EQ(dialog.steps().size(), 3);
    EXPECT_FALSE(dialog.applyEnabled());
    EXPECT_TRUE(dialog.stepButtonsEnabled());
    EXPECT_FALSE(dialog.recordDelay());
    EXPECT_EQ(store.read(kProfilesSection, u"RecordDelay"), u"0");
    dialog.setRecordDelay(true, list);
    EXPECT_EQ(list.recordDelay(), 1);
    dialog.close();
    EXPECT_FALSE(dialog.isOpen());
    EXPECT_TRUE(dialog.macros().empty());

    model.macros.clear();
    dialog.open(model, list);
    EXPECT_TRUE(dialog.recordDelay());
    EXPECT_EQ(dialog.selectedMacro(), -1);
    EXPECT_FALSE(dialog.stepButtonsEnabled());
}

TEST_F(MacroDialog, DelayLimitsReachTheFile) {
    dialog.open(model, list);
    DelayEdit e = dialog.editDelay(1, u"0", prompt);
    EXPECT_EQ(e.value, 1u);
    e = dialog.editDelay(2, u"5000000", prompt);
    EXPECT_EQ(e.value, 3'600'000u);
    e = dialog.editDelay(0, u"0", prompt);  // the first row keeps 0
    EXPECT_EQ(e.value, 0u);
    EXPECT_EQ(prompt.messages, (std::vector<std::u16string>{u"最小延迟时间为: 1(毫秒)  ",
                                                             u"最大延迟时间为: 3600000(毫秒)  "}));
    EXPECT_TRUE(dialog.applyEnabled());
    ASSERT_EQ(apply(), MacroDialogModel::ApplyResult::Applied);
    EXPECT_FALSE(dialog.applyEnabled());
    const ProfileContent c = saved();
    EXPECT_EQ(c.macros[0].action(1).delayMs, 1u);
    EXPECT_EQ(c.macros[0].action(2).delayMs, 3'600'000u);
}

TEST_F(MacroDialog, StepEditsSurviveASelectionChangeAndCancelTouchesNothing) {
    const std::vector<std::uint8_t> before = testing::fileBytes(file);
    dialog.open(model, list);
    dialog.selectStep(0);
    ASSERT_TRUE(dialog.moveStep(StepList::Move::Bottom));
    EXPECT_EQ(dialog.steps().selected(), 2);
    ASSERT_TRUE(dialog.editKey(2, listCodeOfKey(0x11C)));
    EXPECT_FALSE(dialog.editKey(2, listCodeOfKey(0x11C)));
    ASSERT_TRUE(dialog.selectMacro(1, prompt));
    EXPECT_EQ(dialog.steps().size(), 0);
    ASSERT_TRUE(dialog.selectMacro(0, prompt));
    EXPECT_EQ(dialog.steps().steps()[2], (MacroAction{0, 0x11C, 0}));
    dialog.close();  // Cancel
    EXPECT_EQ(testing::fileBytes(file), before);
    EXPECT_EQ(model.macros[0].action(2), (MacroAction{10, 0x30, 0}));
}

TEST_F(MacroDialog, NamesAndClearing) {
    dialog.open(model, list);
    EXPECT_FALSE(dialog.renameMacro(1, u"FIRST", prompt));
    EXPECT_FALSE(dialog.renameMacro(1, std::u16string(101, u'n'), prompt));
    EXPECT_EQ(prompt.messages, (std::vector<std::u16string>{std::u16string(text::kDuplicateMacroName),
                                                             std::u16string(text::kMacroNameTooLong)}));
    EXPECT_FALSE(dialog.applyEnabled());
    EXPECT_TRUE(dialog.renameMacro(1, std::u16string(100, u'n'), prompt));
    EXPECT_TRUE(dialog.applyEnabled());

    prompt.answer = false;
    EXPECT_FALSE(dialog.clearSteps(prompt));
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.questions[0], u"确实需要清空宏动作?  ");
    EXPECT_TRUE(prompt.defaultNo[0]);
    EXPECT_EQ(dialog.steps().size(), 3);
    prompt.answer = true;
    EXPECT_TRUE(dialog.clearSteps(prompt));
    EXPECT_EQ(dialog.steps().size(), 0);
    EXPECT_FALSE(dialog.clearSteps(prompt));  // empty: nothing asked
    EXPECT_EQ(prompt.questions.size(), 2u);
}

TEST_F(MacroDialog, RecordingLandsInTheSelectedMacroAndNeverKeepsItsHook) {
    dialog.open(model, list);
    dialog.selectStep(0);
    host.tick = 100;
    dialog.toggleRecording();
    EXPECT_EQ(host.hooks, 1);
    EXPECT_FALSE(dialog.selectMacro(1, prompt));
    EXPECT_EQ(prompt.messages.back(), u"请先停止宏录制!  ");
    EXPECT_FALSE(dialog.helpAllowed());
    const std::uint32_t g = 0x22u << 16;
    EXPECT_EQ(dialog.onKey(0, g), HookDecision::Swallow);
    EXPECT_EQ(dialog.onKey(0, g | 0xC000'0000u), HookDecision::Swallow);
    // Inserted after the selected row, each new row selected.
    EXPECT_EQ(dialog.steps().steps()[1], (MacroAction{1, 0x22, 0}));
    EXPECT_EQ(dialog.steps().steps()[2], (MacroAction{1, 0x22, 1}));
    EXPECT_EQ(dialog.steps().selected(), 2);
    ASSERT_EQ(apply(), MacroDialogModel::ApplyResult::Applied);  // stops the recording first
    EXPECT_EQ(host.hooks, 0);
    EXPECT_EQ(saved().macros[0].usedActions(), 5u);

    dialog.toggleRecording();
    EXPECT_EQ(host.hooks, 1);
    dialog.close();
    EXPECT_EQ(host.hooks, 0);
    EXPECT_EQ(dialog.onKey(0, g), HookDecision::PassOn);
}

TEST_F(MacroDialog, DeletingAReferencedMacroAsksAndApplyResetsItsKeys) {
    model.record->setEntry(0x1E, {4, 0, 1});
    dialog.open(model, list);
    prompt.answer = false;
    EXPECT_FALSE(dialog.deleteMacro(model, prompt));
    EXPECT_EQ(prompt.questions.back(), text::kDeleteReferencedMacro);
    prompt.answer = true;
    ASSERT_TRUE(dialog.deleteMacro(model, prompt));
    EXPECT_EQ(dialog.selectedMacro(), 0);
    EXPECT_EQ(dialog.macros()[0].name(), u"second");
    EXPECT_EQ(dialog.addMacro(prompt, clock), 1);  // reuses id 1
    EXPECT_EQ(dialog.macros()[1].macroId(), 1);
    ASSERT_EQ(apply(), MacroDialogModel::ApplyResult::Applied);
    EXPECT_EQ(saved().record.entry(0x1E).type, 0);
}

TEST_F(MacroDialog, DefaultProfileAndFailedSaves) {
    dialog.open(model, list);
    dialog.selectStep(0);
    ASSERT_TRUE(dialog.deleteStep());
    list.setActiveIndex(-1);
    EXPECT_EQ(apply(), MacroDialogModel::ApplyResult::RefusedDefaultProfile);
    EXPECT_TRUE(dialog.applyEnabled());
    EXPECT_EQ(model.macros[0].usedActions(), 3u);

    list.setActiveIndex(0);
    std::filesystem::remove(file);
    EXPECT_EQ(apply(), MacroDialogModel::ApplyResult::NotSaved);
    EXPECT_NE(prompt.messages.back().find(file.u16string()), std::u16string::npos);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(MacroDialog, PlayModeIsShownChangedAndStoredWhileAnUnknownOneIsKept) {
    model.macros[1].setPlayMode(7);  // from a file written elsewhere
    ASSERT_EQ(saveProfile(model, list), SaveResult::Saved);
    const std::vector<std::uint8_t> before = testing::fileBytes(file);
    dialog.open(model, list);
    EXPECT_EQ(dialog.playModeChoice(), 0);
    EXPECT_FALSE(dialog.setPlayMode(0));  // the mode it has: no change
    EXPECT_FALSE(dialog.setPlayMode(3));
    EXPECT_FALSE(dialog.applyEnabled());
    ASSERT_TRUE(dialog.selectMacro(1, prompt));
    EXPECT_EQ(dialog.playModeChoice(), -1);
    // Other edits of that macro keep the value the program does not know.
    EXPECT_TRUE(dialog.renameMacro(1, u"renamed", prompt));
    ASSERT_EQ(apply(), MacroDialogModel::ApplyResult::Applied);
    EXPECT_EQ(saved().macros[1].playMode(), 7);

    ASSERT_TRUE(dialog.selectMacro(0, prompt));
    ASSERT_TRUE(dialog.setPlayMode(2));
    EXPECT_TRUE(dialog.applyEnabled());
    EXPECT_EQ(dialog.playModeChoice(), 2);
    ASSERT_TRUE(dialog.selectMacro(1, prompt));
    ASSERT_TRUE(dialog.setPlayMode(1));
    EXPECT_EQ(dialog.addMacro(prompt, clock), 2);
    EXPECT_EQ(dialog.playModeChoice(), 0);  // a new macro plays once
    dialog.toggleRecording();
    EXPECT_FALSE(dialog.playModeEnabled());
    EXPECT_FALSE(dialog.setPlayMode(2));
    ASSERT_EQ(apply(), MacroDialogModel::ApplyResult::Applied);
    const ProfileContent c = saved();
    ASSERT_EQ(c.macros.size(), 3u);
    EXPECT_EQ(c.macros[0].playMode(), 2);
    EXPECT_EQ(c.macros[1].playMode(), 1);
    EXPECT_EQ(c.macros[2].playMode(), 0);
    EXPECT_EQ(model.macros[0].playMode(), 2);

    // Cancel after a change leaves the profile as it was.
    dialog.close();
    const std::vector<std::uint8_t> applied = testing::fileBytes(file);
    dialog.open(model, list);
    ASSERT_TRUE(dialog.setPlayMode(0));
    dialog.close();
    EXPECT_EQ(testing::fileBytes(file), applied);
    EXPECT_EQ(model.macros[0].playMode(), 2);
}

}  // namespace
}  // namespace kb
