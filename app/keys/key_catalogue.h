// Key catalogue: names, list codes and driver scan codes of every key the
// system can name. Pure lookups over a constant table; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kb {

// Set-1 scan code, plus 0x100 for E0-prefixed keys (Pause 0x045, Num Lock 0x145).
using WinMakeCode = std::uint16_t;

// The list codes 0 .. kChoiceListCount-1 are the keys offered in the key choice list.
inline constexpr std::uint16_t kChoiceListCount = 133;
inline constexpr std::uint16_t kEmptyListCode = 0xFFFF;
inline constexpr int kCatalogueSize = 256;

[[nodiscard]] std::uint8_t catalogueIndex(WinMakeCode code) noexcept;
[[nodiscard]] WinMakeCode makeCodeOfIndex(std::uint8_t index) noexcept;
[[nodiscard]] std::uint16_t listCodeOfKey(WinMakeCode code) noexcept;
[[nodiscard]] WinMakeCode keyOfListCode(std::uint16_t listCode) noexcept;
// Empty view when no entry carries the list code.
[[nodiscard]] std::u16string_view nameOfListCode(std::uint16_t listCode) noexcept;
// Writes the key's name, or the unknown-key text, cut to capacity-1 units and
// always terminated when capacity > 0. Returns the units written, terminator excluded.
std::size_t keyName(WinMakeCode code, char16_t* out, std::size_t capacity) noexcept;
[[nodiscard]] bool isSingleEventKey(WinMakeCode code) noexcept;
[[nodiscard]] std::uint8_t driverScanCode(WinMakeCode code) noexcept;
// base: 0 press, 1 release. Flag bits: 1 break, 2 E0, 4 E1.
[[nodiscard]] std::uint16_t driverKeyFlags(WinMakeCode code, std::uint16_t base) noexcept;

}  // namespace kb
