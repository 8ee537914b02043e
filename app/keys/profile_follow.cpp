#include "profile_follow.h"

#include <algorithm>

namespace kb {
namespace {

std::u16string fileNameLower(std::u16string_view entry) {
    while (!entry.empty() && (entry.front() == u' ' || entry.front() == u'\t')) entry.remove_prefix(1);
    while (!entry.empty() && (entry.back() == u' ' || entry.back() == u'\t')) entry.remove_suffix(1);
    auto slash = entry.find_last_of(u"\\/");
    if (slash != std::u16string_view::npos) entry.remove_prefix(slash + 1);
    std::u16string out(entry);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

}  // namespace

std::u16string bindingValueName(int number) {
    std::u16string name = profileValueName(number);  // "PROFILE07"
    return u"APPS" + name.substr(7);
}

std::vector<std::u16string> parseBindings(std::u16string_view stored) {
    std::vector<std::u16string> out;
    while (true) {
        auto bar = stored.find(u'|');
        std::u16string name = fileNameLower(stored.substr(0, bar));
        if (!name.empty() && std::find(out.begin(), out.end(), name) == out.end()) out.push_back(std::move(name));
        if (bar == std::u16string_view::npos) break;
        stored.remove_prefix(bar + 1);
    }
    return out;
}

std::u16string formatBindings(const std::vector<std::u16string>& programs) {
    std::vector<std::u16string> kept;
    for (const std::u16string& p : programs) {
        std::u16string name = fileNameLower(p);
        if (name.empty() || name.find(u'|') != std::u16string::npos) continue;
        if (std::find(kept.begin(), kept.end(), name) == kept.end()) kept.push_back(std::move(name));
    }
    std::u16string out;
    for (const std::u16string& name : kept) {
        if (!out.empty()) out += u'|';
        out += name;
    }
    return out;
}

std::vector<std::u16string> readBindings(const ProfileList& list, int index) {
    auto stored = list.store().read(kProfilesSection, bindingValueName(index + 1));
    return stored ? parseBindings(*stored) : std::vector<std::u16string>{};
}

bool writeBindings(ProfileList& list, int index, const std::vector<std::u16string>& programs) {
    return list.store().write(kProfilesSection, bindingValueName(index + 1), formatBindings(programs));
}

bool followEnabled(const ProfileList& list) {
    auto v = list.store().read(kProfilesSection, kFollowValue);
    return v && parseDecimal(*v).value_or(0) == 1;
}

bool setFollowEnabled(ProfileList& list, bool on) {
    return list.store().write(kProfilesSection, kFollowValue, on ? u"1" : u"0");
}

void ForegroundFollower::setBindings(std::vector<std::vector<std::u16string>> bindings) {
    bindings_ = std::move(bindings);
    for (auto& programs : bindings_)
        for (auto& p : programs) p = fileNameLower(p);
}

int ForegroundFollower::boundIndex(const std::u16string& program) const {
    for (std::size_t i = 0; i < bindings_.size(); ++i)
        if (std::find(bindings_[i].begin(), bindings_[i].end(), program) != bindings_[i].end())
            return static_cast<int>(i);
    return -2;
}

std::optional<int> ForegroundFollower::onForeground(std::u16string_view program, int activeIndex,
                                                    bool editingDialogOpen) {
    // The user chose another profile while we followed: theirs stays.
    if (following_ && activeIndex != switchedTo_) following_ = false;
    const int bound = boundIndex(fileNameLower(program));
    if (editingDialogOpen) return std::nullopt;
    if (bound >= 0) {
        if (bound == activeIndex) return std::nullopt;
        if (!following_) home_ = activeIndex;
        following_ = true;
        switchedTo_ = bound;
        return bound;
    }
    if (!following_) return std::nullopt;
    following_ = false;
    return home_ == activeIndex ? std::nullopt : std::optional<int>(home_);
}

}  // namespace kb
