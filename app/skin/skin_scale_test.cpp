#include "skin_scale.h"

#include <gtest/gtest.h>

#include <vector>

namespace kbskin {
namespace {

const std::vector<int> kAllSets{125, 150, 175, 200};

TEST(SkinScale, ChoosesTheNearestSetAtOrAboveTheScale) {
    // exact sets: drawn 1:1
    EXPECT_EQ(ChooseSkinSet(96, kAllSets), (SkinSetChoice{100, {}}));
    EXPECT_EQ(ChooseSkinSet(120, kAllSets), (SkinSetChoice{125, {}}));
    EXPECT_EQ(ChooseSkinSet(144, kAllSets), (SkinSetChoice{150, {}}));
    EXPECT_EQ(ChooseSkinSet(192, kAllSets), (SkinSetChoice{200, {}}));
    // between sets: the next larger one, scaled down
    const SkinSetChoice between = ChooseSkinSet(130, kAllSets);
    EXPECT_EQ(between.percent, 150);
    EXPECT_EQ(between.stretch.apply(1440), 1300);
    EXPECT_EQ(ChooseSkinSet(100, kAllSets).percent, 125);
    // beyond the largest: the largest, stretched up
    const SkinSetChoice beyond = ChooseSkinSet(288, kAllSets);
    EXPECT_EQ(beyond.percent, 200);
    EXPECT_EQ(beyond.stretch.apply(917), 1376);
    // below the skin's own scale: its own pixels
    EXPECT_EQ(ChooseSkinSet(72, kAllSets), (SkinSetChoice{100, {}}));
}

TEST(SkinScale, OnlyTheSkinsOwnSetIsStretchedToTheScale) {
    const SkinSetChoice own = ChooseSkinSet(144, {});
    EXPECT_EQ(own.percent, 100);
    EXPECT_EQ(own.stretch.apply(917), 1376);  // 1.5x, halves rounded up
    EXPECT_EQ(own.stretch.apply(494), 741);
    // a skin with some sets: never a smaller one stretched up while a larger exists
    const std::vector<int> some{200};
    const SkinSetChoice c = ChooseSkinSet(120, some);
    EXPECT_EQ(c.percent, 200);
    EXPECT_EQ(c.stretch.apply(1920), 1200);
    // damaged lists: sets below 100 are no sets
    const std::vector<int> odd{50, 0, -3};
    EXPECT_EQ(ChooseSkinSet(96, odd), (SkinSetChoice{100, {}}));
}

TEST(SkinScale, SetPathsPutTheSetFolderBeforeTheFileName) {
    EXPECT_EQ(SkinSetPath(L"C:\\KbPanel\\Skins\\Main.ini", 150), L"C:\\KbPanel\\Skins\\150\\Main.ini");
    EXPECT_EQ(SkinSetPath(L"C:\\KbPanel\\Skins\\Main.ini", 100), L"C:\\KbPanel\\Skins\\Main.ini");
    EXPECT_EQ(SkinSetPath(L"Skins\\Main_Status1.jpg", 200), L"Skins\\200\\Main_Status1.jpg");
    EXPECT_EQ(SkinSetPath(L"Main.ini", 125), L"125\\Main.ini");
    EXPECT_EQ(SkinSetPath(L"C:\\KbPanel\\Skins\\", 175), L"C:\\KbPanel\\Skins\\175\\");
}

TEST(SkinScale, StretchedRectanglesKeepTheirSeams) {
    const ScaleFactor f{144, 96};
    EXPECT_EQ(ScaleSkinRect({11, 163, 33, 21}, f), (SkinRect{17, 245, 49, 31}));
    // two caps that meet at x = 44 still meet
    const SkinRect a = ScaleSkinRect({11, 0, 33, 10}, f), b = ScaleSkinRect({44, 0, 33, 10}, f);
    EXPECT_EQ(a.x + a.w, b.x);
    EXPECT_EQ(ScaleSkinRect({-4, 1, 1, 1}, f), (SkinRect{-6, 2, 1, 1}));
    EXPECT_EQ(ScaleSkinRect({5, 6, 7, 8}, {}), (SkinRect{5, 6, 7, 8}));
}

TEST(SkinScale, StretchedRunsCoverThePictureStretchedLikeThem) {
    const std::vector<RunRect> runs{{0, 0, 4, 1}, {1, 1, 3, 2}, {0, 2, 4, 3}};
    const auto up = ScaleRuns(runs, {3, 2});
    EXPECT_EQ(up, (std::vector<RunRect>{{0, 0, 6, 2}, {2, 2, 5, 3}, {0, 3, 6, 5}}));
    // shrinking: a row that falls between two pixel rows goes
    const auto down = ScaleRuns(runs, {1, 2});
    EXPECT_EQ(down, (std::vector<RunRect>{{0, 0, 2, 1}, {0, 1, 2, 2}}));
}

}  // namespace
}  // namespace kbskin
