// The list of profile files, the active index and the options, kept as
// string values in section "PROFILES" of the settings store.
#pragma once

#include "settings_store.h"
#include "profile_menu.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

namespace kb {

class MainWindowSink;

inline constexpr std::u16string_view kProfilesSection = u"PROFILES";
inline constexpr std::u16string_view kProfileExtension = u".px3";
inline constexpr std::u16string_view kProfileFolderName = u"Vortek";
inline constexpr int kDefaultProfileCommand = 9000;
inline constexpr int kFirstProfileCommand = 9001;
// Whether a notice names the layer or profile that comes into force ("1", the
// default, or "0").
inline constexpr std::u16string_view kNoticeValue = u"NOTICE";

// "%d" as the store reads it: optional white space and sign, then digits;
// empty when there are no digits or the number does not fit.
[[nodiscard]] std::optional<int> parseDecimal(std::u16string_view text) noexcept;
[[nodiscard]] std::u16string formatDecimal(int value);
// "PROFILE" and the number with at least two digits.
[[nodiscard]] std::u16string profileValueName(int number);
// File name without folder (either separator) and without extension.
[[nodiscard]] std::u16string profileDisplayName(std::u16string_view path);

class ProfileList {
public:
    explicit ProfileList(SettingsStore& store) noexcept : store_(store) {}

    [[nodiscard]] int profileCount() const;
    void setProfileCount(int n);
    // The active index for this run: as stored, but -1 (the default profile)
    // while the user has refused to activate the stored entry's file. The
    // store keeps the entry, so the next start asks again.
    [[nodiscard]] int activeIndex() const;
    // Writes i and ends a refusal.
    void setActiveIndex(int i);
    // The user said no to the stored active entry's file for this run.
    void refuseActiveForThisRun();
    [[nodiscard]] std::u16string profilePath(int i) const;
    // The stored path of entry i; empty when the store holds none.
    [[nodiscard]] std::optional<std::u16string> storedProfilePath(int i) const;
    void setProfilePath(int i, std::u16string_view path);
    [[nodiscard]] int recordDelay() const;
    int setRecordDelay(int v);
    [[nodiscard]] int flip() const;
    int setFlip(int v);
    [[nodiscard]] bool changeNotice() const;
    void setChangeNotice(bool on);

    [[nodiscard]] SettingsStore& store() const noexcept { return store_; }

private:
    [[nodiscard]] int readInt(std::u16string_view name, int fallback) const;
    // Const for profileCount(), which stores the count 0 it reads from an
    // empty store, as the program always has.
    void writeInt(std::u16string_view name, int value) const;
    SettingsStore& store_;
    static constexpr int kNoRefusal = -1;
    std::atomic<int> refused_{kNoRefusal};  // the stored index refused, if any
};

[[nodiscard]] ProfileMenu buildProfileMenu(const ProfileList& list);
// Builds the menu and hands it to the window to draw.
void rebuildProfileMenu(const ProfileList& list, MainWindowSink& window);

// The profile folder under the given documents folder; created when missing.
[[nodiscard]] std::u16string profileFolder(std::u16string_view documentsFolder);
[[nodiscard]] bool ensureProfileFolder(std::u16string_view documentsFolder);

}  // namespace kb
