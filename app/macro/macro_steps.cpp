#include "macro_steps.h"

#include "key_catalogue.h"

#include <algorithm>

namespace kb {

namespace text {
inline constexpr std::u16string_view kMinDelayFormat = u"最小延迟时间为: %d(毫秒)  ";
inline constexpr std::u16string_view kMaxDelayFormat = u"最大延迟时间为: %d(毫秒)  ";
inline constexpr std::u16string_view kDelayNotNumber = u"延迟时间只能是数字(毫秒)  ";
}  // namespace text

namespace {

std::u16string withNumber(std::u16string_view format, std::uint32_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    std::u16string out(format);
    if (const auto at = out.find(u"%d"); at != std::u16string::npos) out.replace(at, 2, digits);
    return out;
}

bool isSpace(char16_t c) noexcept { return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x3000; }

}  // namespace

DelayEdit editStepDelay(std::u16string_view text, int row, std::uint32_t oldDelay) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    // Digits only: a sign or a letter is no delay. Long digit runs saturate
    // rather than wrap, so a huge number is capped like any other.
    std::uint64_t value = 0;
    bool number = !text.empty();
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') {
            number = false;
            break;
        }
        value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - u'0'), 10ull * kMaxStepDelayMs);
    }
    DelayEdit out;
    if (!number) {
        out.value = oldDelay;
        out.message = std::u16string(text::kDelayNotNumber);
        return out;
    }
    if (value == 0 && row > 0) {
        value = 1;
        out.message = withNumber(text::kMinDelayFormat, 1);
    } else if (value > kMaxStepDelayMs) {
        value = kMaxStepDelayMs;
        out.message = withNumber(text::kMaxDelayFormat, kMaxStepDelayMs);
    }
    out.value = static_cast<std::uint32_t>(value);
    out.changed = out.value != oldDelay;
    return out;
}

std::u16string_view directionText(std::uint16_t direction) noexcept { return direction == 1 ? u"↑" : u"↓"; }

std::u16string stepKeyName(std::uint16_t makeCode) {
    char16_t buffer[64];
    const std::size_t n = keyName(makeCode, buffer, std::size(buffer));
    return std::u16string(buffer, n);
}

void StepList::reset(const std::vector<MacroAction>& steps) {
    steps_.clear();
    selected_ = -1;
    for (const MacroAction& a : steps) add(a, false, false);
}

int StepList::add(MacroAction step, bool highlight, bool afterSelection) {
    if (steps_.size() >= kMaxMacroActions) return -1;
    if (step.direction > 1) step.direction = 0;
    const int at = afterSelection && valid(selected_) ? selected_ + 1 : size();
    steps_.insert(steps_.begin() + at, step);
    if (highlight) selected_ = at;
    return at;
}

bool StepList::removeSelected() {
    if (!valid(selected_)) return false;
    steps_.erase(steps_.begin() + selected_);
    // The neighbour takes the selection, so Delete can be pressed again.
    if (selected_ >= size()) selected_ = size() - 1;
    return true;
}

void StepList::clear() noexcept {
    steps_.clear();
    selected_ = -1;
}

bool StepList::move(Move where) {
    if (!valid(selected_)) return false;
    int to = selected_;
    switch (where) {
    case Move::Top: to = 0; break;
    case Move::Up: to = selected_ - 1; break;
    case Move::Down: to = selected_ + 1; break;
    case Move::Bottom: to = size() - 1; break;
    }
    to = std::clamp(to, 0, size() - 1);
    if (to == selected_) return false;
    const MacroAction step = steps_[static_cast<std::size_t>(selected_)];
    steps_.erase(steps_.begin() + selected_);
    steps_.insert(steps_.begin() + to, step);
    selected_ = to;
    return true;
}

bool StepList::setDelay(int row, std::uint32_t delayMs) {
    if (!valid(row) || steps_[static_cast<std::size_t>(row)].delayMs == delayMs) return false;
    steps_[static_cast<std::size_t>(row)].delayMs = std::min(delayMs, kMaxStepDelayMs);
    return true;
}

bool StepList::setKeyByListCode(int row, std::uint16_t listCode) {
    const WinMakeCode code = keyOfListCode(listCode);
    if (!valid(row) || listCode >= kChoiceListCount || code == 0 ||
        steps_[static_cast<std::size_t>(row)].makeCode == code) {
        return false;
    }
    steps_[static_cast<std::size_t>(row)].makeCode = code;
    return true;
}

bool StepList::setDirection(int row, std::uint16_t direction) {
    if (!valid(row) || direction > 1 || steps_[static_cast<std::size_t>(row)].direction == direction) return false;
    steps_[static_cast<std::size_t>(row)].direction = direction;
    return true;
}

}  // namespace kb
