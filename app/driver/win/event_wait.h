// Waiting on more per-key events than one system wait takes (64 handles).
#pragma once

#include <windows.h>

#include <span>

namespace kb {

inline constexpr int kWaitFailed = -1;
inline constexpr int kWaitQuit = -2;

// Waits on the handles in groups of at most 64, each with groupTimeoutMs,
// round after round, until one is signalled; returns its index. With a
// single group and INFINITE the wait does not poll. `quit` (may be null) is
// checked between groups, or waited on beside a single group, and ends the
// wait with kWaitQuit. Returns kWaitFailed when the system wait fails.
[[nodiscard]] int waitAnyEvent(std::span<const HANDLE> handles, DWORD groupTimeoutMs, HANDLE quit);

}  // namespace kb
