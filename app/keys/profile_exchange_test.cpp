// Export and import through px3tool's JSON: the same profile comes back,
// and JSON that cannot be a profile is refused with its line, writing nothing.
#include "profile_exchange.h"
#include "profile_json.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kb {
namespace {

using testing::AnsweringPrompt;
using testing::TempFolder;

std::string dumpOf(const std::filesystem::path& file) {
    ProfileContent c;
    EXPECT_TRUE(readProfileFile(file, c));
    return px3::profileJsonText(c);
}

struct Exchange : ::testing::Test {
    TempFolder dir;
    MemorySettingsStore store;
    ProfileTrust trust{store};
    AnsweringPrompt prompt;
};

TEST_F(Exchange, ExportThenImportGivesTheSameProfile) {
    const auto original = dir / "game.px3";
    ASSERT_TRUE(testing::writeProfileStarting(original, u"C:\\Tools\\计算器.exe"));
    ASSERT_TRUE(exportProfileJson(original, dir / "game.json"));
    // The original stays where it is: the import makes "game (2).px3".
    const ImportOutcome out = importProfileJson(dir / "game.json", trust, prompt);
    ASSERT_EQ(out.result, ImportOutcome::Imported);
    EXPECT_EQ(out.written, dir / "game (2).px3");
    EXPECT_EQ(dumpOf(out.written), dumpOf(original));
    // It starts a program: asked first, as for a profile from elsewhere, and accepted.
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_NE(prompt.questions[0].find(u"C:\\Tools\\计算器.exe"), std::u16string::npos);
    EXPECT_TRUE(trust.digestOf(out.written.u16string()));

    prompt.answer = false;
    const ImportOutcome refused = importProfileJson(dir / "game.json", trust, prompt);
    EXPECT_EQ(refused.result, ImportOutcome::Refused);
    EXPECT_FALSE(std::filesystem::exists(dir / "game (3).px3"));
    EXPECT_TRUE(looksLikeProfileJson(dir / "game.json"));
    EXPECT_FALSE(looksLikeProfileJson(original));
    EXPECT_FALSE(exportProfileJson(dir / "missing.px3", dir / "x.json"));
    EXPECT_FALSE(std::filesystem::exists(dir / "x.json"));
}

TEST_F(Exchange, BadJsonIsRefusedWithItsLineAndFieldAndWritesNothing) {
    const struct {
        const char* text;
        const char16_t* where;
    } cases[] = {
        {"{\"slots\": [\n  {\"slot\": 1, \"type\": 1}\n  {\"slot\": 2}\n], \"macros\": []}\n", u"(第 3 行, slots)"},
        {"{\"slots\": [],\n \"macros\": [\n  {\"name\": \"a\",\n   \"macroId\": 101, \"actions\": []}]}\n",
         u"(第 4 行, macros[0].macroId)"},
        {"{\"slots\": [{\"slot\": 5,\n  \"type\": 6}], \"macros\": []}", u"(第 1 行, slots[0].text)"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir / "bad.json", std::ios::binary | std::ios::trunc) << c.text;
        prompt.messages.clear();
        EXPECT_EQ(importProfileJson(dir / "bad.json", trust, prompt).result, ImportOutcome::Failed);
        ASSERT_EQ(prompt.messages.size(), 1u) << c.text;
        EXPECT_NE(prompt.messages[0].find(c.where), std::u16string::npos) << c.text;
        EXPECT_FALSE(std::filesystem::exists(dir / "bad.px3"));
    }
}

}  // namespace
}  // namespace kb
