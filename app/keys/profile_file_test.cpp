#include "profile_file.h"
#include "fake_window_sink.h"
#include "profile_activation.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace kb {
namespace {

using namespace testing;

void writeBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Checked store into a copied file image.
void putU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

MacroRecord macroWith(std::uint16_t id, std::u16string_view name, int steps) {
    MacroRecord m;
    m.setMacroId(id);
    m.setName(name);
    for (int i = 0; i < steps; ++i) {
        if (!m.appendAction({static_cast<std::uint32_t>(i * 10), 0x1E, static_cast<std::uint16_t>(i % 2)})) ADD_FAILURE();
    }
    return m;
}

// A file with two macros and texts in slots 10 (type 3) and 40 (type 6).
std::vector<std::uint8_t> sampleFile() {
    ProfileRecord r = buildDefaultProfile(0);
    r.setEntry(40, {6, 0, 0});
    r.setEntry(10, {3, 0, 0});
    r.setEntry(20, {4, 0, 2});
    SlotTexts texts;
    texts.set(40, u"hello 世界");
    texts.set(10, u"C:\\Tools\\calc.exe");
    MacroTable macros{macroWith(1, u"one", 3), macroWith(2, u"two", 576)};
    return buildProfileFile(r, texts, macros, 0);
}

TEST(ProfileFileHeader, EveryHeaderByteIsCovered) {
    const std::vector<std::uint8_t> good = sampleFile();
    ASSERT_EQ(headerProblem(good.data()), nullptr);
    // Changing any of bytes 0..30 without the checksum makes the header unusable.
    for (std::size_t i = 0; i < FileHeader::kChecksum; ++i) {
        std::vector<std::uint8_t> bad = good;
        bad[i] ^= 0x01;
        EXPECT_NE(headerProblem(bad.data()), nullptr) << "byte " << i;
    }
    auto withFields = [&](std::uint16_t count, std::uint8_t mark) {
        ProfileRecord r = buildDefaultProfile(0);
        r.fillHeader(count, 0, mark);
        return std::vector<std::uint8_t>(r.data(), r.data() + kFileHeaderSize);
    };
    EXPECT_EQ(headerProblem(withFields(100, 1).data()), nullptr);
    EXPECT_NE(headerProblem(withFields(101, 0).data()), nullptr);  // sizes agree, count does not
    EXPECT_NE(headerProblem(withFields(0, 2).data()), nullptr);
}

TEST(ProfileFileLayout, PoolFollowsSlotOrderAndRoundTrips) {
    const std::vector<std::uint8_t> bytes = sampleFile();
    ProfileContent c;
    ASSERT_TRUE(parseProfileBytes(bytes, c));
    EXPECT_TRUE(c.notes.empty());
    EXPECT_EQ(c.record.entry(10).parameter, 0u);  // slot 10's path first
    EXPECT_EQ(c.record.entry(40).parameter, 2u * 17 + 2);
    EXPECT_EQ(c.texts.text(10), u"C:\\Tools\\calc.exe");
    EXPECT_EQ(c.texts.text(40), u"hello 世界");
    EXPECT_EQ(c.texts.total(), 36u + 18u);
    ASSERT_EQ(c.macros.size(), 2u);
    EXPECT_EQ(c.macros[1].usedActions(), 576u);
    EXPECT_EQ(c.macros[0].name(), u"one");
    // Writing what was read gives the same bytes.
    EXPECT_EQ(buildProfileFile(c.record, c.texts, c.macros, 0), bytes);
}

TEST(ProfileFileLayout, ExactRecordWithoutMacrosOrTexts) {
    TempFolder dir;
    const auto file = dir.path() / std::u16string(u"情景模式.px3");  // not representable in a code page
    ASSERT_EQ(writeDefaultProfileFile(file, 0), 1);
    EXPECT_EQ(std::filesystem::file_size(file), kProfileRecordSize);
    AnsweringPrompt prompt;
    EXPECT_EQ(validateProfileFile(file, prompt), kValidUsable);
    ProfileModel model;
    ASSERT_EQ(loadProfileFile(model, file), 1);
    EXPECT_TRUE(model.macros.empty());
    EXPECT_EQ(model.texts.total(), 0u);
    EXPECT_EQ(*model.record, buildDefaultProfile(0));
}

TEST(ProfileFileValidation, ResultsAndMessages) {
    TempFolder dir;
    AnsweringPrompt prompt;
    EXPECT_EQ(validateProfileFile(dir / "none.px3", prompt), kValidReplace);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], text::kProfileMissing);

    writeBytes(dir / "short.px3", std::vector<std::uint8_t>(100, 0));
    EXPECT_EQ(validateProfileFile(dir / "short.px3", prompt), kValidReplace);
    EXPECT_EQ(prompt.messages.size(), 1u);  // a wrong length is not announced

    std::vector<std::uint8_t> bad = sampleFile();
    bad[FileHeader::kChecksum] ^= 0xFF;
    writeBytes(dir / "bad.px3", bad);
    EXPECT_EQ(validateProfileFile(dir / "bad.px3", prompt), kValidReplace);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_NE(prompt.messages[1].find((dir / "bad.px3").u16string()), std::u16string::npos);
    EXPECT_EQ(prompt.messages[1].rfind(u"文件格式错误，恢复为默认值: \n  ", 0), 0u);

    std::filesystem::create_directory(dir / "folder.px3");
    EXPECT_EQ(validateProfileFile(dir / "folder.px3", prompt), kValidCannotOpen);
}

