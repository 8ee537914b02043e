// Writes the fuzzers' seed corpora: profile files and px3tool JSON made by the
// program's own code, from the default profile up to full macro tables and
// text pools, plus a few damaged variants.
//   fuzz_seeds OUTDIR   (creates OUTDIR/profile_fuzz and OUTDIR/px3_build_fuzz)
#include "px3_text.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kb;

namespace {

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A profile with `macros` macros of `steps` steps and a few texts.
std::vector<std::uint8_t> sampleProfile(int macros, int steps, bool texts, std::uint8_t mark) {
    ProfileRecord record = buildDefaultProfile(mark);
    SlotTexts slotTexts;
    MacroTable table;
    for (int i = 0; i < macros; ++i) {
        MacroRecord m;
        m.setName(u"宏" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
        m.setMacroId(static_cast<std::uint16_t>(i + 1));
        std::vector<MacroAction> actions;
        for (int s = 0; s < steps; ++s) actions.push_back({static_cast<std::uint32_t>(s * 10), 0x1E, static_cast<std::uint16_t>(s & 1)});
        m.setActions(actions);
        table.push_back(m);
    }
    if (macros > 0) record.setEntry(slotOf(0, 0x01E), {4, 0, 1});
    record.setEntry(slotOf(0, 0x030), {2, 0, 0x01C});
    record.setEntry(slotOf(0, 0x01F), {5, 0, 0});
    record.setEntry(slotOf(1, 0x04F), {1, 0, 0});
    if (texts) {
        record.setEntry(slotOf(0, 0x026), {3, 0, 0});
        slotTexts.set(slotOf(0, 0x026), u"C:\\Windows\\notepad.exe");
        record.setEntry(slotOf(0, 0x014), {6, 0, 0});
        slotTexts.set(slotOf(0, 0x014), u"hello 你好");
    }
    return buildProfileFile(record, slotTexts, table, mark);
}

// A profile with two layers, a momentary and a toggle layer key and two tap/hold keys.
std::vector<std::uint8_t> layeredProfile() {
    ProfileRecord record = buildDefaultProfile(0);
    ProfileExtension ext;
    ext.layers.resize(2);
    ext.layers[0].keys[slotOf(0, 0x024)] = {{2, 0, 0x14B}, {}};
    ext.layers[0].keys[slotOf(0, 0x03B)] = {{3, 0, 0}, u"C:\\Tools\\calc.exe"};
    ext.layers[0].keys[slotOf(1, 0x04F)] = {{6, 0, 0}, u"层"};
    ext.layers[1].keys[slotOf(0, 0x025)] = {{1, 0, 0}, {}};
    ext.keys = {{.slot = slotOf(0, 0x00F), .kind = ExtKeyKind::Layer, .layer = 2, .mode = LayerMode::Toggle},
                {.slot = slotOf(0, 0x020), .kind = ExtKeyKind::TapHold, .tap = 0x020, .holdLayer = 1, .termMs = 300},
                {.slot = slotOf(0, 0x021), .kind = ExtKeyKind::TapHold, .tap = 0x021, .hold = 0x02A},
                {.slot = slotOf(0, 0x03A), .kind = ExtKeyKind::Layer, .layer = 1}};
    return buildProfileFile(record, SlotTexts{}, {}, 0, &ext);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: fuzz_seeds OUTDIR\n", stderr);
        return 2;
    }
    const fs::path root(argv[1]);
    const fs::path profiles = root / "profile_fuzz";
    const fs::path json = root / "px3_build_fuzz";
    fs::create_directories(profiles);
    fs::create_directories(json);

    int n = 0;
    auto seedProfile = [&](std::uint8_t mode, const std::vector<std::uint8_t>& bytes) {
        std::vector<std::uint8_t> input{mode};
        input.insert(input.end(), bytes.begin(), bytes.end());
        writeFile(profiles / ("seed" + std::to_string(n++)), input);
    };
    const std::vector<std::vector<std::uint8_t>> files = {
        sampleProfile(0, 0, false, 1), sampleProfile(0, 0, true, 0), sampleProfile(1, 2, true, 0),
        sampleProfile(3, 20, true, 0), sampleProfile(100, 4, true, 0), layeredProfile()};
    for (const auto& f : files) {
        for (std::uint8_t mode : {0, 1, 3}) seedProfile(mode, f);
        // Cut inside the macro table or the pool, and one byte damaged.
        if (f.size() > kProfileRecordSize + 10) {
            seedProfile(1, std::vector<std::uint8_t>(f.begin(), f.end() - 7));
            seedProfile(0, std::vector<std::uint8_t>(f.begin(), f.begin() + kProfileRecordSize + 3));
        }
        auto bad = f;
        bad[FileHeader::kChecksum] ^= 0x5A;
        seedProfile(0, bad);
    }

    // px3tool's JSON: what it prints for the sample files, and small hand-made inputs.
    int j = 0;
    auto seedJson = [&](const std::string& text) {
        std::ofstream(json / ("seed" + std::to_string(j++))) << text;
    };
    for (const auto& f : files) {
        ProfileContent content;
        if (parseProfileBytes(f, content)) seedJson(px3::profileToJson(content).dump(1));
    }
    seedJson(R"({"header": {"defaultMark": 0}, "slots": [], "macros": []})");
    seedJson(R"({"header": {"defaultMark": 0}, "slots": [{"slot": 30, "type": 4, "macroKeyCode": 0, "parameter": 1}],
 "macros": [{"name": "one", "isNew": 0, "playMode": 0, "macroId": 1, "actions": [[0, 48, 0], [60, 48, 1]]}]})");
    seedJson(R"({"header": {"defaultMark": 1}, "slots": [{"slot": 20, "type": 6, "macroKeyCode": 0, "parameter": 0, "text": "ab"}]})");
    // Skin values: a mode byte, then UTF-16 units as the INI reads hand them over.
    const fs::path skin = root / "skin_values_fuzz";
    fs::create_directories(skin);
    int k = 0;
    auto seedSkin = [&](std::uint8_t mode, const std::u16string& value) {
        std::vector<std::uint8_t> input{mode};
        for (char16_t c : value) {
            input.push_back(static_cast<std::uint8_t>(c & 0xFF));
            input.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        writeFile(skin / ("seed" + std::to_string(k++)), input);
    };
    for (const char16_t* v : {u"1,1,1,1,x", u"  12, -4 ,+300,  22 trailing", u"99999999999,1,-5,70000",
                              u"7,8", u"", u",,,,"})
        seedSkin(0, v);
    for (const char16_t* v : {u"\x04" u"C:\\Skins\\Main_Status1.jpg", u"\x10" u"C:\\Program Files\\KbPanel\\Skins\\Key_Mask.bmp"})
        seedSkin(1, v);
    writeFile(skin / ("seed" + std::to_string(k++)), {2, 0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 0xFF, 0xD9});
    writeFile(skin / ("seed" + std::to_string(k++)), {2, 'B', 'M', 0x3E, 0, 0, 0, 0, 0, 0, 0, 0x3E, 0, 0, 0});
    writeFile(skin / ("seed" + std::to_string(k++)), {2, 'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'});
    std::printf("%d profile seeds, %d JSON seeds, %d skin seeds in %s\n", n, j, k, root.string().c_str());
    return 0;
}
