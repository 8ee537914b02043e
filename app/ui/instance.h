// One program per user: the named mutex, finding the running instance and
// handing it a marker message.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kb::ui {

inline constexpr wchar_t kInstanceMutexName[] = L"KbPanel_PX3_QM2000RB_Mutex";
// Set by a second start: the window shows once start-up is over, also when
// start-up still waits on a question and no window takes the marker yet.
inline constexpr wchar_t kOpenRequestEventName[] = L"KbPanel_PX3_QM2000RB_Open";

// Another process whose executable file name equals ours (any letter case), in
// the snapshot's order. Our own process is skipped: it may well come first.
[[nodiscard]] std::optional<DWORD> findRunningInstance(const std::wstring& programFileName);

// Sends `message` with `marker` to the first top-level window, in Z order, of
// `pid` whose user-data slot holds MAIN. A hung instance is given up after a
// few seconds. True when a window took the message.
bool deliverMarker(DWORD pid, UINT message, WPARAM marker);

// The main window of `pid` (the window that carries MAIN), if it exists.
[[nodiscard]] HWND findMainWindow(DWORD pid);

// The first instance's open-request event (kOpenRequestEventName), or null.
[[nodiscard]] HANDLE& openRequestEvent() noexcept;

enum class InstanceClaim { First, AnotherRuns };
// Opens or creates the mutex. The first instance creates it owned and keeps
// its handle for the rest of the process; the mutex is never released.
[[nodiscard]] InstanceClaim claimInstance();

}  // namespace kb::ui