// Files whose header is fine but whose body lies: nothing may be read past
// the data or grow beyond the file.
TEST(ProfileFileBounds, DamagedBodiesLoadSafely) {
    const std::vector<std::uint8_t> good = sampleFile();
    const std::size_t poolStart = kProfileRecordSize + 2 * kMacroRecordSize;
    {  // cut inside the second macro: only the complete macro is kept, no pool
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + kProfileRecordSize + kMacroRecordSize + 100);
        ProfileContent c;
        ASSERT_TRUE(parseProfileBytes(cut, c));
        EXPECT_EQ(c.macros.size(), 1u);
        EXPECT_EQ(c.texts.text(10), u"");
        EXPECT_EQ(c.texts.size(10), 2u);  // an empty text keeps the slot consistent
        EXPECT_FALSE(c.notes.empty());
    }
    {  // cut inside the pool: slot 10's text survives, slot 40's is cut at the end
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(poolStart + 36 + 6));
        ProfileContent c;
        ASSERT_TRUE(parseProfileBytes(cut, c));
        EXPECT_EQ(c.texts.text(10), u"C:\\Tools\\calc.exe");
        EXPECT_EQ(c.texts.text(40), u"hel");
    }
    {  // offset outside the pool, odd offset rounds down
        std::vector<std::uint8_t> bad = good;
        putU32(bad, kEntriesOffset + 40 * kKeyEntrySize + 4, 0x7FFFFFF0);
        putU32(bad, kEntriesOffset + 10 * kKeyEntrySize + 4, 1);
        ProfileContent c;
        ASSERT_TRUE(parseProfileBytes(bad, c));
        EXPECT_EQ(c.texts.text(40), u"");
        EXPECT_EQ(c.texts.text(10), u"C:\\Tools\\calc.exe");
    }
    {  // step count beyond the room and a name without terminator
        std::vector<std::uint8_t> bad = good;
        std::uint8_t* m = &bad[kProfileRecordSize];
        writeU16(m + MacroRecord::kActionCountOffset, 60000);
        for (std::size_t i = 0; i < kMacroNameUnits; ++i) writeU16(m + 2 * i, u'x');
        ProfileContent c;
        ASSERT_TRUE(parseProfileBytes(bad, c));
        EXPECT_EQ(c.macros[0].actionCount(), kMaxMacroActions);
        EXPECT_EQ(c.macros[0].name(), std::u16string(kMacroNameUnits - 1, u'x'));
    }
}

