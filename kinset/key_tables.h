// The library's own key model: the 8-bit Akey code, its table of scan codes and
// virtual keys, the key-name table indexed by win make code, and the
// conversions between them. Constant tables; safe from any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace kb::kinset {

// Akey kinds.
inline constexpr std::uint8_t kKindNone = 0;
inline constexpr std::uint8_t kKindPlain = 1;
inline constexpr std::uint8_t kKindShifted = 2;
inline constexpr std::uint8_t kKindReleaseOnly = 3;
inline constexpr std::uint8_t kKindKeypad = 4;
inline constexpr std::uint8_t kKindE0 = 0xE0;
inline constexpr std::uint8_t kKindE1 = 0xE1;

struct Akey {
    std::uint8_t kind = kKindNone;
    std::uint8_t scan1 = 0;
    std::uint8_t scan2 = 0;
    std::uint8_t virtualKey = 0;  // 0 or 0xFF: the key has none
};

[[nodiscard]] const Akey& akeyEntry(std::uint8_t akey) noexcept;
[[nodiscard]] std::uint16_t winMakeCodeOfAkey(std::uint8_t akey) noexcept;

// Driver-style key record (make code, flags: bit 1 E0, bit 2 E1) to win make code.
[[nodiscard]] std::uint16_t winMakeCodeOfRecord(std::uint16_t makeCode, std::uint16_t flags) noexcept;

// 0 for virtual keys no Akey carries (and for 0 and 0xFF).
[[nodiscard]] std::uint8_t akeyOfVirtualKey(std::uint8_t virtualKey) noexcept;

// Name kinds: how the status word picks between primary and alternative name.
inline constexpr std::uint8_t kNamePlain = 0;
inline constexpr std::uint8_t kNameLetter = 1;
inline constexpr std::uint8_t kNameShiftSymbol = 2;
inline constexpr std::uint8_t kNameKeypad = 3;

struct KeyNameEntry {
    std::uint8_t akey = 0;
    std::u16string_view primary;
    std::uint8_t nameKind = kNamePlain;
    std::u16string_view alternative;
};

// The entry of a win make code; codes outside 0x000-0x07F and 0x100-0x17F have
// an empty entry (Akey 0, no name) rather than another key's.
[[nodiscard]] const KeyNameEntry& keyNameEntry(std::uint16_t winMakeCode) noexcept;
[[nodiscard]] std::uint8_t akeyOfWinMakeCode(std::uint16_t winMakeCode) noexcept;

// Status word bits for key names.
inline constexpr std::uint32_t kStatusShiftMask = 0x22;
inline constexpr std::uint32_t kStatusNumLock = 0x100;
inline constexpr std::uint32_t kStatusCapsLock = 0x200;

// Writes the name the status word chooses, or "Unknown key: %03x", into out:
// whole when capacity >= length + 2, else cut to capacity - 1 units; always
// terminated. Returns false (writing nothing) when capacity is 0 or out null.
[[nodiscard]] bool writeKeyName(std::uint16_t winMakeCode, std::uint32_t status, char16_t* out,
                                std::uint16_t capacity) noexcept;

}  // namespace kb::kinset
