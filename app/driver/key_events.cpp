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

}  // namespace kb
