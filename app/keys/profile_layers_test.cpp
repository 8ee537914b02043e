#include "profile_layers.h"
#include "fake_window_sink.h"
#include "layers_sample.h"
#include "profile_activation.h"
#include "profile_trust.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace kb {
namespace {

using testing::key;
using testing::sampleBase;
using testing::sampleExtension;

struct Sample {
    ProfileRecord record = sampleBase();
    SlotTexts texts;
    ProfileExtension ext = sampleExtension();
    std::vector<std::uint8_t> bytes;
    std::size_t blockAt = 0;
    Sample() {
        record.setEntry(key(0x03B), {6, 0, 0});
        texts.set(key(0x03B), u"base text");
        bytes = buildProfileFile(record, texts, {}, 0, &ext);
        blockAt = record.fileSize();
    }
};

TEST(LayerBlock, RoundTripsAndOldReadersSeeTheBase) {
    Sample s;
    ASSERT_GT(s.bytes.size(), s.blockAt + kExtensionHeaderSize);
    ProfileContent c;
    ASSERT_TRUE(parseProfileBytes(s.bytes, c));
    EXPECT_TRUE(c.extensionDropped.empty());
    EXPECT_EQ(c.extension, s.ext);
    EXPECT_EQ(c.texts.text(key(0x03B)), u"base text");
    // Fallbacks in the ordinary entries: tap key as "another key", layer keys blocked.
    EXPECT_EQ(c.record.entry(key(0x021)), (KeyEntry{2, 0, 0x021}));
    EXPECT_EQ(c.record.entry(key(0x03A)), (KeyEntry{1, 0, 0}));
    EXPECT_EQ(c.record.entry(key(0x01E)), (KeyEntry{2, 0, 0x030}));

    // A reader of the base format reads the described bytes: exactly the file
    // this profile makes without layers.
    ProfileRecord base = c.record;
    const std::vector<std::uint8_t> plain = buildProfileFile(base, c.texts, {}, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(s.blockAt)), plain);
    ProfileContent old;
    ASSERT_TRUE(parseProfileBytes(plain, old));
    EXPECT_TRUE(old.extension.empty());
    EXPECT_EQ(old.record, c.record);

    // A layer's programs are asked about as the base's are.
    const auto programs = programsOf(c);
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].path, u"C:\\Tools\\calc.exe");
    EXPECT_NE(programs[0].key.find(u"层 1"), std::u16string::npos);
}

