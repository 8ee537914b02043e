#include "px3_text.h"

#include <gtest/gtest.h>

namespace kb::px3 {
namespace {

using nlohmann::json;

TEST(Px3Text, Utf16ConversionKeepsPairsAndFlagsLoneSurrogates) {
    bool ok = false;
    const std::u16string text = u"A计😀";
    EXPECT_EQ(toUtf8(text, ok), "A\xE8\xAE\xA1\xF0\x9F\x98\x80");
    EXPECT_TRUE(ok);
    EXPECT_EQ(fromUtf8(toUtf8(text, ok)), text);
    (void)toUtf8(std::u16string{u'x', char16_t(0xDC00)}, ok);
    EXPECT_FALSE(ok);
}

// Bytes that the program may leave behind (an old name's tail, steps beyond
// the count) survive dump and build.
TEST(Px3Text, StaleRecordBytesRoundTrip) {
    ProfileRecord record = buildDefaultProfile(0);
    record.setEntry(7, {6, 0, 0});
    record.setEntry(9, {0, 0, 1234});  // type 0 with a leftover parameter
    SlotTexts texts;
    texts.set(7, std::u16string{u'a', char16_t(0xD800), u'b'});
    MacroRecord m;
    m.setName(u"LongerName");
    m.setNameUnit(2, 0);  // now "Lo" with "ngerName" after the terminator
    m.setMacroId(4);
    m.setAction(10, {5, 6, 7});
    m.setActionCount(2);
    const std::vector<std::uint8_t> bytes = buildProfileFile(record, texts, {m}, 1);

    ProfileContent content;
    ASSERT_TRUE(parseProfileBytes(bytes, content));
    const json j = json::parse(profileToJson(content).dump());
    EXPECT_TRUE(j["macros"][0].contains("nameUnits"));
    EXPECT_TRUE(j["macros"][0].contains("unusedActions"));
    EXPECT_EQ(j["header"]["defaultMark"], 1);
    EXPECT_EQ(buildFromJson(j), bytes);
}

TEST(Px3Text, BadInputNamesThePlace) {
    auto errorOf = [](const char* text) -> std::string {
        try {
            (void)buildFromJson(json::parse(text));
        } catch (const InputError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(errorOf(R"({"slots": [{"slot": -1, "type": 0}], "macros": []})"),
              "slots[0].slot: -1 is out of range 0..2047");
    EXPECT_EQ(errorOf(R"({"slots": [{"slot": 1, "type": 1.5}], "macros": []})"), "slots[0].type: expected an integer");
    EXPECT_EQ(errorOf(R"({"slots": [{"slot": 1, "type": true}], "macros": []})"), "slots[0].type: expected an integer");
    EXPECT_EQ(errorOf(R"({"slots": [{"slot": 1, "type": 0}, {"slot": 1, "type": 1}], "macros": []})"),
              "slots[1].slot: slot 1 listed twice");
    EXPECT_EQ(errorOf(R"({"slots": [{"slot": 1, "type": 6}], "macros": []})"), "slots[0].text: missing");
    EXPECT_EQ(errorOf(R"({"slots": [{"slot": 1, "type": 1, "text": "x"}], "macros": []})"),
              "slots[0].text: only types 3 and 6 carry a text");
    EXPECT_EQ(errorOf(R"({"slots": [], "macros": [{"name": "a", "macroId": 1, "actions": [[1, 2]]}]})"),
              "macros[0].actions[0]: expected [delayMs, makeCode, direction]");
    EXPECT_EQ(errorOf(R"({"slots": [], "macros": [{"name": "a", "macroId": 1, "actions": [[4294967296, 2, 0]]}]})"),
              "macros[0].actions[0][0]: 4294967296 is out of range 0..4294967295");
    EXPECT_EQ(errorOf(R"({"slots": [], "macros": [{"name": "a", "macroId": 1, "actions": [],
                          "unusedActions": [[600, 1, 1, 1]]}]})"),
              "macros[0].unusedActions[0][0]: 600 is out of range 0..575");
    const std::string longName = R"({"slots": [], "macros": [{"name": ")" + std::string(252, 'n') +
                                 R"(", "macroId": 1, "actions": []}]})";
    EXPECT_EQ(errorOf(longName.c_str()), "macros[0].name: too long (252 UTF-16 units, at most 251)");
    EXPECT_EQ(errorOf(R"({"slots": []})"), "top level.macros: missing");
}

}  // namespace
}  // namespace kb::px3
