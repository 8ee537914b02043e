#include "playback_clock_win.h"

#include <mmsystem.h>

namespace kb {

WinPlaybackClock::WinPlaybackClock() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    LARGE_INTEGER f;
    if (QueryPerformanceFrequency(&f) && f.QuadPart > 0) frequency_ = f.QuadPart;
}

WinPlaybackClock::~WinPlaybackClock() {
    if (fineTimer_) timeEndPeriod(1);
}

std::uint64_t WinPlaybackClock::nowUs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    const auto ticks = static_cast<std::uint64_t>(t.QuadPart);
    const auto f = static_cast<std::uint64_t>(frequency_);
    return ticks / f * 1000000 + ticks % f * 1000000 / f;
}

void WinPlaybackClock::waitUntil(std::uint64_t deadlineUs) {
    if (deadlineUs == kForever) {
        if (fineTimer_) {
            timeEndPeriod(1);
            fineTimer_ = false;
        }
        if (!wake_ || WaitForSingleObject(wake_.get(), INFINITE) == WAIT_FAILED) Sleep(1);
        return;
    }
    if (!fineTimer_) fineTimer_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    for (;;) {
        const std::uint64_t now = nowUs();
        if (now >= deadlineUs) return;
        // Rounded up; a system timer may still end the wait a little early,
        // so the time is checked again.
        const std::uint64_t ms = (deadlineUs - now + 999) / 1000;
        const DWORD timeout = ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
        const DWORD r = wake_ ? WaitForSingleObject(wake_.get(), timeout) : WAIT_FAILED;
        if (r == WAIT_OBJECT_0) return;
        if (r == WAIT_FAILED) Sleep(timeout);
    }
}

void WinPlaybackClock::wake() {
    if (wake_) SetEvent(wake_.get());
}

}  // namespace kb
