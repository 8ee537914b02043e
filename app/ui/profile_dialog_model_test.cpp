#include "profile_dialog_model.h"

#include "fake_window_sink.h"
#include "profile_file.h"
#include "profile_trust.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

using testing::AnsweringPrompt;
using testing::RecordingDevice;
using testing::RecordingWindow;
using testing::TempFolder;

struct ProfileManager : ::testing::Test, testing::ActivationRig {
    ProfileDialogModel dialog{list};

    std::u16string path(const std::string& name) { return (dir / name).u16string(); }
    void storeList(const std::vector<std::string>& names, int active) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            ASSERT_EQ(writeDefaultProfileFile(dir / names[i], 0), 1);
            list.setProfilePath(static_cast<int>(i), path(names[i]));
        }
        list.setProfileCount(static_cast<int>(names.size()));
        list.setActiveIndex(active);
    }
};

TEST_F(ProfileManager, OpeningListsTheStoreWithTheActiveRowChecked) {
    storeList({"a.px3", "b.px3", "c.px3"}, 1);
    dialog.open();
    ASSERT_EQ(dialog.rows().size(), 3u);
    EXPECT_EQ(dialog.rows()[1].name, u"b");
    const std::u16string b = path("b.px3");
    EXPECT_EQ(dialog.rows()[1].folder, b.substr(0, b.size() - 5));
    EXPECT_EQ(dialog.checkedRow(), 1);
    EXPECT_FALSE(dialog.changed());
    EXPECT_TRUE(dialog.isOpen());
    EXPECT_EQ(profileRowOf(u"C:\\Users\\me\\Vortek\\game.v2.px3").folder, u"C:\\Users\\me\\Vortek\\");
    EXPECT_EQ(profileRowOf(u"C:\\Users\\me\\Vortek\\game.v2.px3").name, u"game.v2");
}

TEST_F(ProfileManager, AddWritesADefaultFileAtOnceAndLoadOnlyLists) {
    dialog.open();
    const std::u16string made = path("new.px3");
    EXPECT_EQ(dialog.add(made, prompt), 0);
    EXPECT_EQ(checkProfileFile(made).result, kValidUsable);
    EXPECT_EQ(std::filesystem::file_size(made), kProfileRecordSize);
    EXPECT_TRUE(dialog.changed());

    // Adding over a file replaces it before Apply.
    ASSERT_EQ(writeDefaultProfileFile(dir / "old.px3", 1), 1);
    EXPECT_EQ(dialog.add(path("old.px3"), prompt), 1);
    ProfileContent c;
    ASSERT_TRUE(readProfileFile(dir / "old.px3", c));
    EXPECT_EQ(c.record.data()[FileHeader::kDefaultMark], 0);

    // A file that cannot be written is listed, and the user is told.
    EXPECT_EQ(dialog.add(path("missing/x.px3"), prompt), 2);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find(u"x.px3"), std::u16string::npos);

    EXPECT_EQ(dialog.load(path("other.txt")), 3);
    EXPECT_FALSE(std::filesystem::exists(dir / "other.txt"));
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(list.profileCount(), 4);
    EXPECT_EQ(list.profilePath(3), path("other.px3"));  // stored under the profile extension
    EXPECT_EQ(list.activeIndex(), -1);
}

TEST_F(ProfileManager, ApplyWritesTheListAndLoadsTheCheckedProfile) {
    storeList({"a.px3", "b.px3"}, 0);
    {
        // b carries an assignment, so the load shows in the model.
        ProfileModel other;
        ASSERT_EQ(loadProfileFile(other, dir / "b.px3"), 1);
        other.record->setEntry(0x1E, {1, 0, 0});
        auto bytes = buildProfileFile(*other.record, other.texts, other.macros, 0);
        ASSERT_TRUE(writeFileReplacing(dir / "b.px3", bytes));
    }
    dialog.open();
    dialog.setChecked(1, true);
    EXPECT_EQ(dialog.checkedRow(), 1);
    EXPECT_TRUE(dialog.changed());
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(list.activeIndex(), 1);
    EXPECT_FALSE(dialog.changed());
    ASSERT_TRUE(model.record);
    EXPECT_EQ(model.record->entry(0x1E).type, 1);
    EXPECT_EQ(window.applyStates.back(), false);
    ASSERT_FALSE(window.menus.empty());
    EXPECT_EQ(window.menus.back().activeName, u"b");

    // Removing the checked row keeps its file and makes the default profile active.
    ASSERT_TRUE(dialog.remove(1));
    EXPECT_EQ(dialog.checkedRow(), -1);
    EXPECT_FALSE(dialog.remove(5));
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(list.profileCount(), 1);
    EXPECT_EQ(list.activeIndex(), -1);
    EXPECT_TRUE(std::filesystem::exists(dir / "b.px3"));

    ASSERT_TRUE(dialog.remove(0));
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(list.profileCount(), 0);
    EXPECT_EQ(list.activeIndex(), -1);
}

