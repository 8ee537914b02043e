// The playback thread's clock on Windows: the performance counter, and an
// auto-reset event that requests, stops and quit set.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"
#include "playback_engine.h"

namespace kb {

class WinPlaybackClock final : public PlaybackClock {
public:
    WinPlaybackClock();
    ~WinPlaybackClock() override;
    WinPlaybackClock(const WinPlaybackClock&) = delete;
    WinPlaybackClock& operator=(const WinPlaybackClock&) = delete;

    std::uint64_t nowUs() override;
    void waitUntil(std::uint64_t deadlineUs) override;
    void wake() override;

private:
    kbwin::UniqueHandle wake_;
    std::int64_t frequency_ = 1;
    // The system timer runs at 1 ms only while a macro waits on it: a
    // default 15.6 ms tick would stretch short steps, and an idle program
    // must not keep the fast tick.
    bool fineTimer_ = false;
};

}  // namespace kb