TEST(ProfileFileBounds, PoolSizeFarBeyondTheFile) {
    TempFolder dir;
    ProfileRecord r = buildDefaultProfile(0);
    r.setEntry(5, {6, 0, 0x40000000});
    r.fillHeader(0, 0xF0000000u, 0);
    writeBytes(dir / "huge.px3", std::vector<std::uint8_t>(r.data(), r.data() + r.size()));
    AnsweringPrompt prompt;
    EXPECT_EQ(validateProfileFile(dir / "huge.px3", prompt), kValidUsable);  // length is not compared
    ProfileModel model;
    ASSERT_EQ(loadProfileFile(model, dir / "huge.px3"), 1);
    EXPECT_EQ(model.texts.text(5), u"");
}

TEST(ProfileSave, ReplacesWholeOrLeavesTheFileAlone) {
    TempFolder dir;
    MemorySettingsStore store;
    ProfileList list(store);
    const auto file = dir / "p.px3";
    list.setProfileCount(1);
    list.setProfilePath(0, file.u16string());
    list.setActiveIndex(0);
    writeBytes(file, sampleFile());
    ProfileModel model;
    ASSERT_EQ(loadProfileFile(model, file), 1);

    model.texts.set(10, u"D:\\other.exe");
    EXPECT_EQ(saveProfile(model, list), SaveResult::Saved);
    ProfileContent c;
    ASSERT_TRUE(readProfileFile(file, c));
    EXPECT_EQ(c.texts.text(10), u"D:\\other.exe");
    EXPECT_EQ(c.texts.text(40), u"hello 世界");
    EXPECT_FALSE(std::filesystem::exists(dir / "p.px3.saving"));

    // The write beside the file fails: the old content stays whole.
    const std::vector<std::uint8_t> before = testing::fileBytes(file);
    std::filesystem::create_directory(dir / "p.px3.saving");
    model.texts.set(10, u"E:\\lost.exe");
    EXPECT_EQ(saveProfile(model, list), SaveResult::Failed);
    EXPECT_EQ(testing::fileBytes(file), before);
    std::filesystem::remove(dir / "p.px3.saving");

    // A deleted file is not brought back; the default profile is never written.
    std::filesystem::remove(file);
    EXPECT_EQ(saveProfile(model, list), SaveResult::NoFile);
    EXPECT_FALSE(std::filesystem::exists(file));
    list.setActiveIndex(-1);
    EXPECT_EQ(saveProfile(model, list), SaveResult::NoFile);
}

struct ProfileSession : ::testing::Test, testing::ActivationRig {
    testing::FakePlayback playback;
    ProfileSession() { activation.usePlayback(&playback); }

    std::filesystem::path useFile(const std::string& name) {
        const auto file = dir / name;
        useAsOnlyProfile(list, file);
        return file;
    }
};

