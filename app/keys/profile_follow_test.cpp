#include "profile_follow.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

TEST(ProfileBindings, StoredBesideTheListWithoutTouchingIt) {
    MemorySettingsStore store;
    ProfileList list(store);
    list.setProfileCount(2);
    list.setProfilePath(0, u"C:\\P\\a.px3");
    list.setActiveIndex(0);
    ASSERT_TRUE(writeBindings(list, 0, {u"C:\\Games\\Game.EXE", u" other.exe ", u"game.exe", u""}));
    ASSERT_TRUE(setFollowEnabled(list, true));

    EXPECT_EQ(*store.read(kProfilesSection, u"APPS01"), u"game.exe|other.exe");
    EXPECT_EQ(readBindings(list, 0), (std::vector<std::u16string>{u"game.exe", u"other.exe"}));
    EXPECT_TRUE(readBindings(list, 1).empty());
    EXPECT_TRUE(followEnabled(list));
    EXPECT_EQ(list.profileCount(), 2);
    EXPECT_EQ(list.profilePath(0), u"C:\\P\\a.px3");
    EXPECT_EQ(list.activeIndex(), 0);
    EXPECT_EQ(bindingValueName(100), u"APPS100");
}

TEST(ProfileBindings, FollowingIsOffUnlessStoredAsOne) {
    MemorySettingsStore store;
    ProfileList list(store);
    EXPECT_FALSE(followEnabled(list));
    ASSERT_TRUE(store.write(kProfilesSection, kFollowValue, u"yes"));
    EXPECT_FALSE(followEnabled(list));
    EXPECT_EQ(parseBindings(u"|a.exe||B.exe|"), (std::vector<std::u16string>{u"a.exe", u"b.exe"}));
}

class Follower : public ::testing::Test {
protected:
    void SetUp() override { f.setBindings({{u"game.exe"}, {}, {u"Editor.exe", u"ide.exe"}}); }
    ForegroundFollower f;
};

TEST_F(Follower, SwitchesToTheBoundProfileAndBack) {
    EXPECT_EQ(f.onForeground(u"C:\\Games\\GAME.exe", 1, false), 0);
    EXPECT_EQ(f.onForeground(u"ide.exe", 0, false), 2);        // bound to bound: home stays 1
    EXPECT_EQ(f.onForeground(u"explorer.exe", 2, false), 1);
    EXPECT_EQ(f.onForeground(u"notepad.exe", 1, false), std::nullopt);
}

TEST_F(Follower, DefaultProfileComesBackToo) {
    EXPECT_EQ(f.onForeground(u"game.exe", -1, false), 0);
    EXPECT_EQ(f.onForeground(u"explorer.exe", 0, false), -1);
}

TEST_F(Follower, AlreadyActiveOrUnboundChangesNothing) {
    EXPECT_EQ(f.onForeground(u"game.exe", 0, false), std::nullopt);
    EXPECT_EQ(f.onForeground(u"explorer.exe", 0, false), std::nullopt);
}

TEST_F(Follower, TheUsersOwnChoiceWins) {
    EXPECT_EQ(f.onForeground(u"game.exe", 1, false), 0);
    // The user picked entry 2 from the menu while the game was in front.
    EXPECT_EQ(f.onForeground(u"explorer.exe", 2, false), std::nullopt);
}

TEST_F(Follower, NothingSwitchesWhileAnEditingDialogIsOpen) {
    EXPECT_EQ(f.onForeground(u"game.exe", 1, true), std::nullopt);
    EXPECT_EQ(f.onForeground(u"game.exe", 1, false), 0);
    EXPECT_EQ(f.onForeground(u"explorer.exe", 0, true), std::nullopt);
    EXPECT_EQ(f.onForeground(u"explorer.exe", 0, false), 1);  // still remembered
}

}  // namespace
}  // namespace kb
