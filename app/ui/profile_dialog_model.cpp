#include "profile_dialog_model.h"

#include "list_order.h"

#include "profile_file.h"
#include "profile_trust.h"

#include <algorithm>
#include <filesystem>

namespace kb {

std::u16string ProfileRow::storedPath() const {
    return folder + name + std::u16string(kProfileExtension);
}

ProfileRow profileRowOf(std::u16string_view path) {
    const std::size_t cut = path.find_last_of(u"\\/");
    ProfileRow row;
    row.folder = cut == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, cut + 1));
    row.name = profileDisplayName(path);
    return row;
}

std::u16string programsText(const std::vector<std::u16string>& programs) {
    std::u16string out;
    for (const std::u16string& p : programs) {
        if (!out.empty()) out += u"; ";
        out += p;
    }
    return out;
}

void ProfileDialogModel::open() {
    ++openCount_;
    fill();
}

void ProfileDialogModel::close() noexcept {
    if (openCount_ == 0) return;
    changed_ = false;
    --openCount_;
}

void ProfileDialogModel::fill() {
    rows_.clear();
    checked_ = -1;
    const int count = list_.profileCount();
    for (int i = 0; i < count; ++i) {
        rows_.push_back(profileRowOf(list_.profilePath(i)));
        rows_.back().programs = readBindings(list_, i);
    }
    const int active = list_.activeIndex();
    if (active >= 0 && active < count) checked_ = active;
    follow_ = followEnabled(list_);
    notice_ = list_.changeNotice();
    changed_ = false;
}

int ProfileDialogModel::append(std::u16string_view path) {
    rows_.push_back(profileRowOf(path));
    changed_ = true;
    return static_cast<int>(rows_.size()) - 1;
}

int ProfileDialogModel::add(std::u16string_view chosenPath, Prompt& prompt) {
    if (writeDefaultProfileFile(std::filesystem::path(std::u16string(chosenPath)), 0) != 1) {
        std::u16string message(text::kCreateProfileFailed);
        if (const auto at = message.find(u"%s"); at != std::u16string::npos) message.replace(at, 2, chosenPath);
        prompt.showMessage(message);
    }
    return append(chosenPath);
}

int ProfileDialogModel::load(std::u16string_view chosenPath) { return append(chosenPath); }

int ProfileDialogModel::load(std::u16string_view chosenPath, Prompt& prompt) {
    ProfileTrust trust(list_.store());
    const std::filesystem::path chosen{std::u16string(chosenPath)};
    if (confirmLoad(trust, prompt, chosen, profileRowOf(chosenPath).storedPath()) == Consent::Refused) return -1;
    return append(chosenPath);
}

bool ProfileDialogModel::remove(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    rows_.erase(rows_.begin() + row);
    if (checked_ == row) {
        checked_ = -1;
    } else if (checked_ > row) {
        --checked_;
    }
    changed_ = true;
    return true;
}

void ProfileDialogModel::setChecked(int row, bool checked) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    const int next = checked ? row : (checked_ == row ? -1 : checked_);
    if (next == checked_) return;
    checked_ = next;
    changed_ = true;
}

bool ProfileDialogModel::setPrograms(int row, std::u16string_view typed) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    std::u16string bars(typed);
    std::replace(bars.begin(), bars.end(), u';', u'|');
    std::vector<std::u16string> programs = parseBindings(bars);
    ProfileRow& r = rows_[static_cast<std::size_t>(row)];
    std::vector<std::u16string> a = programs, b = r.programs;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b) {
        r.programs = std::move(programs);
        changed_ = true;
    }
    return true;
}

bool ProfileDialogModel::addPrograms(int row, const std::vector<std::u16string>& chosen) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    std::u16string typed = formatBindings(rows_[static_cast<std::size_t>(row)].programs);
    for (const std::u16string& p : chosen) typed += u'|' + p;
    return setPrograms(row, typed);
}

bool ProfileDialogModel::reorder(const std::vector<int>& order) {
    if (!reorderBy(rows_, order)) return false;
    checked_ = newPosition(order, checked_);
    for (std::size_t i = 0; i < order.size(); ++i)
        if (order[i] != static_cast<int>(i)) changed_ = true;
    return true;
}

void ProfileDialogModel::setFollow(bool on) {
    if (on == follow_) return;
    follow_ = on;
    changed_ = true;
}

void ProfileDialogModel::setNotice(bool on) {
    if (on == notice_) return;
    notice_ = on;
    changed_ = true;
}

bool ProfileDialogModel::apply(ProfileActivation& activation, Prompt& ask) {
    if (activation.busy()) return false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const int at = static_cast<int>(i);
        list_.setProfilePath(at, rows_[i].storedPath());
        // A row without programs leaves no value behind, unless one is there to clear.
        if (!rows_[i].programs.empty() || !readBindings(list_, at).empty()) {
            (void)writeBindings(list_, at, rows_[i].programs);
        }
    }
    list_.setProfileCount(static_cast<int>(rows_.size()));
    list_.setActiveIndex(checked_);
    if (follow_ != followEnabled(list_)) (void)setFollowEnabled(list_, follow_);
    if (notice_ != list_.changeNotice()) list_.setChangeNotice(notice_);
    (void)activation.activateListed(ApplyButton::Disable, &ask);
    changed_ = false;
    return true;
}

void ProfileDialogModel::checkRow(int i) {
    checked_ = i >= 0 && i < static_cast<int>(rows_.size()) ? i : -1;
    changed_ = false;
}

}  // namespace kb
