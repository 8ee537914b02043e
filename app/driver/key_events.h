// Per-key events the driver signals, and the latches that turn a held key's
// repeated press events into one action.
#pragma once

#include "contracts/event_names.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

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

// One key thread's order of events whose presses and releases are taken by
// different waits, so a quick tap can arrive release first:
// - a release whose press was not carried out takes a pending press (still
//   signalled or queued behind it) first;
// - when no press is pending yet, it may still be on its way (taken by its
//   wait, not yet queued): a press of the key that follows within
//   kLatePressMs acts and leaves the key released, instead of latching it
//   until a release that never comes.
class KeyEventSequencer {
public:
    static constexpr std::uint64_t kLatePressMs = 100;

    explicit KeyEventSequencer(std::span<std::atomic<std::uint32_t>> latches);

    // Returns the key whose press must be carried out, or -1. takePendingPress
    // (key) takes that key's pending press if there is one.
    [[nodiscard]] int onEvent(int eventIndex, const std::function<bool(int key)>& takePendingPress,
                              std::uint64_t nowMs);
    // The key that is up once the event (and the press onEvent returned as
    // `acted`) has been carried out: the event's own release, or an acted
    // press whose release was already seen. -1 for none.
    [[nodiscard]] int releasedAfter(int eventIndex, int acted) const noexcept;

private:
    std::span<std::atomic<std::uint32_t>> latches_;
    // When a release found neither its press carried out nor one pending.
    std::vector<std::uint64_t> unmatchedReleaseAt_;
    std::vector<bool> unmatched_;
};

}  // namespace kb
