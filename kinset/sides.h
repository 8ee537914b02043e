// The keyboard and mouse sides of the library: each keeps its own handle on
// the control device and an init state (0 not open, 1 open, failure code).
#pragma once

#include "records.h"

#include <atomic>
#include <mutex>

namespace kb::kinset {

inline constexpr int kKeyboardOpenFailed = -8;
inline constexpr int kMouseOpenFailed = -9;

class Side {
public:
    explicit Side(int failState) noexcept : failState_(failState) {}

    // Opens the device unless already open; returns the state (1 or the failure code).
    [[nodiscard]] int init(DeviceOpener& opener);
    // Closes the handle if it holds one; state 0. The handle reads null afterwards,
    // so no later send goes to a closed (and perhaps reused) handle.
    void end(DeviceOpener& opener);

    [[nodiscard]] Device handle() const noexcept { return handle_.load(); }
    // The caller's handle replaces the side's; the side closes it at end.
    void setHandle(Device handle) noexcept {
        const std::lock_guard hold(lock_);
        handle_ = handle;
    }
    [[nodiscard]] int state() const noexcept { return state_.load(); }

private:
    int failState_;
    std::mutex lock_;  // one init or end of this side at a time, from any thread
    std::atomic<Device> handle_{kNullDevice};
    std::atomic<int> state_{0};
};

struct Sides {
    Side keyboard{kKeyboardOpenFailed};
    Side mouse{kMouseOpenFailed};

    // Keyboard, then mouse if the keyboard opened; the last state.
    [[nodiscard]] int init(DeviceOpener& opener);
    // Mouse, then keyboard.
    void end(DeviceOpener& opener);
};

}  // namespace kb::kinset
