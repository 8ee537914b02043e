// Per-key events the driver signals, and the latches that turn a held key's
// repeated press events into one action.
#pragma once

#include "contracts/event_names.h"

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

namespace kb {

inline constexpr auto& kEventPrefix = contract::kKeyEventPrefix;

// number is 1-based: 1 .. 174 for the keyboard, 1 .. 46 for the keypad.
[[nodiscard]] std::u16string keyboardEventName(int number);
[[nodiscard]] std::u16string keypadEventName(int number);

// An event index below latches.size() is a key's press, from there on its
// release. Returns the key whose press must be carried out, or -1 (a release,
// a held key's repeat, or an index out of range).
[[nodiscard]] int latchKeyEvent(std::span<std::atomic<std::uint32_t>> latches, int eventIndex) noexcept;

// The same, for an event thread that checked, on a release, whether the key's
// press was still pending as well (and took it). Press and release events sit
// in different waits, so a quick tap's release can be taken before its press:
// the press is then carried out first, and the key is not left latched.
[[nodiscard]] int latchKeyEvent(std::span<std::atomic<std::uint32_t>> latches, int eventIndex,
                                bool pressAlsoSignalled) noexcept;

}  // namespace kb