TEST(LayerBlock, AnyDamageDropsOnlyTheBlock) {
    Sample s;
    ProfileContent good;
    ASSERT_TRUE(parseProfileBytes(s.bytes, good));
    auto expectDropped = [&](const std::vector<std::uint8_t>& bytes, const std::string& what) {
        ProfileContent c;
        ASSERT_TRUE(parseProfileBytes(bytes, c)) << what;
        EXPECT_TRUE(c.extension.empty()) << what;
        EXPECT_FALSE(c.extensionDropped.empty()) << what;
        EXPECT_EQ(c.record, good.record) << what;
        EXPECT_EQ(c.texts.text(key(0x03B)), u"base text") << what;
    };
    // Past the magic (another program's bytes there are left alone).
    for (std::size_t at = s.blockAt + 4; at < s.bytes.size(); ++at) {
        std::vector<std::uint8_t> flipped = s.bytes;
        flipped[at] ^= 0x10;
        expectDropped(flipped, "byte " + std::to_string(at));
    }
    for (std::size_t n = s.blockAt + 1; n < s.bytes.size(); ++n) {
        expectDropped(std::vector<std::uint8_t>(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(n)),
                      "cut at " + std::to_string(n));
    }
    std::vector<std::uint8_t> longer = s.bytes;
    longer.push_back(0);
    expectDropped(longer, "a byte after the block");

    // Whole blocks with a sound checksum but content the program never writes.
    auto withRecords = [&](std::vector<std::uint8_t> body) {
        std::vector<std::uint8_t> block{'P', 'X', 'L', 'Y', 1, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        writeU32(block.data() + 8, static_cast<std::uint32_t>(body.size()));
        writeU32(block.data() + 12, crc32(body));
        std::vector<std::uint8_t> bytes(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(s.blockAt));
        bytes.insert(bytes.end(), block.begin(), block.end());
        bytes.insert(bytes.end(), body.begin(), body.end());
        return bytes;
    };
    const std::vector<std::uint8_t> layer1{1, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    auto after = [&](std::vector<std::uint8_t> record) {
        std::vector<std::uint8_t> body = layer1;
        body.insert(body.end(), record.begin(), record.end());
        return body;
    };
    ProfileContent plainLayer;
    ASSERT_TRUE(parseProfileBytes(withRecords(layer1), plainLayer));
    ASSERT_EQ(plainLayer.extension.layers.size(), 1u);
    expectDropped(withRecords(after({3, 0, 0, 0, 10, 0, 0x21, 0, 0x21, 0, 0x2A, 0, 0, 0, 40, 0})), "term 40");
    expectDropped(withRecords(after({2, 0, 0, 0, 4, 0, 0x3A, 0, 2, 0})), "layer key to layer 2 of 1");
    expectDropped(withRecords({1, 0, 0, 0, 16, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                  "a layer entry for macro key slot 256");
    expectDropped(withRecords({1, 0, 0, 0, 8, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}), "layer 2 without layer 1");
    // Records of an unknown tag are a later version's: skipped.
    ProfileContent later;
    ASSERT_TRUE(parseProfileBytes(withRecords(after({9, 0, 0, 0, 2, 0, 0, 0, 7, 7})), later));
    EXPECT_TRUE(later.extensionDropped.empty());
    EXPECT_EQ(later.extension.layers.size(), 1u);
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct LayerSession : ::testing::Test {
    testing::TempFolder dir;
    MemorySettingsStore store;
    ProfileList list{store};
    ProfileModel model;
    Engine engine;
    testing::AnsweringPrompt prompt;
    testing::RecordingWindow window;
    testing::RecordingDevice device;
    testing::FakeWindowSink sink{window, prompt};
    ProfileActivation activation{model, engine, list, device, sink};
    std::filesystem::path file = dir / "p.px3";
    LayerSession() { testing::useAsOnlyProfile(list, file); }
};

TEST_F(LayerSession, SavesKeepTheLayersAndADamagedBlockLeavesTheBase) {
    Sample s;
    ASSERT_TRUE(writeFileReplacing(file, s.bytes));
    (void)ProfileTrust(store).remember(file.u16string(), sha256Hex(s.bytes));
    EXPECT_EQ(activation.activateListed().source, LoadedFrom::File);
    EXPECT_TRUE(prompt.messages.empty());
    {
        std::lock_guard guard(model.lock());
        EXPECT_EQ(model.extension, s.ext);
        model.extension.layers[1].keys[key(0x026)] = {{1, 0, 0}, {}};
    }
    ASSERT_EQ(saveProfile(model, list, true), SaveResult::Saved);
    ProfileContent saved;
    ASSERT_TRUE(readProfileFile(file, saved));
    EXPECT_EQ(saved.extension.layers[1].keys.size(), 2u);
    EXPECT_EQ(saved.extension.keys, s.ext.keys);

    // The key function dialog gives the tap/hold key F one of the seven functions: it stays that.
    Assignment stop;
    stop.type = 5;
    ASSERT_EQ(assign(model, list, window, prompt, kDeviceKeyboard, key(0x021), stop), AssignResult::Done);
    ASSERT_TRUE(readProfileFile(file, saved));
    EXPECT_EQ(saved.record.entry(key(0x021)), (KeyEntry{5, 0, 0}));
    EXPECT_EQ(saved.extension.keyOf(key(0x021)), nullptr);
    EXPECT_EQ(saved.extension.keys.size(), s.ext.keys.size() - 1);

    std::vector<std::uint8_t> damaged = readBytes(file);
    damaged.back() ^= 1;
    ASSERT_TRUE(writeFileReplacing(file, damaged));
    (void)ProfileTrust(store).remember(file.u16string(), sha256Hex(damaged));
    EXPECT_EQ(activation.activateListed().source, LoadedFrom::File);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].rfind(u"情景模式文件的层已损坏", 0), 0u);
    EXPECT_NE(prompt.messages[0].find(file.u16string()), std::u16string::npos);
    std::lock_guard guard(model.lock());
    EXPECT_TRUE(model.extension.empty());
    EXPECT_EQ(model.record->entry(key(0x01E)), (KeyEntry{2, 0, 0x030}));
}

}  // namespace
}  // namespace kb
