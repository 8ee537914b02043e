// Waiting on more per-key events than one system wait takes (64 handles),
// without polling: every event is waited on at all times.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"

#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kb {

inline constexpr int kWaitFailed = -1;
inline constexpr int kWaitQuit = -2;
inline constexpr int kWaitTimeout = -3;

// Hands the events' signals to one consumer in the order they were taken.
// Events that fit in one wait beside `quit` are waited on by the consumer
// itself; more are split into groups of up to 63, each waited on by its own
// thread at all times, which queues what it takes.
class EventArrivals {
public:
    static constexpr std::size_t kGroupSize = MAXIMUM_WAIT_OBJECTS - 1;  // and a stop event
    static constexpr DWORD kFailedWaitPauseMs = 1000;

    // `quit` (manual-reset) and the events must outlive this.
    EventArrivals(std::span<const HANDLE> events, HANDLE quit);
    // Ends and joins the waiting threads.
    ~EventArrivals();
    EventArrivals(const EventArrivals&) = delete;
    EventArrivals& operator=(const EventArrivals&) = delete;

    // Starts the waiting threads when there is more than one group.
    [[nodiscard]] bool start();
    // The index of the next event taken; kWaitQuit once quit is set;
    // kWaitFailed when a system wait failed (a waiting thread then pauses
    // before it tries again); kWaitTimeout when nothing came within timeoutMs
    // (or a little before: the caller looks at its clock).
    [[nodiscard]] int next(DWORD timeoutMs = INFINITE);
    // Takes `index` if it is signalled or was taken but not yet handed out.
    [[nodiscard]] bool takePending(int index);

private:
    void waitGroup(std::size_t first, std::size_t count) noexcept;
    void push(int index);

    std::vector<HANDLE> events_;
    HANDLE quit_;
    bool single_;
    kbwin::UniqueHandle ready_;  // auto-reset: something was queued
    kbwin::UniqueHandle stop_;   // manual-reset: the waiting threads end
    std::mutex lock_;            // a leaf: guards arrived_
    std::deque<int> arrived_;
    std::vector<std::thread> waiters_;
};

}  // namespace kb
