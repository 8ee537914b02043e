// Saves that fail or stop part-way: the profile file on disk is always the
// old profile or the new one, byte for byte, and a failed save is reported
// to the user with the change kept pending.
#include "profile_file.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kb {
namespace {

using namespace testing;

// The hook stops the save at step number `g_stopAt` (counted from 0), by
// failing it or by throwing as if the process died there.
int g_step = 0;
int g_stopAt = -1;
bool g_crash = false;
struct Crash : std::runtime_error {
    Crash() : std::runtime_error("stopped") {}
};

bool stopAtStep(ReplaceStep) {
    if (g_step++ != g_stopAt) return true;
    if (g_crash) throw Crash{};
    return false;
}

class InterruptedSave : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = dir_ / "p.px3";
        ASSERT_EQ(writeDefaultProfileFile(file_, 0), 1);
        useAsOnlyProfile(list_, file_);
        ASSERT_EQ(loadProfileFile(model_, file_), 1);
        oldBytes_ = testing::fileBytes(file_);
        // The new profile is several write chunks long: texts and a macro.
        model_.record->setEntry(20, {6, 0, 0});
        model_.texts.set(20, std::u16string(6000, u'x'));
        model_.record->setEntry(21, {3, 0, 0});
        model_.texts.set(21, u"C:\\\\tool.exe");
        MacroRecord m;
        m.setName(u"m");
        m.setMacroId(1);
        model_.macros.push_back(m);
        ProfileRecord copy = *model_.record;
        newBytes_ = buildProfileFile(copy, model_.texts, model_.macros, 0);
        ASSERT_GT(newBytes_.size(), 2 * kReplaceChunk);
        ASSERT_NE(newBytes_, oldBytes_);
    }
    void TearDown() override { setReplaceStepHook(nullptr); }

    TempFolder dir_;
    MemorySettingsStore store_;
    ProfileList list_{store_};
    ProfileModel model_;
    std::filesystem::path file_;
    std::vector<std::uint8_t> oldBytes_, newBytes_;
};

TEST_F(InterruptedSave, StoppedAtEveryStepTheFileIsTheOldProfileThenTheNewOne) {
    setReplaceStepHook(&stopAtStep);
    for (bool crash : {false, true}) {
        g_crash = crash;
        int stopAt = 0;
        for (;; ++stopAt) {
            g_step = 0;
            g_stopAt = stopAt;
            const SaveResult result = saveProfile(model_, list_);
            const std::vector<std::uint8_t> now = testing::fileBytes(file_);
            if (result == SaveResult::Saved) {
                EXPECT_EQ(now, newBytes_) << "stop at " << stopAt;
                break;
            }
            EXPECT_EQ(result, SaveResult::Failed);
            ASSERT_EQ(now, oldBytes_) << (crash ? "crash" : "failure") << " at step " << stopAt;
            ProfileContent read;
            EXPECT_TRUE(readProfileFile(file_, read));
            ASSERT_LT(stopAt, 100) << "the save never completes";
        }
        // Create, at least three writes, flush, close, replace.
        EXPECT_GE(stopAt, 7);
        // Back to the old profile for the second round; a crash may have left
        // the side file behind, which the next save simply replaces.
        setReplaceStepHook(nullptr);
        ASSERT_TRUE(writeFileReplacing(file_, oldBytes_));
        setReplaceStepHook(&stopAtStep);
    }
    setReplaceStepHook(nullptr);
    EXPECT_EQ(saveProfile(model_, list_), SaveResult::Saved);
    EXPECT_EQ(testing::fileBytes(file_), newBytes_);
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "p.px3.saving", ec));
}

TEST_F(InterruptedSave, AssignmentWhoseSaveFailsIsReportedAndStaysPending) {
    RecordingWindow window;
    AnsweringPrompt prompt;
    // Something else sits where the side file must go: the save cannot start.
    std::filesystem::create_directory(dir_ / "p.px3.saving");
    const int slot = slotOf(0, 0x01E);
    EXPECT_EQ(assign(model_, list_, window, prompt, 0, slot, {1, 0, 0, {}}), AssignResult::SaveFailed);
    EXPECT_EQ(testing::fileBytes(file_), oldBytes_);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find(file_.u16string()), std::u16string::npos);
    EXPECT_EQ(prompt.messages[0].rfind(u"情景模式文件保存失败", 0), 0u);
    // The change is in the working profile and waits to be applied or saved.
    EXPECT_EQ(model_.record->entry(slot).type, 1);
    EXPECT_TRUE(window.marks.at(slot));
    EXPECT_EQ(window.applyStates.back(), true);

    std::filesystem::remove(dir_ / "p.px3.saving");
    EXPECT_EQ(assign(model_, list_, window, prompt, 0, slot, {1, 0, 0, {}}), AssignResult::Done);
    EXPECT_EQ(prompt.messages.size(), 1u);
    ProfileContent saved;
    ASSERT_TRUE(readProfileFile(file_, saved));
    EXPECT_EQ(saved.record.entry(slot).type, 1);
}

}  // namespace
}  // namespace kb
