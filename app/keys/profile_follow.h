// Profiles that follow the program in front: bindings of program file names
// to list entries, and the decision which profile a foreground change makes
// active. Bindings live beside the list's values in section "PROFILES"
// ("APPS01" belongs to "PROFILE01"), the switch in "FOLLOW"; programs and
// files that know nothing of them see no difference.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile_list.h"

namespace kb {

inline constexpr std::u16string_view kFollowValue = u"FOLLOW";

// "APPS" and the number with at least two digits, numbered as the paths.
[[nodiscard]] std::u16string bindingValueName(int number);

// Program file names as stored: "game.exe|other.exe". Parsing keeps only the
// file name of each entry (a folder typed or chosen in a dialog is dropped),
// lower-cases ASCII, drops blanks and duplicates.
[[nodiscard]] std::vector<std::u16string> parseBindings(std::u16string_view stored);
[[nodiscard]] std::u16string formatBindings(const std::vector<std::u16string>& programs);

[[nodiscard]] std::vector<std::u16string> readBindings(const ProfileList& list, int index);
[[nodiscard]] bool writeBindings(ProfileList& list, int index, const std::vector<std::u16string>& programs);
[[nodiscard]] bool followEnabled(const ProfileList& list);
[[nodiscard]] bool setFollowEnabled(ProfileList& list, bool on);

// Decides, for each foreground change, which list entry to make active.
// Entering a bound program switches to its profile and remembers the one it
// replaced; leaving for an unbound program brings that one back, unless the
// user chose another profile meanwhile (their choice wins).
class ForegroundFollower {
public:
    // bindings[i]: the programs bound to list entry i.
    void setBindings(std::vector<std::vector<std::u16string>> bindings);

    // `program`: file name of the program in front (any case, folder allowed).
    // The index to switch to (-1 = the default profile), or nothing.
    [[nodiscard]] std::optional<int> onForeground(std::u16string_view program, int activeIndex,
                                                  bool editingDialogOpen);
    // Forgets what to come back to (following turned off, list changed).
    void reset() noexcept { following_ = false; }

private:
    [[nodiscard]] int boundIndex(const std::u16string& program) const;
    std::vector<std::vector<std::u16string>> bindings_;
    bool following_ = false;
    int home_ = -1;      // active before the first switch we made
    int switchedTo_ = -1;
};

}  // namespace kb
