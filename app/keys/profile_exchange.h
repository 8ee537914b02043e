// Profiles shared as px3tool's JSON: the profile manager's export, and its
// Load of such a file, which becomes a new profile file beside it.
#pragma once

#include "profile_trust.h"
#include "ui_ports.h"

#include <filesystem>
#include <string>

namespace kb {

// True when the chosen file is JSON rather than a profile file (by its
// extension, else by its first character).
[[nodiscard]] bool looksLikeProfileJson(const std::filesystem::path& file);

// Writes a usable profile file as JSON; false (and nothing left at the
// target) when the file cannot be read or the JSON cannot be written.
[[nodiscard]] bool exportProfileJson(const std::filesystem::path& profile, const std::filesystem::path& target);

struct ImportOutcome {
    enum Result { Imported, Refused, Failed } result = Failed;
    std::filesystem::path written;  // the new profile file when imported
};
// Converts a JSON profile to a new ".px3" beside it (its name, or its name
// and " (2)", ... when that is taken). Malformed or out-of-range JSON is
// told with its line and field and nothing is written; a profile that starts
// programs is written only after the user agreed, as for a profile from elsewhere.
[[nodiscard]] ImportOutcome importProfileJson(const std::filesystem::path& jsonFile, ProfileTrust& trust,
                                              Prompt& prompt);

namespace text {
inline constexpr std::u16string_view kJsonProblemFormat = u"无法载入 JSON 文件 (第 %d 行, %s):\n  %s\n\n没有写入任何文件。";
inline constexpr std::u16string_view kJsonUnreadable = u"无法读取 JSON 文件:\n  %s";
inline constexpr std::u16string_view kExportFailedFormat = u"无法导出情景模式:\n  %s";
inline constexpr std::u16string_view kJsonNotWritten = u"无法写入情景模式文件:\n  %s";
}  // namespace text

}  // namespace kb
