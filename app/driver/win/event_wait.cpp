#include "event_wait.h"

#include <algorithm>

namespace kb {

EventArrivals::EventArrivals(std::span<const HANDLE> events, HANDLE quit)
    : events_(events.begin(), events.end()), quit_(quit), single_(events.size() <= kGroupSize) {}

EventArrivals::~EventArrivals() {
    if (stop_) SetEvent(stop_.get());
    for (std::thread& t : waiters_) {
        if (t.joinable()) t.join();
    }
}

bool EventArrivals::start() {
    if (events_.empty() || quit_ == nullptr) return false;
    if (single_ || !waiters_.empty()) return true;
    ready_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready_ || !stop_) return false;
    try {
        for (std::size_t first = 0; first < events_.size(); first += kGroupSize) {
            const std::size_t n = std::min(kGroupSize, events_.size() - first);
            waiters_.emplace_back([this, first, n] { waitGroup(first, n); });
        }
    } catch (...) {
        SetEvent(stop_.get());
        for (std::thread& t : waiters_) t.join();
        waiters_.clear();
        return false;
    }
    return true;
}

void EventArrivals::push(int index) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        arrived_.push_back(index);
    }
    SetEvent(ready_.get());
}

void EventArrivals::waitGroup(std::size_t first, std::size_t count) noexcept {
    try {
        std::vector<HANDLE> set(events_.begin() + static_cast<std::ptrdiff_t>(first),
                                events_.begin() + static_cast<std::ptrdiff_t>(first + count));
        set.push_back(stop_.get());
        for (;;) {
            const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(set.size()), set.data(), FALSE, INFINITE);
            if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + count) {
                push(static_cast<int>(first + (r - WAIT_OBJECT_0)));
                continue;
            }
            if (r == WAIT_OBJECT_0 + count) return;
            push(kWaitFailed);
            if (WaitForSingleObject(stop_.get(), kFailedWaitPauseMs) == WAIT_OBJECT_0) return;
        }
    } catch (...) {
        // Nothing escapes the thread.
    }
}

int EventArrivals::next(DWORD timeoutMs) {
    if (events_.empty() || quit_ == nullptr) return kWaitFailed;
    if (single_) {
        // The quit event rides along as the last handle.
        std::vector<HANDLE> set(events_.begin(), events_.end());
        set.push_back(quit_);
        const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(set.size()), set.data(), FALSE, timeoutMs);
        if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + events_.size()) return static_cast<int>(r - WAIT_OBJECT_0);
        if (r == WAIT_TIMEOUT) return kWaitTimeout;
        return r == WAIT_OBJECT_0 + events_.size() ? kWaitQuit : kWaitFailed;
    }
    if (waiters_.empty()) return kWaitFailed;
    const HANDLE wake[2] = {quit_, ready_.get()};
    for (bool woken = false;; woken = true) {
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (!arrived_.empty()) {
                const int index = arrived_.front();
                arrived_.pop_front();
                return index;
            }
        }
        // Woken with nothing queued (takePending took it): the caller looks
        // at its clock again rather than wait a whole time-out more.
        if (woken && timeoutMs != INFINITE) return kWaitTimeout;
        // ready_ is auto-reset and set after every push, so a push between
        // the look above and this wait is not missed.
        const DWORD r = WaitForMultipleObjects(2, wake, FALSE, timeoutMs);
        if (r == WAIT_OBJECT_0) return kWaitQuit;
        if (r == WAIT_TIMEOUT) return kWaitTimeout;
        if (r != WAIT_OBJECT_0 + 1) return kWaitFailed;
    }
}

bool EventArrivals::takePending(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= events_.size()) return false;
    if (!single_) {
        std::lock_guard<std::mutex> lock(lock_);
        const auto it = std::find(arrived_.begin(), arrived_.end(), index);
        if (it != arrived_.end()) {
            arrived_.erase(it);
            return true;
        }
    }
    return WaitForSingleObject(events_[static_cast<std::size_t>(index)], 0) == WAIT_OBJECT_0;
}

}  // namespace kb
