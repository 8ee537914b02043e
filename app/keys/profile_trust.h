// Profiles from elsewhere: which programs a profile would start, and whether
// its file changed behind this program's back since the user last accepted it.
// The digests live in a section of their own, never among the profile list's values.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "profile_file.h"
#include "settings_store.h"
#include "ui_ports.h"

namespace kb {

// SHA-256 of the bytes, as 64 lower-case hex digits.
[[nodiscard]] std::string sha256Hex(std::span<const std::uint8_t> bytes);

struct ProgramAssignment {
    int slot = 0;
    std::u16string key;   // what the user sees on the drawn keyboard ("F1", "A3", "D2", ...)
    std::u16string path;  // the program the key starts
};

// Every launch-program key of the profile with a program to start, in slot order.
[[nodiscard]] std::vector<ProgramAssignment> programsOf(const ProfileContent& content);

// The label of a slot's key as the main window draws it.
[[nodiscard]] std::u16string slotLabel(int slot);

// "F1: C:\Tools\x.exe" lines, one per assignment, at most `maxLines` (then "…").
[[nodiscard]] std::u16string describePrograms(const std::vector<ProgramAssignment>& programs,
                                              std::size_t maxLines = 20);

inline constexpr std::u16string_view kTrustSection = u"TRUSTED";

// Digests of the profile files this program wrote or the user accepted, by path.
class ProfileTrust {
public:
    explicit ProfileTrust(SettingsStore& store) : store_(store) {}
    [[nodiscard]] std::optional<std::string> digestOf(std::u16string_view path) const;
    [[nodiscard]] bool remember(std::u16string_view path, std::string_view digest);

    // True when activating the file needs the user's consent: it starts
    // programs and its bytes are not the ones last written or accepted here.
    [[nodiscard]] bool needsConsent(std::u16string_view path, const ProfileContent& content,
                                    std::span<const std::uint8_t> bytes) const;

private:
    SettingsStore& store_;
};

namespace text {
// Load of a file that starts programs: its list, then whether to add it.
inline constexpr std::u16string_view kLoadProgramsIntro = u"此情景模式文件的按键会启动以下程序:\r\n\r\n";
inline constexpr std::u16string_view kLoadProgramsAsk = u"\r\n只有在您信任此文件的来源时才添加它。是否添加此情景模式?";
// Activation of such a file whose bytes are not the ones last written or accepted here.
inline constexpr std::u16string_view kActivateChanged = u"情景模式文件已在本程序之外被修改:\r\n  ";
inline constexpr std::u16string_view kActivateUnconfirmed = u"情景模式文件尚未经您确认:\r\n  ";
inline constexpr std::u16string_view kActivateProgramsIntro = u"\r\n\r\n它的按键会启动以下程序:\r\n\r\n";
inline constexpr std::u16string_view kActivateAsk = u"\r\n是否激活此情景模式? 选择\"否\"将在本次运行中使用<默认情景模式>。";
}  // namespace text

[[nodiscard]] std::u16string loadQuestion(const std::vector<ProgramAssignment>& programs);
// `changed`: a digest was remembered and differs; otherwise none is known.
[[nodiscard]] std::u16string activationNotice(std::u16string_view path, const std::vector<ProgramAssignment>& programs,
                                              bool changed);

enum class Consent { NotNeeded, Accepted, Refused };

// Before a file becomes active: when it starts programs and its bytes are not
// the ones this program last wrote or the user accepted, the user is shown
// what changed and the programs, and asked (No is the default). Yes remembers
// the bytes. Never call with a lock held: the question waits for the user.
[[nodiscard]] Consent confirmActivation(ProfileTrust& trust, Prompt& prompt, std::u16string_view path,
                                        const ProfileContent& content, std::span<const std::uint8_t> bytes);

// The profile manager's Load: a readable file that starts programs is listed
// only after the user agreed to its programs (No is the default); Yes
// remembers its bytes under `storedPath`, the path the list will keep. A file
// that cannot be read is left to the load at activation, as before.
[[nodiscard]] Consent confirmLoad(ProfileTrust& trust, Prompt& prompt, const std::filesystem::path& chosen,
                                  std::u16string_view storedPath);
// The same question for file bytes not yet written (a profile converted
// from elsewhere); bytes that do not parse need none.
[[nodiscard]] Consent confirmLoadBytes(ProfileTrust& trust, Prompt& prompt, std::span<const std::uint8_t> bytes,
                                       std::u16string_view storedPath);

}  // namespace kb
