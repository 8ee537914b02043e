#include "px3_check.h"
#include "px3_text.h"
#include "layers_sample.h"

#include <gtest/gtest.h>

#include <set>

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


TEST(Px3Text, LayersDumpBuildAndBadInput) {
    ProfileRecord record = testing::sampleBase();
    ProfileExtension ext = testing::sampleExtension();
    const std::vector<std::uint8_t> bytes = buildProfileFile(record, SlotTexts{}, {}, 0, &ext);
    ProfileContent content;
    ASSERT_TRUE(parseProfileBytes(bytes, content));
    const json j = json::parse(profileToJson(content).dump());
    const json& keys = j["extension"]["keys"];
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0], json::parse(R"({"slot": 15, "kind": "layer", "layer": 2, "mode": "toggle"})"));
    EXPECT_EQ(keys[1], json::parse(R"({"slot": 32, "kind": "tapHold", "tap": 32, "hold": 0, "holdLayer": 1, "termMs": 300})"));
    EXPECT_EQ(j["extension"]["layers"][0]["slots"][1],
              json::parse(R"({"slot": 36, "type": 2, "macroKeyCode": 0, "parameter": 331})"));
    EXPECT_EQ(buildFromJson(j), bytes);

    ProfileContent plain;
    ASSERT_TRUE(parseProfileBytes(buildProfileFile(record, SlotTexts{}, {}, 0), plain));
    EXPECT_FALSE(profileToJson(plain).contains("extension"));

    auto errorOf = [](const std::string& extension) -> std::string {
        try {
            (void)buildFromJson(json::parse(R"({"slots": [], "macros": [], "extension": )" + extension + "}"));
        } catch (const InputError& e) {
            return e.what();
        }
        return "no error";
    };
    const std::string oneLayer = R"("layers": [{"slots": []}], )";
    EXPECT_EQ(errorOf("{" + oneLayer + R"("keys": [{"slot": 33, "kind": "tapHold", "tap": 33, "hold": 42, "termMs": 40}]})"),
              "extension.keys[0].termMs: 40 is out of range 50..1000");
    EXPECT_EQ(errorOf("{" + oneLayer + R"("keys": [{"slot": 33, "kind": "layer", "layer": 2, "mode": "toggle"}]})"),
              "extension.keys[0].layer: 2 is out of range 1..1");
    EXPECT_EQ(errorOf("{" + oneLayer + R"("keys": [{"slot": 33, "kind": "layer", "layer": 1, "mode": "hold"}]})"),
              "extension.keys[0].mode: expected \"momentary\" or \"toggle\"");
    EXPECT_EQ(errorOf(R"({"layers": [{"slots": [{"slot": 256, "type": 1}]}]})"),
              "extension.layers[0].slots[0].slot: slot 256 is not a keyboard or keypad key");
    EXPECT_EQ(errorOf(R"({"layers": [{}, {}, {}, {}]})"), "extension.layers: 4 layers, at most 3");
}

TEST(Px3Check, LayerFindings) {
    ProfileRecord record = testing::sampleBase();
    ProfileExtension ext = testing::sampleExtension();
    ext.layers[1].keys[testing::key(0x00F)] = {{1, 0, 0}, {}};  // Tab toggles layer 2 and is blocked there
    std::vector<std::uint8_t> bytes = buildProfileFile(record, SlotTexts{}, {}, 0, &ext);
    ProfileContent content;
    ASSERT_TRUE(parseProfileBytes(bytes, content));
    content.record.setEntry(testing::key(0x021), {0, 0, 0});  // another program changed the base
    const auto block = std::span(bytes).subspan(content.record.fileSize());
    auto kinds = [&](std::span<const std::uint8_t> b) {
        std::multiset<std::string> out;
        for (const Finding& f : lintProfile(content, b, [](std::u16string_view) { return false; })) {
            if (f.kind != "unplayed-macro") out.insert(f.kind);
        }
        return out;
    };
    EXPECT_EQ(kinds(block), (std::multiset<std::string>{"fallback-mismatch", "layer-trap", "missing-macro",
                                                         "missing-program"}));
    std::vector<std::uint8_t> damaged(block.begin(), block.end());
    damaged[20] ^= 1;
    EXPECT_EQ(kinds(damaged), (std::multiset<std::string>{"damaged-layers", "missing-macro"}));
}

}  // namespace
}  // namespace kb::px3
