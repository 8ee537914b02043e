#include "key_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kb {
namespace {

std::u16string nameOf(WinMakeCode code, std::size_t capacity = 64) {
    char16_t buf[64];
    keyName(code, buf, capacity);
    return buf;
}

TEST(KeyCatalogue, IndexAndCodeConvertBothWays) {
    EXPECT_EQ(catalogueIndex(0x11C), 0x9C);
    EXPECT_EQ(makeCodeOfIndex(0x9C), 0x11C);
    EXPECT_EQ(catalogueIndex(0x045), 0x45);
    EXPECT_EQ(catalogueIndex(0x145), 0xC5);
    EXPECT_EQ(makeCodeOfIndex(0x80), 0x100);
    EXPECT_EQ(makeCodeOfIndex(0xFF), 0x17F);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(catalogueIndex(makeCodeOfIndex(static_cast<std::uint8_t>(i))), i);
    }
}

TEST(KeyCatalogue, EveryChoiceListCodeNamesADistinctKey) {
    std::set<WinMakeCode> seen;
    for (std::uint16_t lc = 0; lc < kChoiceListCount; ++lc) {
        const WinMakeCode code = keyOfListCode(lc);
        ASSERT_NE(code, 0) << "list code " << lc;
        EXPECT_EQ(listCodeOfKey(code), lc);
        EXPECT_FALSE(nameOfListCode(lc).empty());
        EXPECT_TRUE(seen.insert(code).second) << "duplicate key for list code " << lc;
    }
    EXPECT_EQ(keyOfListCode(0), 0x01E);
    EXPECT_EQ(nameOfListCode(0), u"A");
    EXPECT_EQ(keyOfListCode(0x24), 0x01C);
    EXPECT_EQ(nameOfListCode(0x24), u"Enter");
    EXPECT_EQ(keyOfListCode(0x84), 0x15C);
    EXPECT_EQ(nameOfListCode(0x84), u"右边 Win");
}

TEST(KeyCatalogue, PowerKeysAreNamedButNotOffered) {
    EXPECT_EQ(keyOfListCode(0x8001), 0x15E);
    EXPECT_EQ(keyOfListCode(0x8002), 0x15F);
    EXPECT_EQ(nameOfListCode(0x8002), u"睡眠");
    EXPECT_EQ(keyOfListCode(0x8003), 0x163);
    EXPECT_EQ(listCodeOfKey(0x163), 0x8003);
}

TEST(KeyCatalogue, EmptyEntriesCarryTheirListCodes) {
    EXPECT_EQ(listCodeOfKey(0x059), 0xFFFF);
    EXPECT_EQ(listCodeOfKey(0x16E), 0);
    EXPECT_EQ(listCodeOfKey(0x17F), 0);
    EXPECT_EQ(listCodeOfKey(0x000), 0xFFFF);
    EXPECT_EQ(keyOfListCode(0x85), 0);
    EXPECT_TRUE(nameOfListCode(0x85).empty());
    EXPECT_TRUE(nameOfListCode(0x8004).empty());
}

TEST(KeyCatalogue, NamesIncludingChineseTexts) {
    EXPECT_EQ(nameOf(0x045), u"Pause");
    EXPECT_EQ(nameOf(0x145), u"Num Lock");
    EXPECT_EQ(nameOf(0x11C), u"Num Enter");
    EXPECT_EQ(nameOf(0x00E), u"退格");
    EXPECT_EQ(nameOf(0x039), u"空格");
    EXPECT_EQ(nameOf(0x16B), u"我的电脑");
    EXPECT_EQ(nameOf(0x122), u"播放/暂停");
    EXPECT_EQ(nameOf(0x11D), u"右边 Ctrl");
    EXPECT_EQ(nameOf(0x148), u"↑");
    EXPECT_EQ(nameOf(0x02B), u"\\");
}

TEST(KeyCatalogue, UnknownKeysGetTheUnknownText) {
    EXPECT_EQ(nameOf(0x055), u"未知按键: 055");
    EXPECT_EQ(nameOf(0x07F), u"未知按键: 07f");
    EXPECT_EQ(nameOf(0x000), u"未知按键: 000");
    // Out-of-range codes must not borrow the name of the key their index folds onto.
    EXPECT_EQ(nameOf(0x1B0), u"未知按键: 1b0");
    EXPECT_EQ(nameOf(0xFFFF), u"未知按键: ffff");
    EXPECT_EQ(listCodeOfKey(0x1B0), 0xFFFF);
}

TEST(KeyCatalogue, NamesAreCutToCapacityAndTerminated) {
    char16_t buf[8];
    for (char16_t& c : buf) c = u'#';
    EXPECT_EQ(keyName(0x137, buf, 4), 3u);
    EXPECT_EQ(std::u16string(buf), u"Pri");
    EXPECT_EQ(buf[4], u'#');
    EXPECT_EQ(keyName(0x055, buf, 3), 2u);
    EXPECT_EQ(std::u16string(buf), u"未知");
    EXPECT_EQ(keyName(0x01E, buf, 1), 0u);
    EXPECT_EQ(buf[0], u'\0');
    EXPECT_EQ(keyName(0x01E, buf, 0), 0u);
    EXPECT_EQ(keyName(0x01E, nullptr, 10), 0u);
}

TEST(KeyCatalogue, SingleEventKeys) {
    for (WinMakeCode c : {0x054, 0x071, 0x072, 0x137}) EXPECT_TRUE(isSingleEventKey(c)) << c;
    for (WinMakeCode c : {0x000, 0x01E, 0x045, 0x145, 0x154, 0x037}) EXPECT_FALSE(isSingleEventKey(c)) << c;
}

TEST(KeyCatalogue, DriverScanCodesAndFlags) {
    EXPECT_EQ(driverScanCode(0x045), 0x1D);
    EXPECT_EQ(driverKeyFlags(0x045, 0), 4);
    EXPECT_EQ(driverKeyFlags(0x045, 1), 5);
    EXPECT_EQ(driverScanCode(0x145), 0x45);
    EXPECT_EQ(driverKeyFlags(0x145, 0), 0);
    EXPECT_EQ(driverKeyFlags(0x145, 1), 1);
    EXPECT_EQ(driverScanCode(0x11D), 0x1D);
    EXPECT_EQ(driverKeyFlags(0x11D, 0), 2);
    EXPECT_EQ(driverKeyFlags(0x11D, 1), 3);
    EXPECT_EQ(driverScanCode(0x01E), 0x1E);
    EXPECT_EQ(driverKeyFlags(0x01E, 0), 0);
    EXPECT_EQ(driverKeyFlags(0x01E, 1), 1);
}

}  // namespace
}  // namespace kb
