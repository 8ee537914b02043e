// Profile files (".px3"): the record, the macro table and the text pool, end
// to end. Every count, size and offset read from a file is bounds-checked.
#pragma once

#include "profile_layers.h"
#include "profile_list.h"
#include "profile_model.h"
#include "ui_ports.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kb {

inline constexpr int kValidUsable = 1;
inline constexpr int kValidReplace = 0;
inline constexpr int kValidCannotOpen = -2;
inline constexpr int kValidNoMemory = -3;

struct ValidationReport {
    int result = kValidReplace;
    bool missing = false;       // result 0 because no file matches the path
    std::string reason;         // one line; empty when usable
};

// The header checks; nullptr when the 32 bytes describe a usable file.
[[nodiscard]] const char* headerProblem(const std::uint8_t* header) noexcept;

// The validation without messages.
[[nodiscard]] ValidationReport checkProfileFile(const std::filesystem::path& path);
// The validation with the user-facing messages: 1, 0, -2 or -3.
[[nodiscard]] int validateProfileFile(const std::filesystem::path& path, Prompt& prompt);

// Lays the texts of type 3 and 6 slots end to end in slot order and writes
// each offset into the record (and into `also` when given). The pool has the
// texts' total size; a text that would not fit is left out.
[[nodiscard]] std::vector<std::uint8_t> layOutTextPool(ProfileRecord& record, const SlotTexts& texts,
                                                       ProfileRecord* also = nullptr);

// The whole file for the model's content: fills the record's header and lays
// out the pool (updating the record's offsets); with layers, writes the
// fallbacks of their keys into the record and the block after the pool.
// Throws std::length_error when the content cannot be described.
[[nodiscard]] std::vector<std::uint8_t> buildProfileFile(ProfileRecord& record, const SlotTexts& texts,
                                                         const MacroTable& macros, std::uint8_t defaultMark,
                                                         const ProfileExtension* extension = nullptr);

// What a file holds, read with bounded reads. Notes say what had to be mended.
struct ProfileContent {
    ProfileRecord record;
    MacroTable macros;
    SlotTexts texts;
    ProfileExtension extension;
    std::vector<std::string> notes;
    // Why the block after the pool was dropped (the base is loaded all the same); empty when it was not.
    std::string extensionDropped;
};

// Parses file bytes whose header passed validation. A file shorter than its
// header says gives the complete macros and the part of the pool it has; a
// text outside the pool loads as an empty text, a text without terminator
// ends at the pool's end, a step count above 576 is cut to 576 and a name
// without terminator is cut to 251 units. A damaged layer block is left out
// (extensionDropped). False when the header is unusable.
[[nodiscard]] bool parseProfileBytes(std::span<const std::uint8_t> bytes, ProfileContent& out);
// Reads a file with reads bounded by the header and by the file's length.
[[nodiscard]] bool readProfileFile(const std::filesystem::path& path, ProfileContent& out);
// The bytes readProfileFile parses (none when the file cannot be read or its
// header is unusable): what a digest of the file covers. That is what the
// header describes and, when the file is longer, up to kMaxExtensionBytes
// after it (the layer block).
[[nodiscard]] std::optional<std::vector<std::uint8_t>> readProfileBytes(const std::filesystem::path& path);

// Reads the file into the model (caller holds the profile lock): 1 or 0. On
// failure the model keeps no record.
[[nodiscard]] int loadProfileFile(ProfileModel& model, const std::filesystem::path& path);
// A 16448-byte default profile: 1 on success, 0 when it cannot be written.
[[nodiscard]] int writeDefaultProfileFile(const std::filesystem::path& path, std::uint8_t defaultMark);

enum class SaveResult { Saved, NoFile, Failed };
// True when a change meant for the active profile's file did not reach it:
// the write failed, or the file is gone. The default profile has no file.
[[nodiscard]] inline bool saveLost(SaveResult result, const ProfileList& list) {
    return result == SaveResult::Failed || (result == SaveResult::NoFile && list.activeIndex() >= 0);
}
// Writes the working profile to the active profile's file when that file
// exists, after keeping its previous version (profile_backup.h). The file is
// replaced in one step; on any failure it stays as it was.
// The digest of what was written is remembered, so this program's own writes
// never count as a change behind its back. Takes the profile lock.
[[nodiscard]] SaveResult saveProfile(ProfileModel& model, const ProfileList& list);
// The same for a caller that holds the profile lock.
[[nodiscard]] SaveResult saveProfileLocked(ProfileModel& model, const ProfileList& list);
// The message for a failed save of the active profile's file (the format with its path).
[[nodiscard]] std::u16string saveFailedMessage(const ProfileList& list);

// Writes beside the target and replaces it in one step; the target is
// untouched on failure.
[[nodiscard]] bool writeFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Fault injection for tests of interrupted saves: when set, called before each
// step of a replacement (create the side file, each write of at most
// kReplaceChunk bytes, flush, close, replace). Returning false fails the step;
// the hook may also throw to leave as a crash would, with nothing cleaned up.
enum class ReplaceStep { Create, Write, Flush, Close, Replace };
using ReplaceStepHook = bool (*)(ReplaceStep step);
void setReplaceStepHook(ReplaceStepHook hook) noexcept;
inline constexpr std::size_t kReplaceChunk = 4096;
namespace detail {
[[nodiscard]] bool replaceStepAllowed(ReplaceStep step);
}

}  // namespace kb
