// The lock-key lamps and the two animated arrows of the main window. Both change
// button faces on the window's own thread and rest while the window is hidden.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "control_rules.h"
#include "skin_button.h"
#include "subclass.h"

namespace kbskin {

// What paces the lamps' second look and the arrows' steps: a timer on the
// window's thread in the program; a test drives a clock of its own, so that
// "nothing moved" is decided by the clock and not by waiting.
class StepClock {
public:
    virtual ~StepClock() = default;
    // Calls `step` every `periodMs` on this thread until Halt; a new Run replaces the last.
    virtual void Run(UINT periodMs, std::function<void()> step) = 0;
    virtual void Halt() = 0;
};

// Lit: image 2 for normal..disabled, image 1 marked; unlit: the other way round.
// Follows the lock keys through a low-level keyboard hook on a thread of its own
// that posts to the window's thread, and re-reads the states whenever the window
// is shown.
class LockLamps {
public:
    LockLamps();
    LockLamps(const LockLamps&) = delete;
    LockLamps& operator=(const LockLamps&) = delete;
    ~LockLamps();

    // window: the main window whose visibility the lamps follow. Lamps may be null.
    // clock: null for the window thread's timer; kept by the caller while started.
    bool Start(HWND window, SkinButton* numLamp, SkinButton* capsLamp, SkinButton* scrollLamp,
               const StatusSurface* unlit, const StatusSurface* lit, StepClock* clock = nullptr);
    void Stop();
    // Reads the three lock states now and redraws lamps that changed.
    void Refresh();
    // Lock key state as the lamps see it (VK_NUMLOCK, VK_CAPITAL, VK_SCROLL).
    [[nodiscard]] static bool LockIsOn(int virtualKey);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Alternates each arrow between two frames of the arrow strip once a second
// while the window is visible; the Flip setting picks the UP_ or DOWN_ frames.
class ArrowAnimator {
public:
    ArrowAnimator();
    ArrowAnimator(const ArrowAnimator&) = delete;
    ArrowAnimator& operator=(const ArrowAnimator&) = delete;
    ~ArrowAnimator();

    // flipOn is read anew on every step. periodMs: 1000 in the program. clock:
    // null for the window thread's timer; kept by the caller while started.
    bool Start(HWND window, SkinButton* left, SkinButton* right, const wchar_t* iniPath,
               const StatusSurface* strip, std::function<bool()> flipOn, UINT periodMs = 1000,
               StepClock* clock = nullptr);
    void Stop();
    // One step for one side: frame 0/1 (2 = the current one), optionally
    // storing enable; draws unless the side is disabled. UI thread only.
    void ShowArrowFrame(ArrowSide side, int frame, bool setEnable, bool enable);
    [[nodiscard]] const ArrowState& State() const noexcept;
    // Steps taken so far (both sides count as one); for tests.
    [[nodiscard]] unsigned Ticks() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kbskin
