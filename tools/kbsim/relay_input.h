// The relay's translation of the stand-in driver's output log into desktop input,
// as the system makes it from a real keyboard's and mouse's records. Portable.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kb::sim {

// Marks relayed input (the system input's extra-information field), so that a hook can
// tell it from everything else.
inline constexpr std::uintptr_t kRelayMark = 0x4B42524Cu;

// The system's mouse input flags, which the relayed mouse input carries.
inline constexpr std::uint32_t kMouseMove = 0x0001;
inline constexpr std::uint32_t kMouseLeftDown = 0x0002;
inline constexpr std::uint32_t kMouseLeftUp = 0x0004;
inline constexpr std::uint32_t kMouseRightDown = 0x0008;
inline constexpr std::uint32_t kMouseRightUp = 0x0010;
inline constexpr std::uint32_t kMouseMiddleDown = 0x0020;
inline constexpr std::uint32_t kMouseMiddleUp = 0x0040;
inline constexpr std::uint32_t kMouseXDown = 0x0080;
inline constexpr std::uint32_t kMouseXUp = 0x0100;
inline constexpr std::uint32_t kMouseWheel = 0x0800;
inline constexpr std::uint32_t kMouseAbsolute = 0x8000;

struct RelayedInput {
    bool mouse = false;
    // Key: the win make code (low byte the scan code, 0x100 the extended flag), its
    // virtual key (0 when the key has none) and the direction.
    std::uint16_t code = 0;
    std::uint8_t virtualKey = 0;
    bool up = false;
    // Mouse: flags as above, position or distance, and the wheel amount or X button.
    std::uint32_t flags = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t data = 0;
    friend bool operator==(const RelayedInput&, const RelayedInput&) = default;
};

class RelayTranslator {
public:
    // Appends the input of one 20-byte log entry. Like the system, it drops the E0-prefixed
    // "fake shifts" around Print Screen, the second half of an injected Pause and the
    // presses of the keys that report only their release. A malformed entry gives nothing.
    void translate(std::span<const std::uint8_t> entry, std::vector<RelayedInput>& out);
    // Appends releases of every key and mouse button relayed input left down, and forgets them.
    void releaseAll(std::vector<RelayedInput>& out);

private:
    void key(bool injected, std::uint16_t scan, std::uint16_t flags, std::vector<RelayedInput>& out);
    void mouse(const std::uint8_t* record, std::vector<RelayedInput>& out);

    std::vector<std::uint16_t> keysDown_;
    std::uint32_t buttonsDown_ = 0;  // the record's down flags of the buttons still down
    int pauseHalf_ = -1;             // the break bit of an injected Pause's expected 45 record
};

}  // namespace kb::sim
