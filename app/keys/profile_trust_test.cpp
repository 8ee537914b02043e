#include "profile_trust.h"

#include <gtest/gtest.h>

#include "profile_record.h"

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

}  // namespace
}  // namespace kb
