#include "app_rules.h"

namespace kb::ui {

std::optional<AppPaths> buildAppPaths(std::u16string_view modulePath) {
    if (modulePath.empty() || modulePath.size() >= kMaxPath) return std::nullopt;
    const std::size_t slash = modulePath.find_last_of(u"\\/");
    if (slash == std::u16string_view::npos || slash + 1 == modulePath.size()) return std::nullopt;
    AppPaths p;
    p.programFolder = std::u16string(modulePath.substr(0, slash + 1));
    p.programFileName = std::u16string(modulePath.substr(slash + 1));
    p.helpFolder = p.programFolder + u"Help\\";
    p.skinFolder = p.programFolder + u"Skins\\";
    p.mainSkinFile = p.skinFolder + u"Main.ini";
    p.profileSkinFile = p.skinFolder + u"Profile.ini";
    p.keySkinFile = p.skinFolder + u"Key.ini";
    p.macroSkinFile = p.skinFolder + u"Macro.ini";
    // The longest derived path must fit too, or a skin file would be cut.
    if (p.profileSkinFile.size() >= kMaxPath) return std::nullopt;
    return p;
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) noexcept {
    if (a.size() != b.size()) return false;
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool asksToKill(const std::vector<std::u16string>& argsAfterProgram) {
    for (const auto& arg : argsAfterProgram) {
        if (equalsIgnoringCase(arg, u"/Kill")) return true;
    }
    return false;
}

SessionSuspension::Action SessionSuspension::onSessionChange(int e) noexcept {
    if (e == kConsoleDisconnect || e == kSessionLock) {
        awaited_ = e == kConsoleDisconnect ? kConsoleConnect : kSessionUnlock;
        if (suspended_) return Action::None;
        suspended_ = true;
        return Action::Withdraw;
    }
    if ((e == kSessionUnlock || e == kConsoleConnect) && suspended_ && awaited_ == e) {
        suspended_ = false;
        return Action::Restore;
    }
    return Action::None;
}

std::optional<int> TrayPicture::set(int id) noexcept {
    if (id == current_) return std::nullopt;
    current_ = id;
    return id;
}

std::optional<int> TrayPicture::playbackIndication(bool playing, int id) noexcept {
    if (playing) return set(kPlaying);
    if (id == 0) return set(remembered_);
    remembered_ = id;
    return set(id);
}

std::optional<int> TrayPicture::attachState(int state) noexcept {
    return playbackIndication(false, state > 0 ? kAttached : kDetached);
}

}  // namespace kb::ui
