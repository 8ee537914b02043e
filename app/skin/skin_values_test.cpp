#include "skin_values.h"

#include <gtest/gtest.h>

namespace kbskin {
namespace {

TEST(SkinRect, ParsesTheValueGrammar) {
    EXPECT_EQ(ParseSkinRect(L"10,20,30,40"), (SkinRect{10, 20, 30, 40}));
    EXPECT_EQ(ParseSkinRect(L"10, 20,  30,\t40"), (SkinRect{10, 20, 30, 40}));
    EXPECT_EQ(ParseSkinRect(L"  -5,+7,30,40"), (SkinRect{-5, 7, 30, 40}));
    EXPECT_EQ(ParseSkinRect(L"1,2,3,4 ; old value 9,9,9,9"), (SkinRect{1, 2, 3, 4}));
    EXPECT_EQ(ParseSkinRect(L"1,2,3,4,5,6"), (SkinRect{1, 2, 3, 4}));
}

TEST(SkinRect, MissingKeyDefaultIsOnePixelAtOneOne) {
    EXPECT_EQ(ParseSkinRect(kDefaultRectText), (SkinRect{1, 1, 1, 1}));
}

TEST(SkinRect, NumbersThatDoNotParseKeepOne) {
    EXPECT_EQ(ParseSkinRect(L"40,50"), (SkinRect{40, 50, 1, 1}));
    EXPECT_EQ(ParseSkinRect(L""), (SkinRect{1, 1, 1, 1}));
    EXPECT_EQ(ParseSkinRect(L"abc"), (SkinRect{1, 1, 1, 1}));
    // A broken third number stops the scan: the fourth keeps 1 too.
    EXPECT_EQ(ParseSkinRect(L"3,4,x,9"), (SkinRect{3, 4, 1, 1}));
    // A separator other than a comma ends the value, as the C scanner would.
    EXPECT_EQ(ParseSkinRect(L"3;4,5,6"), (SkinRect{3, 1, 1, 1}));
    EXPECT_EQ(ParseSkinRect(L"3 ,4,5,6"), (SkinRect{3, 1, 1, 1}));
    EXPECT_EQ(ParseSkinRect(L"-,4,5,6"), (SkinRect{1, 1, 1, 1}));
}

TEST(SkinRect, AbsurdValuesAreClampedToSomethingDrawable) {
    EXPECT_EQ(ParseSkinRect(L"10,10,-30,-40"), (SkinRect{10, 10, 0, 0}));
    EXPECT_EQ(ParseSkinRect(L"99999999999999999999,-99999999999999999999,2147483648,4000000000"),
              (SkinRect{kMaxSkinExtent, -kMaxSkinExtent, kMaxSkinExtent, kMaxSkinExtent}));
    const SkinRect r = ClampSkinRect({-2147483647 - 1, 2147483647, -1, 70000});
    EXPECT_EQ(r, (SkinRect{-kMaxSkinExtent, kMaxSkinExtent, 0, kMaxSkinExtent}));
    // Ordinary negative offsets survive: a control may sit partly outside.
    EXPECT_EQ(ParseSkinRect(L"-12,-3,20,20"), (SkinRect{-12, -3, 20, 20}));
}

TEST(SkinNames, KeyButtonNamesFollowTheKeyIndex) {
    EXPECT_EQ(KeyButtonName(0x100), L"KEY_100");
    EXPECT_EQ(KeyButtonName(0x1E), L"KEY_01E");
    EXPECT_EQ(KeyButtonName(SkinKeyIndex(0x137)), L"KEY_0B7");  // Print
    EXPECT_EQ(KeyButtonName(SkinKeyIndex(0x11D)), L"KEY_09D");  // right Ctrl
    EXPECT_EQ(KeyButtonName(0x200 + SkinKeyIndex(0x145)), L"KEY_2C5");  // keypad Num Lock
    EXPECT_EQ(KeyButtonName(0x200 + SkinKeyIndex(0x3E)), L"KEY_23E");  // D1, not F4
    EXPECT_NE(KeyButtonName(SkinKeyIndex(0x3E)), KeyButtonName(0x200 + SkinKeyIndex(0x3E)));
}

TEST(SkinNames, ArrowFrameKeysFollowFlip) {
    EXPECT_EQ(ArrowFrameKey(ArrowSide::Left, false, 0), L"DOWN_ARROW_LEFT1");
    EXPECT_EQ(ArrowFrameKey(ArrowSide::Right, false, 1), L"DOWN_ARROW_RIGHT2");
    EXPECT_EQ(ArrowFrameKey(ArrowSide::Left, true, 1), L"UP_ARROW_LEFT2");
    EXPECT_EQ(ArrowFrameKey(ArrowSide::Right, true, 0), L"UP_ARROW_RIGHT1");
}

TEST(SkinPath, JoinsLikeTheSystemAndRefusesOverlongPaths) {
    EXPECT_EQ(JoinSkinPath(L"C:\\kb\\Skins", L"Main.jpg"), L"C:\\kb\\Skins\\Main.jpg");
    EXPECT_EQ(JoinSkinPath(L"C:\\kb\\Skins\\", L"Main.jpg"), L"C:\\kb\\Skins\\Main.jpg");
    // A name that was not read leaves the folder, which no picture loader opens.
    EXPECT_EQ(JoinSkinPath(L"C:\\kb\\Skins\\", L""), L"C:\\kb\\Skins\\");
    const std::wstring folder(200, L'a');
    EXPECT_TRUE(JoinSkinPath(folder, std::wstring(58, L'b')).has_value());   // 259 characters
    EXPECT_FALSE(JoinSkinPath(folder, std::wstring(59, L'b')).has_value());  // 260: no room for the end
}

TEST(SkinColour, ReadsHashRrggbbAndRefusesTheRest) {
    EXPECT_EQ(ParseSkinColour(L"#1B1D22"), 0x221D1Bu);  // red in the low byte
    EXPECT_EQ(ParseSkinColour(L"  #ff8a1f "), 0x1F8AFFu);
    for (const wchar_t* bad : {L"", L"1B1D22", L"#1B1D2", L"#1B1D223", L"#1G1D22", L"# 1B1D2", L"0x1B1D22"})
        EXPECT_FALSE(ParseSkinColour(bad).has_value()) << bad;
    EXPECT_STREQ(SkinColourKey(SkinColour::HeaderBack), L"HEADER_BACK");
    EXPECT_STREQ(SkinColourKey(SkinColour::Count), L"");
}

}  // namespace
}  // namespace kbskin
