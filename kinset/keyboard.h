// Keyboard injection: turns keys (Akey codes, win make codes, virtual keys)
// into driver records or system key input, by the keyboard make type.
// Safe for concurrent callers: each call's keys go out as one sequence to the
// device that call names, never interleaved with another caller's.
#pragma once

#include "records.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <cstdint>

namespace kb::kinset {

enum class KeyMakeType : int { Driver = 0, KeybdEvent = 1, PostMessage = 2, SendMessage = 3 };

inline constexpr int kPress = 0;
inline constexpr int kRelease = 1;
inline constexpr std::size_t kMaxChord = 6;

// Length of a caller's list: the low byte of count, or up to the terminating
// zero when that byte is 0. 0 for a null list.
template <class T>
[[nodiscard]] std::size_t listLength(const T* list, int count) noexcept {
    if (list == nullptr) {
        return 0;
    }
    auto n = static_cast<std::size_t>(count & 0xFF);
    if (n == 0) {
        while (list[n] != 0) {
            ++n;
        }
    }
    return n;
}

class Keyboard {
public:
    explicit Keyboard(KeyboardSystem& system) noexcept : system_(system) {}

    // false (and no change) for a value outside 0 to 3.
    [[nodiscard]] bool setMakeType(int type) noexcept;
    [[nodiscard]] KeyMakeType makeType() const noexcept { return makeType_.load(); }
    [[nodiscard]] Device currentDevice() const noexcept { return device_.load(); }

    // Single keys: press for state 0, release otherwise (keybd_event and the
    // message make types release only for state 1).
    [[nodiscard]] int akeySingle(Device device, std::uint8_t akey, int state);
    [[nodiscard]] int winMakeCodeSingle(Device device, std::uint16_t winMakeCode, int state);
    [[nodiscard]] int virtualKeySingle(Device device, std::uint8_t virtualKey, int state);
    // Driver-style record: make code and flags (bit 0 break, bit 1 E0, bit 2 E1).
    [[nodiscard]] int keyEx(Device device, std::uint16_t makeCode, std::uint16_t flags);

    // Lists: each key pressed and released in turn; last result, 0 for an empty list.
    [[nodiscard]] int akeysAsync(Device device, const std::uint8_t* akeys, int count);
    [[nodiscard]] int winMakeCodesAsync(Device device, const std::uint16_t* codes, int count);
    [[nodiscard]] int virtualKeysAsync(Device device, const std::uint8_t* virtualKeys, int count);

    // Chords of 1 to 6 keys: pressed in order, released in reverse; 0 otherwise.
    [[nodiscard]] int akeysSync(Device device, const std::uint8_t* akeys, int count);
    [[nodiscard]] int winMakeCodesSync(Device device, const std::uint16_t* codes, int count);
    [[nodiscard]] int virtualKeysSync(Device device, const std::uint8_t* virtualKeys, int count);

    // Types a text of Akey codes with Shift and Num Lock as each character needs.
    [[nodiscard]] int typeText(Device device, const std::uint8_t* text, int count);

    // The keyboard handle's repeat exports.
    [[nodiscard]] int keyPress(Device keyboard, int virtualKey, int count);
    [[nodiscard]] int keyDown(Device keyboard, int virtualKey, int count);
    [[nodiscard]] int keyUp(Device keyboard, int virtualKey, int count);

private:
    int sendAkey(std::uint8_t akey, int state);
    [[nodiscard]] int sendToDriver(std::uint8_t akey, int state);
    int tap(std::uint8_t akey);
    [[nodiscard]] int chord(const std::uint8_t* akeys, std::size_t n);

    KeyboardSystem& system_;
    // Held for a whole call: the call's device and its keys belong together.
    std::recursive_mutex lock_;
    std::atomic<Device> device_{kNullDevice};
    std::atomic<KeyMakeType> makeType_{KeyMakeType::Driver};
};

// System values used by the make types that bypass the driver.
inline constexpr std::uint32_t kKeyEventExtended = 0x0001;
inline constexpr std::uint32_t kKeyEventKeyUp = 0x0002;
inline constexpr std::uint32_t kMessageKeyDown = 0x0100;
inline constexpr std::uint32_t kMessageKeyUp = 0x0101;

}  // namespace kb::kinset