TEST_F(ProfileSession, MissingOrDamagedFileIsReplacedByADefaultFile) {
    const auto file = useFile("p.px3");
    LoadOutcome out = activation.activateListed();
    EXPECT_EQ(out.source, LoadedFrom::File);
    EXPECT_EQ(out.applied, 1);
    ASSERT_EQ(prompt.messages.size(), 1u);
    const std::vector<std::uint8_t> written = testing::fileBytes(file);
    ASSERT_EQ(written.size(), kProfileRecordSize);
    EXPECT_EQ(written[FileHeader::kDefaultMark], 1);
    EXPECT_EQ(window.applyStates, std::vector<bool>{false});

    std::vector<std::uint8_t> damaged = sampleFile();
    damaged[0] = 'Q';
    writeBytes(file, damaged);
    out = activation.activateListed(ApplyButton::Keep);
    EXPECT_EQ(out.source, LoadedFrom::File);
    EXPECT_EQ(testing::fileBytes(file).size(), kProfileRecordSize);
    EXPECT_EQ(testing::fileBytes(file)[FileHeader::kDefaultMark], 1);
    EXPECT_EQ(window.applyStates.size(), 1u);  // kept as it was
    // The damaged bytes are kept beside the file, and the message says where.
    std::vector<std::filesystem::path> kept;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        if (e.path().filename().string().rfind("p.px3.damaged-", 0) == 0) kept.push_back(e.path());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(testing::fileBytes(kept[0]), damaged);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[1].rfind(u"文件格式错误，恢复为默认值: \n  " + file.u16string(), 0), 0u);
    EXPECT_NE(prompt.messages[1].find(kept[0].u16string()), std::u16string::npos);

    // A second damaged file in the same second gets a name of its own; a
    // short one is kept too, though its length is not announced as a format error.
    writeBytes(file, damaged);
    (void)activation.activateListed(ApplyButton::Keep);
    writeBytes(file, std::vector<std::uint8_t>(100, 7));
    (void)activation.activateListed(ApplyButton::Keep);
    kept.clear();
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        if (e.path().filename().string().rfind("p.px3.damaged-", 0) == 0) kept.push_back(e.path());
    }
    EXPECT_EQ(kept.size(), 3u);
    ASSERT_EQ(prompt.messages.size(), 4u);
    EXPECT_EQ(prompt.messages[3].rfind(u"文件格式错误", 0), std::u16string::npos);
    EXPECT_EQ(testing::fileBytes(file)[FileHeader::kDefaultMark], 1);
}

TEST_F(ProfileSession, LoadedProfileIsAppliedAndDrawn) {
    const auto file = useFile("p.px3");
    writeBytes(file, sampleFile());
    playback.playing = true;
    const LoadOutcome out = activation.activateListed();
    EXPECT_EQ(out.source, LoadedFrom::File);
    EXPECT_EQ(playback.stops, 1);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], text::kSwitchStopsPlayback);
    ASSERT_TRUE(engine.active);
    EXPECT_EQ(engine.active->playTable.size(), 2u);
    EXPECT_EQ(poolText(engine.active->pool, engine.active->record.entry(40).parameter), u"hello 世界");
    EXPECT_EQ(window.marks.size(), 5u + 87u + 23u);
    EXPECT_FALSE(window.marks[slotOf(0, 0x01E)]);
}

TEST_F(ProfileSession, DefaultProfileTouchesNoFile) {
    const auto file = useFile("p.px3");
    list.setActiveIndex(-1);
    const LoadOutcome out = activation.activateListed();
    EXPECT_EQ(out.source, LoadedFrom::DefaultProfile);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(prompt.messages.empty());
    ASSERT_TRUE(model.record);
    EXPECT_EQ(*model.record, buildDefaultProfile(0));
    EXPECT_TRUE(engine.active);
}

TEST_F(ProfileSession, ActiveIndexWithoutStoredPathWritesNoFile) {
    useFile("p.px3");
    list.setActiveIndex(4);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const LoadOutcome out = activation.activateListed();
    std::filesystem::current_path(cwd);
    EXPECT_EQ(out.source, LoadedFrom::DefaultProfile);
    EXPECT_FALSE(std::filesystem::exists(dir / "NA"));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], text::kProfileMissing);
    EXPECT_TRUE(engine.active);
}

TEST_F(ProfileSession, UnreadableFileFallsBackToTheDefaultProfile) {
    const auto file = useFile("p.px3");
    std::filesystem::create_directory(file);  // validation: cannot be opened
    const LoadOutcome out = activation.activateListed();
    EXPECT_EQ(out.source, LoadedFrom::DefaultProfile);
    EXPECT_EQ(out.applied, 1);
    EXPECT_TRUE(std::filesystem::is_directory(file));  // left alone
    ASSERT_TRUE(model.record);
}

}  // namespace
}  // namespace kb