TEST_F(ProfileManager, SingleCheckAndCancel) {
    storeList({"a.px3", "b.px3", "c.px3"}, 0);
    dialog.open();
    dialog.setChecked(2, true);
    EXPECT_EQ(dialog.checkedRow(), 2);
    dialog.setChecked(0, false);  // not the checked row: nothing changes
    EXPECT_EQ(dialog.checkedRow(), 2);
    dialog.setChecked(2, false);
    EXPECT_EQ(dialog.checkedRow(), -1);
    ASSERT_TRUE(dialog.remove(0));
    dialog.setChecked(1, true);
    EXPECT_EQ(dialog.checkedRow(), 1);
    EXPECT_TRUE(dialog.remove(0));
    EXPECT_EQ(dialog.checkedRow(), 0);  // follows its row
    dialog.close();
    EXPECT_FALSE(dialog.isOpen());
    EXPECT_EQ(list.activeIndex(), 0);
    EXPECT_EQ(list.profileCount(), 3);
}

TEST_F(ProfileManager, ASwitchFromTheMenuMovesTheCheckOrDropsChangesWithConsent) {
    storeList({"a.px3", "b.px3", "c.px3"}, 0);
    testing::NoEditingDialogs none;
    dialog.open();
    ASSERT_EQ(activation.switchTo(2, none, &dialog), SwitchResult::Switched);
    EXPECT_EQ(dialog.checkedRow(), 2);
    EXPECT_FALSE(dialog.changed());
    EXPECT_TRUE(prompt.questions.empty());

    ASSERT_TRUE(dialog.remove(0));
    prompt.answer = false;
    EXPECT_EQ(activation.switchTo(1, none, &dialog), SwitchResult::ManagerKept);
    EXPECT_EQ(dialog.rows().size(), 2u);
    EXPECT_EQ(list.activeIndex(), 2);

    prompt.answer = true;
    ASSERT_EQ(activation.switchTo(1, none, &dialog), SwitchResult::Switched);
    EXPECT_EQ(dialog.rows().size(), 3u);  // refilled from the store
    EXPECT_EQ(dialog.checkedRow(), 1);
    EXPECT_FALSE(dialog.changed());
}

TEST_F(ProfileManager, BoundProgramsTravelWithTheirRowsAndLeaveTheListAsItWas) {
    storeList({"a.px3", "b.px3", "c.px3"}, 2);
    ASSERT_TRUE(writeBindings(list, 1, {u"game.exe"}));
    ASSERT_TRUE(writeBindings(list, 2, {u"ide.exe"}));
    dialog.open();
    EXPECT_EQ(dialog.rows()[1].programs, std::vector<std::u16string>{u"game.exe"});
    EXPECT_FALSE(dialog.followOn());

    // Typed with either separator and folders; the same names again change nothing.
    ASSERT_TRUE(dialog.setPrograms(0, u" C:\\Tools\\Edit.EXE ; notes.exe|edit.exe"));
    EXPECT_EQ(dialog.rows()[0].programs, (std::vector<std::u16string>{u"edit.exe", u"notes.exe"}));
    EXPECT_EQ(programsText(dialog.rows()[0].programs), u"edit.exe; notes.exe");
    EXPECT_TRUE(dialog.changed());
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_FALSE(dialog.setPrograms(3, u"x.exe"));
    EXPECT_TRUE(dialog.setPrograms(0, u"notes.exe;edit.exe"));
    EXPECT_FALSE(dialog.changed()) << "the same programs in another order are no change";
    ASSERT_TRUE(dialog.addPrograms(1, {u"Z:\\games\\other.exe", u"game.exe"}));
    EXPECT_EQ(dialog.rows()[1].programs, (std::vector<std::u16string>{u"game.exe", u"other.exe"}));

    // Deleting the first row moves every binding up with its profile; the
    // value left beyond the list is cleared only when a row takes its place.
    ASSERT_TRUE(dialog.remove(0));
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(list.profileCount(), 2);
    EXPECT_EQ(list.profilePath(0), path("b.px3"));
    EXPECT_EQ(readBindings(list, 0), (std::vector<std::u16string>{u"game.exe", u"other.exe"}));
    EXPECT_EQ(readBindings(list, 1), std::vector<std::u16string>{u"ide.exe"});
    EXPECT_EQ(list.activeIndex(), 1);
    EXPECT_EQ(dialog.load(path("d.px3")), 2);
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_TRUE(readBindings(list, 2).empty()) << "d must not inherit the programs a deleted row left behind";
}

