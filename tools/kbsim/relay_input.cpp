#include "relay_input.h"

#include <algorithm>

#include "kbsim/sieve_ioctl.h"
#include "key_catalogue.h"
#include "key_tables.h"

namespace kb::sim {

namespace {

std::uint16_t rd16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::int32_t rd32s(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16) |
                                     (static_cast<std::uint32_t>(p[3]) << 24));
}

// The record's button down flags, each with its up flag one bit above.
struct Button {
    std::uint16_t down;
    std::uint32_t inputDown, inputUp;
    std::int32_t data;
};
constexpr Button kButtons[] = {
    {0x001, kMouseLeftDown, kMouseLeftUp, 0},     {0x004, kMouseRightDown, kMouseRightUp, 0},
    {0x010, kMouseMiddleDown, kMouseMiddleUp, 0}, {0x040, kMouseXDown, kMouseXUp, 1},
    {0x100, kMouseXDown, kMouseXUp, 2},
};
constexpr std::uint16_t kWheel = 0x400;

RelayedInput keyInput(std::uint16_t code, bool up) {
    RelayedInput in;
    in.code = code;
    const std::uint8_t vk = kinset::akeyEntry(kinset::akeyOfWinMakeCode(code)).virtualKey;
    in.virtualKey = vk == 0xFF ? 0 : vk;
    in.up = up;
    return in;
}

RelayedInput mouseInput(std::uint32_t flags, std::int32_t data) {
    RelayedInput in;
    in.mouse = true;
    in.flags = flags;
    in.data = data;
    return in;
}

}  // namespace

void RelayTranslator::translate(std::span<const std::uint8_t> entry, std::vector<RelayedInput>& out) {
    const int pauseHalf = pauseHalf_;
    pauseHalf_ = -1;
    if (entry.size() != KBS_LOG_ENTRY_SIZE) return;
    const std::uint8_t* record = entry.data() + 4;
    const bool injected = entry[0] == KBS_ORIGIN_INJECTED;
    if (entry[1] == KBS_KIND_MOUSE) {
        mouse(record, out);
        return;
    }
    if (entry[1] != KBS_KIND_KEY) return;
    const std::uint16_t scan = rd16(record), flags = rd16(record + 2);
    // The injection library sends Pause as E1 1D, then 45: one key, as the system sees it.
    if (pauseHalf >= 0 && injected && scan == 0x45 && (flags & ~KBS_KEY_BREAK) == 0 &&
        static_cast<int>(flags & KBS_KEY_BREAK) == pauseHalf)
        return;
    key(injected, scan, flags, out);
}

void RelayTranslator::key(bool injected, std::uint16_t scan, std::uint16_t flags, std::vector<RelayedInput>& out) {
    if (scan == 0 || scan > 0xFF || flags > 7) return;
    const std::uint16_t code = kinset::winMakeCodeOfRecord(scan, flags);
    if (code == 0x12A || code == 0x136) return;  // fake shifts: no key of their own
    if (injected && (flags & KBS_KEY_E1) && scan == 0x1D) pauseHalf_ = flags & KBS_KEY_BREAK;
    const bool up = flags & KBS_KEY_BREAK;
    if (!up && isSingleEventKey(code)) return;  // the system reports only their release
    auto held = std::find(keysDown_.begin(), keysDown_.end(), code);
    if (up && held != keysDown_.end()) keysDown_.erase(held);
    if (!up && held == keysDown_.end()) keysDown_.push_back(code);
    out.push_back(keyInput(code, up));
}

void RelayTranslator::mouse(const std::uint8_t* record, std::vector<RelayedInput>& out) {
    const std::uint16_t flags = rd16(record + 2), buttons = rd16(record + 4);
    const std::int32_t x = rd32s(record + 8), y = rd32s(record + 12);
    RelayedInput main = mouseInput(0, 0);
    if (flags & KB_MOUSE_ABSOLUTE)
        main.flags = kMouseMove | kMouseAbsolute;
    else if (x || y)
        main.flags = kMouseMove;
    if (main.flags) main.x = x, main.y = y;
    std::vector<RelayedInput> extra;
    for (const Button& b : kButtons) {
        const auto up = static_cast<std::uint16_t>(b.down << 1);
        if (buttons & b.down) buttonsDown_ |= b.down;
        if (buttons & up) buttonsDown_ &= ~static_cast<std::uint32_t>(b.down);
        // X buttons name themselves in the data field, so each goes alone.
        if (b.data) {
            if (buttons & b.down) extra.push_back(mouseInput(b.inputDown, b.data));
            if (buttons & up) extra.push_back(mouseInput(b.inputUp, b.data));
        } else {
            if (buttons & b.down) main.flags |= b.inputDown;
            if (buttons & up) main.flags |= b.inputUp;
        }
    }
    if (main.flags) out.push_back(main);
    out.insert(out.end(), extra.begin(), extra.end());
    if (buttons & kWheel) out.push_back(mouseInput(kMouseWheel, static_cast<std::int16_t>(rd16(record + 6))));
}

void RelayTranslator::releaseAll(std::vector<RelayedInput>& out) {
    for (auto it = keysDown_.rbegin(); it != keysDown_.rend(); ++it) out.push_back(keyInput(*it, true));
    keysDown_.clear();
    for (const Button& b : kButtons)
        if (buttonsDown_ & b.down) out.push_back(mouseInput(b.inputUp, b.data));
    buttonsDown_ = 0;
    pauseHalf_ = -1;
}

}  // namespace kb::sim
