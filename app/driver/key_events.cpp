#include "key_events.h"

namespace kb {
namespace {

std::u16string numbered(const char16_t* family, int number) {
    std::u16string name = kEventPrefix;
    name += family;
    name += u'_';
    // "%02d": at least two digits.
    std::u16string digits;
    unsigned v = number < 0 ? 0u : static_cast<unsigned>(number);
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    if (digits.size() < 2) digits.insert(digits.begin(), u'0');
    return name + digits;
}

}  // namespace

std::u16string keyboardEventName(int number) { return numbered(contract::kKeyboardEventFamily, number); }
std::u16string keypadEventName(int number) { return numbered(contract::kKeypadEventFamily, number); }

int latchKeyEvent(std::span<std::atomic<std::uint32_t>> latches, int eventIndex) noexcept {
    const int keys = static_cast<int>(latches.size());
    if (eventIndex < 0 || eventIndex >= 2 * keys) return -1;
    if (eventIndex >= keys) {
        latches[static_cast<std::size_t>(eventIndex - keys)] = 0;
        return -1;
    }
    // exchange: only the first press since the last release acts.
    return latches[static_cast<std::size_t>(eventIndex)].exchange(1) == 0 ? eventIndex : -1;
}

int latchKeyEvent(std::span<std::atomic<std::uint32_t>> latches, int eventIndex, bool pressAlsoSignalled) noexcept {
    const int keys = static_cast<int>(latches.size());
    int act = -1;
    if (pressAlsoSignalled && eventIndex >= keys && eventIndex < 2 * keys) act = latchKeyEvent(latches, eventIndex - keys);
    const int own = latchKeyEvent(latches, eventIndex);
    return act >= 0 ? act : own;
}

KeyEventSequencer::KeyEventSequencer(std::span<std::atomic<std::uint32_t>> latches)
    : latches_(latches), unmatchedReleaseAt_(latches.size(), 0), unmatched_(latches.size(), false) {}

int KeyEventSequencer::onEvent(int eventIndex, const std::function<bool(int key)>& takePendingPress,
                               std::uint64_t nowMs) {
    const int keys = static_cast<int>(latches_.size());
    if (eventIndex < 0 || eventIndex >= 2 * keys) return -1;
    if (eventIndex >= keys) {
        const int key = eventIndex - keys;
        const auto k = static_cast<std::size_t>(key);
        // A press already carried out is this release's; a queued one is the next tap's.
        const bool pressToo = latches_[k].load() == 0 && takePendingPress(key);
        unmatched_[k] = latches_[k].load() == 0 && !pressToo;
        unmatchedReleaseAt_[k] = nowMs;
        return latchKeyEvent(latches_, eventIndex, pressToo);
    }
    const auto k = static_cast<std::size_t>(eventIndex);
    if (unmatched_[k]) {
        unmatched_[k] = false;
        if (nowMs - unmatchedReleaseAt_[k] <= kLatePressMs && latches_[k].load() == 0) {
            // The late press of a release already handled: carry it out, leave the key up.
            return eventIndex;
        }
    }
    return latchKeyEvent(latches_, eventIndex);
}

int KeyEventSequencer::releasedAfter(int eventIndex, int acted) const noexcept {
    const int keys = static_cast<int>(latches_.size());
    if (eventIndex >= keys && eventIndex < 2 * keys) return eventIndex - keys;
    if (acted >= 0 && acted < keys && latches_[static_cast<std::size_t>(acted)].load() == 0) return acted;
    return -1;
}

}  // namespace kb