TEST_F(ProfileManager, SortingReordersRowsWithTheirProgramsAndCheck) {
    storeList({"c.px3", "a.px3", "b.px3"}, 0);
    ASSERT_TRUE(writeBindings(list, 0, {u"c.exe"}));
    ASSERT_TRUE(writeBindings(list, 2, {u"b.exe"}));
    dialog.open();
    EXPECT_FALSE(dialog.reorder({0, 1}));
    EXPECT_FALSE(dialog.reorder({0, 0, 1}));
    EXPECT_FALSE(dialog.changed());
    ASSERT_TRUE(dialog.reorder({1, 2, 0}));  // a, b, c
    EXPECT_EQ(dialog.rows()[0].name, u"a");
    EXPECT_EQ(dialog.checkedRow(), 2);
    EXPECT_TRUE(dialog.changed());
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(list.profilePath(2), path("c.px3"));
    EXPECT_EQ(list.activeIndex(), 2);
    EXPECT_TRUE(readBindings(list, 0).empty());
    EXPECT_EQ(readBindings(list, 1), std::vector<std::u16string>{u"b.exe"});
    EXPECT_EQ(readBindings(list, 2), std::vector<std::u16string>{u"c.exe"});
}

TEST_F(ProfileManager, FollowAndNoticeAreStoredWithApplyAndOnlyWhenTheyChange) {
    storeList({"a.px3"}, 0);
    dialog.open();
    EXPECT_TRUE(dialog.noticeOn()) << "a store without the value shows notices";
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_FALSE(store.read(kProfilesSection, kFollowValue)) << "an untouched switch writes nothing";
    EXPECT_FALSE(store.read(kProfilesSection, kNoticeValue));
    dialog.setNotice(false);
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(store.read(kProfilesSection, kNoticeValue), u"0");
    EXPECT_FALSE(list.changeNotice());
    EXPECT_FALSE(store.read(kProfilesSection, u"APPS01")) << "a row without programs writes nothing";
    dialog.setFollow(true);
    EXPECT_TRUE(dialog.changed());
    dialog.close();
    EXPECT_FALSE(followEnabled(list)) << "Cancel drops it";
    dialog.open();
    dialog.setFollow(true);
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_TRUE(followEnabled(list));
    dialog.fill();
    EXPECT_TRUE(dialog.followOn());
}

TEST_F(ProfileManager, LoadShowsTheProgramsOfAFileAndListsItOnlyOnYes) {
    storeList({"a.px3"}, 0);
    dialog.open();
    ASSERT_TRUE(testing::writeProfileStarting(dir / "shared.txt", u"C:\\Tools\\run.exe"));
    prompt.answer = false;
    EXPECT_EQ(dialog.load(path("shared.txt"), prompt), -1);
    EXPECT_EQ(dialog.rows().size(), 1u);
    EXPECT_FALSE(dialog.changed());
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_TRUE(prompt.defaultNo[0]);
    EXPECT_NE(prompt.questions[0].find(u"F1: C:\\Tools\\run.exe"), std::u16string::npos);
    EXPECT_FALSE(ProfileTrust(store).digestOf(path("shared.px3")));

    // Yes lists it and accepts its bytes under the name the list will keep.
    prompt.answer = true;
    EXPECT_EQ(dialog.load(path("shared.txt"), prompt), 1);
    EXPECT_EQ(prompt.questions.size(), 2u);
    std::filesystem::copy_file(dir / "shared.txt", dir / "shared.px3");
    dialog.setChecked(1, true);
    ASSERT_TRUE(dialog.apply(activation, prompt));
    EXPECT_EQ(prompt.questions.size(), 2u) << "the accepted file activates without a second question";
    ASSERT_TRUE(model.record);
    EXPECT_EQ(model.record->entry(0x3B).type, 3);

    // No programs, or nothing readable: listed as before, without a question.
    EXPECT_EQ(dialog.load(path("a.px3"), prompt), 2);
    EXPECT_EQ(dialog.load(path("nowhere.px3"), prompt), 3);
    EXPECT_EQ(prompt.questions.size(), 2u);
}

}  // namespace
}  // namespace kb
