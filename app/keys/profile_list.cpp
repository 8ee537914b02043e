#include "profile_list.h"
#include "ui_ports.h"

#include <filesystem>
#include <limits>
#include <system_error>

namespace kb {

std::optional<int> parseDecimal(std::u16string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    const std::size_t first = i;
    long long value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i] - u'0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
        ++i;
    }
    if (i == first) return std::nullopt;
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) return std::nullopt;
    return static_cast<int>(value);
}

std::u16string formatDecimal(int value) {
    const std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

std::u16string profileValueName(int number) {
    std::u16string digits = formatDecimal(number);
    if (number >= 0 && number < 10) digits.insert(digits.begin(), u'0');
    return u"PROFILE" + digits;
}

std::u16string profileDisplayName(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string_view::npos) name = name.substr(0, dot);
    return std::u16string(name);
}

int ProfileList::readInt(std::u16string_view name, int fallback) const {
    const auto value = store_.read(kProfilesSection, name);
    if (!value) return fallback;
    return parseDecimal(*value).value_or(fallback);
}

void ProfileList::writeInt(std::u16string_view name, int value) const {
    // Settings writes fail only when the store is unusable; nothing to tell the user.
    (void)store_.write(kProfilesSection, name, formatDecimal(value));
}

int ProfileList::profileCount() const {
    const int n = readInt(profileValueName(0), -1);
    if (n < 0) {
        writeInt(profileValueName(0), 0);
        return 0;
    }
    return n;
}

void ProfileList::setProfileCount(int n) { writeInt(profileValueName(0), n); }
int ProfileList::activeIndex() const {
    const int stored = readInt(u"ACTIVE", -1);
    return stored >= 0 && stored == refused_.load() ? -1 : stored;
}

void ProfileList::setActiveIndex(int i) {
    refused_.store(kNoRefusal);
    writeInt(u"ACTIVE", i);
}

void ProfileList::refuseActiveForThisRun() { refused_.store(readInt(u"ACTIVE", -1)); }

std::u16string ProfileList::profilePath(int i) const { return storedProfilePath(i).value_or(u"NA"); }

std::optional<std::u16string> ProfileList::storedProfilePath(int i) const {
    if (i < 0 || i == std::numeric_limits<int>::max()) return std::nullopt;
    return store_.read(kProfilesSection, profileValueName(i + 1));
}

void ProfileList::setProfilePath(int i, std::u16string_view path) {
    if (i < 0 || i == std::numeric_limits<int>::max()) return;
    (void)store_.write(kProfilesSection, profileValueName(i + 1), path);
}

int ProfileList::recordDelay() const { return readInt(u"RecordDelay", 0); }
int ProfileList::flip() const { return readInt(u"Flip", 0); }

int ProfileList::setRecordDelay(int v) {
    const int stored = (v == 0 || v == 1) ? v : 0;
    writeInt(u"RecordDelay", stored);
    return stored;
}

int ProfileList::setFlip(int v) {
    const int stored = (v == 0 || v == 1) ? v : 0;
    writeInt(u"Flip", stored);
    return stored;
}

// On unless the user turned it off: a store that never heard of it shows notices.
bool ProfileList::changeNotice() const { return readInt(kNoticeValue, 1) != 0; }

void ProfileList::setChangeNotice(bool on) { writeInt(kNoticeValue, on ? 1 : 0); }

ProfileMenu buildProfileMenu(const ProfileList& list) {
    ProfileMenu menu;
    menu.items.push_back({kDefaultProfileCommand, std::u16string(text::kDefaultProfileName)});
    menu.items.push_back({0, {}});
    const int count = list.profileCount();
    for (int i = 0; i < count; ++i) {
        menu.items.push_back({kFirstProfileCommand + i, profileDisplayName(list.profilePath(i))});
    }
    const int active = list.activeIndex();
    // An active index beyond the list checks nothing rather than a wrong item.
    const long long position = active < 0 ? 0 : static_cast<long long>(active) + 2;
    if (position < static_cast<long long>(menu.items.size())) {
        menu.checkedPosition = static_cast<int>(position);
        menu.activeName = menu.items[static_cast<std::size_t>(position)].text;
    } else {
        menu.checkedPosition = -1;
    }
    menu.toolTip = std::u16string(text::kCurrentProfileTip) + menu.activeName;
    return menu;
}

void rebuildProfileMenu(const ProfileList& list, MainWindowSink& window) {
    window.showProfileMenu(buildProfileMenu(list));
}

std::u16string profileFolder(std::u16string_view documentsFolder) {
    return (std::filesystem::path(documentsFolder) / std::u16string(kProfileFolderName)).u16string();
}

bool ensureProfileFolder(std::u16string_view documentsFolder) {
    std::error_code ec;
    const std::filesystem::path folder(profileFolder(documentsFolder));
    if (std::filesystem::is_directory(folder, ec)) return true;
    std::filesystem::create_directories(folder, ec);
    return !ec && std::filesystem::is_directory(folder, ec);
}

}  // namespace kb
