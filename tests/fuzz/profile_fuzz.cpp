// Profile file bytes from anywhere: validation, parsing and loading must never
// crash, read out of bounds or hang, and whatever loads must save and load again.
//
// Input: one mode byte, then the file. Mode bit 0 repairs the header (magic,
// sizes, counts, checksum) so that the fuzzer reaches the macros, texts and
// pool instead of stopping at the checksum; bit 1 also goes through a real file
// (validation and the model's load) when bit 0 is set as well: the file costs
// time, and unrepaired headers seldom get past validation anyway.
#include "profile_file.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace kb;

void repairHeader(std::vector<std::uint8_t>& b) {
    std::uint8_t* h = b.data();
    h[0] = 'P';
    h[1] = 'X';
    writeU16(h + FileHeader::kHeaderSize, kFileHeaderSize);
    writeU16(h + FileHeader::kVersion, FileHeader::kVersionValue);
    writeU16(h + FileHeader::kRevision, FileHeader::kRevisionValue);
    writeU16(h + FileHeader::kSlotCount, kSlotCount);
    const std::uint16_t count = readU16(h + FileHeader::kMacroCount) % (kMaxMacros + 1);
    writeU16(h + FileHeader::kMacroCount, count);
    // The pool size stays as the input says, within 1 MiB: a file may be
    // shorter than its header describes.
    const std::uint32_t pool = readU32(h + FileHeader::kPoolSize) & 0xFFFFF;
    writeU32(h + FileHeader::kPoolSize, pool);
    writeU32(h + FileHeader::kFileSize, static_cast<std::uint32_t>(kProfileRecordSize + count * kMacroRecordSize + pool));
    h[FileHeader::kDefaultMark] &= 1;
    h[FileHeader::kChecksum] = headerChecksum(h);
}

void check(bool ok) {
    if (!ok) std::abort();
}

const std::filesystem::path& scratchFile() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("profile_fuzz_" + std::to_string(getpid()) + ".px3");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    if ((mode & 1) != 0 && bytes.size() >= kProfileRecordSize) repairHeader(bytes);
    if (bytes.size() >= kFileHeaderSize) (void)headerProblem(bytes.data());

    ProfileContent content;
    const bool parsed = parseProfileBytes(bytes, content);
    if (parsed) {
        check(content.macros.size() <= kMaxMacros);
        for (const MacroRecord& m : content.macros) check(m.actionCount() <= kMaxMacroActions);
        // What loads can be saved and loaded again, with the same keys.
        try {
            ProfileRecord record = content.record;
            const std::vector<std::uint8_t> again =
                buildProfileFile(record, content.texts, content.macros, content.record.data()[FileHeader::kDefaultMark],
                                 &content.extension);
            ProfileContent reread;
            check(parseProfileBytes(again, reread));
            check(reread.extensionDropped.empty() && reread.extension == content.extension);
            check(reread.macros.size() == content.macros.size());
            for (int slot = 0; slot < kSlotCount; ++slot) {
                check(reread.record.entry(slot).type == content.record.entry(slot).type);
                check(reread.texts.text(slot) == content.texts.text(slot));
            }
        } catch (const std::length_error&) {
            // Content the header cannot describe is refused by the save, by design.
        }
    }

    if ((mode & 3) == 3) {
        {
            std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        const ValidationReport report = checkProfileFile(scratchFile());
        ProfileModel model;
        const int loaded = loadProfileFile(model, scratchFile());
        check(loaded == (parsed ? 1 : 0));
        check(report.result != kValidUsable || parsed);
        check((loaded == 1) == model.record.has_value());
    }
    return 0;
}
