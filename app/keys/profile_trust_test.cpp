#include "profile_trust.h"

#include <gtest/gtest.h>

#include "profile_record.h"
#include "fake_window_sink.h"
#include "profile_activation.h"
#include "test_fakes.h"

#include <fstream>
#include <iterator>

namespace kb {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Sha256, KnownDigestsAcrossBlockBoundaries) {
    EXPECT_EQ(sha256Hex(bytesOf("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex(bytesOf("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padding block.
    EXPECT_EQ(sha256Hex(bytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    std::string million(1000000, 'a');
    EXPECT_EQ(sha256Hex(bytesOf(million)), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

ProfileContent withPrograms() {
    ProfileContent c;
    auto launch = static_cast<std::uint16_t>(FunctionType::LaunchProgram);
    c.record.setEntry(0x3B, {launch, 0, 0});          // F1
    c.texts.set(0x3B, u"C:\\Tools\\a.exe");
    c.record.setEntry(258, {launch, 0, 0});           // macro key A3
    c.texts.set(258, u"C:\\b.exe");
    c.record.setEntry(0x23B, {launch, 0, 0});         // keypad D4 (F1's code on the keypad)
    c.texts.set(0x23B, u"D:\\c.exe");
    c.record.setEntry(0x3C, {launch, 0, 0});          // F2: a launch key with no program
    c.record.setEntry(0x1E, {static_cast<std::uint16_t>(FunctionType::TypeText), 0, 0});
    c.texts.set(0x1E, u"not a program");
    return c;
}

TEST(ProfilePrograms, ListsEveryKeyThatStartsAProgram) {
    auto programs = programsOf(withPrograms());
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_EQ(programs[0].key, u"F1");
    EXPECT_EQ(programs[0].path, u"C:\\Tools\\a.exe");
    EXPECT_EQ(programs[1].key, u"A3");
    EXPECT_EQ(programs[2].key, u"D4");
    EXPECT_EQ(describePrograms(programs), u"F1: C:\\Tools\\a.exe\r\nA3: C:\\b.exe\r\nD4: D:\\c.exe\r\n");
    EXPECT_EQ(describePrograms(programs, 1), u"F1: C:\\Tools\\a.exe\r\n…\r\n");
    EXPECT_TRUE(programsOf(ProfileContent{}).empty());
    EXPECT_EQ(slotLabel(263), u"B3");
}

TEST(ProfileTrust, ConsentOnlyForProgramsFromUnknownBytes) {
    MemorySettingsStore store;
    ProfileTrust trust(store);
    ProfileContent programs = withPrograms();
    auto file = bytesOf("file bytes");
    EXPECT_TRUE(trust.needsConsent(u"C:\\P\\one.px3", programs, file));
    EXPECT_FALSE(trust.needsConsent(u"C:\\P\\one.px3", ProfileContent{}, file));

    ASSERT_TRUE(trust.remember(u"C:\\P\\one.px3", sha256Hex(file)));
    EXPECT_FALSE(trust.needsConsent(u"c:\\p\\ONE.px3", programs, file));
    EXPECT_TRUE(trust.needsConsent(u"C:\\P\\one.px3", programs, bytesOf("changed behind our back")));
    EXPECT_TRUE(trust.needsConsent(u"C:\\P\\two.px3", programs, file));
    // Kept apart from the profile list's own values.
    EXPECT_FALSE(store.read(u"PROFILES", u"c:\\p\\one.px3"));
    EXPECT_TRUE(store.read(kTrustSection, u"c:\\p\\one.px3"));
}

// Activation of a listed file, as start-up, the profile menu and the manager do it.
struct Activating : ::testing::Test, testing::ActivationRig {
    std::filesystem::path file;
    void SetUp() override {
        file = dir / "shared.px3";
        ASSERT_TRUE(testing::writeProfileStarting(file, u"C:\\Tools\\run.exe"));
        testing::useAsOnlyProfile(list, file);
    }
    [[nodiscard]] std::uint16_t f1Type() {
        std::lock_guard guard(model.lock());
        return model.record ? model.record->entry(0x3B).type : 0xFFFF;
    }
    [[nodiscard]] std::string fileBytes() {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST_F(Activating, NoLeavesTheDefaultProfileForThisRunAndKeepsTheFile) {
    prompt.answer = false;
    const LoadOutcome refused = activation.activateListed();
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(refused.source, LoadedFrom::DefaultProfile);
    EXPECT_EQ(f1Type(), 0);
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_TRUE(prompt.defaultNo[0]);
    const std::u16string& q = prompt.questions[0];
    EXPECT_EQ(q.find(text::kActivateUnconfirmed), 0u);
    EXPECT_NE(q.find(file.u16string()), std::u16string::npos);
    EXPECT_NE(q.find(u"F1: C:\\Tools\\run.exe"), std::u16string::npos);

    // The store still names the file; for this run the default profile is active.
    EXPECT_EQ(store.read(kProfilesSection, u"ACTIVE"), u"0");
    EXPECT_EQ(list.activeIndex(), -1);
    EXPECT_EQ(buildProfileMenu(list).checkedPosition, 0);
    EXPECT_FALSE(store.read(kTrustSection, u"x").has_value());
    // Edits of the default profile reach no file, and none is lost.
    const std::string before = fileBytes();
    EXPECT_EQ(saveProfile(model, list), SaveResult::NoFile);
    EXPECT_FALSE(saveLost(SaveResult::NoFile, list));
    EXPECT_EQ(fileBytes(), before);

    // Choosing it again asks again; Yes activates it and remembers the bytes.
    prompt.answer = true;
    ASSERT_EQ(activation.switchTo(0, testing::NoEditingDialogs{}, nullptr), SwitchResult::Switched);
    EXPECT_EQ(prompt.questions.size(), 2u);
    EXPECT_EQ(list.activeIndex(), 0);
    EXPECT_EQ(f1Type(), 3);
    EXPECT_EQ(window.menus.back().activeName, u"shared");
}

TEST_F(Activating, AsksOnlyWhenTheBytesAreNotTheOnesAcceptedOrWrittenHere) {
    EXPECT_EQ(activation.activateListed().source, LoadedFrom::File);  // Yes
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(activation.activateListed().source, LoadedFrom::File);
    EXPECT_EQ(prompt.questions.size(), 1u) << "accepted bytes are not asked about again";

    // Our own save: a text block on A, written by this program.
    ASSERT_EQ(assign(model, list, window, prompt, 0, 0x1E, {6, 0, 0, u"hello"}), AssignResult::Done);
    EXPECT_EQ(activation.activateListed().source, LoadedFrom::File);
    EXPECT_EQ(prompt.questions.size(), 1u) << "this program's own save asks nothing";

    // Changed behind our back: the notice says so and lists the new program.
    ASSERT_TRUE(testing::writeProfileStarting(file, u"D:\\other.exe"));
    prompt.answer = false;
    EXPECT_TRUE(activation.activateListed().refused);
    ASSERT_EQ(prompt.questions.size(), 2u);
    EXPECT_EQ(prompt.questions[1].find(text::kActivateChanged), 0u);
    EXPECT_NE(prompt.questions[1].find(u"F1: D:\\other.exe"), std::u16string::npos);

    // A file that starts nothing is never asked about.
    ASSERT_EQ(writeDefaultProfileFile(file, 0), 1);
    list.setActiveIndex(0);
    EXPECT_EQ(activation.activateListed().source, LoadedFrom::File);
    EXPECT_EQ(prompt.questions.size(), 2u);
}

}  // namespace
}  // namespace kb
