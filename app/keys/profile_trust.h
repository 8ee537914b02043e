// Profiles from elsewhere: which programs a profile would start, and whether
// its file changed behind this program's back since the user last accepted it.
// The digests live in a section of their own, never among the profile list's values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "profile_file.h"
#include "settings_store.h"

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

}  // namespace kb
