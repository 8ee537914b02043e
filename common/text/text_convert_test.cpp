#include "common/text/text_convert.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConvert, Utf16AndUtf8RoundTripEveryPlane) {
    const std::u16string text = u"A\u00E9\u8BA1\U0001F600z";
    bool ok = false;
    const std::string bytes = kbtext::toUtf8(text, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(bytes, "A\xC3\xA9\xE8\xAE\xA1\xF0\x9F\x98\x80z");
    EXPECT_EQ(kbtext::fromUtf8(bytes, ok), text);
    EXPECT_TRUE(ok);
    EXPECT_EQ(kbtext::toUtf8(u""), "");
    EXPECT_EQ(kbtext::fromUtf8(""), u"");
}

TEST(TextConvert, LoneSurrogatesBecomeReplacementAndAreReported) {
    bool ok = true;
    EXPECT_EQ(kbtext::toUtf8(std::u16string{u'x', char16_t(0xDC00), char16_t(0xD800)}, ok),
              "x\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_FALSE(ok);
}

// Damaged bytes cost one replacement each and never swallow what follows.
TEST(TextConvert, MalformedUtf8KeepsTheRest) {
    bool ok = true;
    EXPECT_EQ(kbtext::fromUtf8("a\xE8\xAE", ok), u"a\uFFFD\uFFFD");  // cut short at the end
    EXPECT_FALSE(ok);
    EXPECT_EQ(kbtext::fromUtf8("\xE8Zb"), u"\uFFFDZb");              // continuation missing
    EXPECT_EQ(kbtext::fromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");         // overlong
    EXPECT_EQ(kbtext::fromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(kbtext::fromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
    EXPECT_EQ(kbtext::fromUtf8("\x80q"), u"\uFFFDq");
}

#ifdef _WIN32
TEST(TextConvert, WideViewsShareTheUnits) {
    const std::u16string text = u"C:\\\u8BA1\\a.px3";
    EXPECT_EQ(kbtext::asWide(text), std::wstring(L"C:\\\u8BA1\\a.px3"));
    EXPECT_EQ(static_cast<const void*>(kbtext::asWide(text)), static_cast<const void*>(text.c_str()));
    EXPECT_EQ(kbtext::u16(kbtext::wide(text)), text);
    EXPECT_TRUE(kbtext::asU16(static_cast<const wchar_t*>(nullptr)).empty());
    EXPECT_EQ(kbtext::wideFromUtf8(kbtext::toUtf8(std::wstring_view(L"\u4F60\u597D"))), L"\u4F60\u597D");
}
#endif

}  // namespace
