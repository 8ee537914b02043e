// The device attach thread: asks the driver whether the keyboard is attached
// and waits on a named event that the driver signals when that changes.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"
#include "contracts/event_names.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace kb {

class WinControlDevice;

[[nodiscard]] std::wstring attachEventName();

// Receives the attach state on the attach thread (above 0: attached). It must
// only record the value or post it on: no sends, no waits, no locks held long.
class AttachSink {
public:
    virtual void attachState(int state) = 0;
    // The device stopped answering; its handle is closed next, and what was
    // installed through it is gone. Called on the attach thread before the
    // reopen starts: it may stop playback, but must not wait on the window.
    virtual void deviceLost() {}
    // The device answers again on a fresh handle with nothing installed (after
    // a loss, or when another thread reopened it first): every table is due.
    virtual void deviceBack() {}

protected:
    ~AttachSink() = default;
};

// Stop it before the device closes: a closed handle takes its registration
// with it, and the thread would wait for a change that is never signalled.
class AttachThread {
public:
    static constexpr std::chrono::milliseconds kPollInterval{100};      // open + ready, failed query
    static constexpr std::chrono::milliseconds kWaitFailurePause{1000};  // before a fresh event
    // While a lost device is away the opens back off up to this, which bounds
    // how late the tables go out again once it is back.
    static constexpr std::chrono::milliseconds kLostRetryLimit{250};

    // `ready` says whether the main window has finished starting (called on
    // the thread, so it must be safe there); empty means always ready.
    AttachThread(WinControlDevice& device, AttachSink& sink, std::function<bool()> ready = {},
                 std::wstring eventName = attachEventName());
    ~AttachThread();
    AttachThread(const AttachThread&) = delete;
    AttachThread& operator=(const AttachThread&) = delete;

    // False when it runs already or cannot be started.
    [[nodiscard]] bool start();
    // Ends the thread and waits for it; returns at once when it does not run.
    void stop() noexcept;
    [[nodiscard]] bool running() const noexcept { return thread_.joinable(); }

private:
    void run() noexcept;
    void loop();
    // Waits `pause` or until stop(); true when told to stop.
    [[nodiscard]] bool quitWithin(std::chrono::milliseconds pause) const;
    // Tells the sink and closes the dead handle.
    void lose();

    WinControlDevice& device_;
    AttachSink& sink_;
    const std::function<bool()> ready_;
    const std::wstring eventName_;
    kbwin::UniqueHandle quit_;
    std::thread thread_;
};

}  // namespace kb
