#include "attach_thread.h"

#include "control_device_win.h"

#include <algorithm>
#include <cstdint>

namespace kb {

std::wstring attachEventName() { return contract::kAttachEventName; }

AttachThread::AttachThread(WinControlDevice& device, AttachSink& sink, std::function<bool()> ready,
                           std::wstring eventName)
    : device_(device), sink_(sink), ready_(std::move(ready)), eventName_(std::move(eventName)) {}

AttachThread::~AttachThread() { stop(); }

bool AttachThread::start() {
    if (thread_.joinable()) return false;
    quit_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!quit_) return false;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::exception&) {
        quit_.reset();
        return false;
    }
    return true;
}

void AttachThread::stop() noexcept {
    if (!thread_.joinable()) return;
    (void)SetEvent(quit_.get());
    try {
        thread_.join();
    } catch (const std::exception&) {
        // join fails only for a thread that is not joinable, checked above.
    }
    quit_.reset();
}

bool AttachThread::quitWithin(std::chrono::milliseconds pause) const {
    return WaitForSingleObject(quit_.get(), static_cast<DWORD>(pause.count())) != WAIT_TIMEOUT;
}

void AttachThread::run() noexcept {
    try {
        loop();
    } catch (...) {
        // Nothing leaves the thread; without it the tray simply keeps its last state.
    }
}

void AttachThread::lose() {
    sink_.attachState(0);
    sink_.deviceLost();
    device_.dropLost();
}

void AttachThread::loop() {
    kbwin::UniqueHandle event;
    auto retry = kPollInterval;
    unsigned seenOpens = 0;
    for (;;) {
        // Nothing is reported until the device is open and the window is ready.
        while (device_.open() != 1 || (ready_ && !ready_())) {
            if (quitWithin(retry)) return;
            if (seenOpens != 0) retry = std::min(retry * 2, kLostRetryLimit);
        }
        retry = kPollInterval;
        // A handle opened since the last pass holds none of our tables.
        const unsigned opens = device_.opens();
        if (seenOpens != 0 && opens != seenOpens) sink_.deviceBack();
        seenOpens = opens;
        if (!event) {
            // Auto-reset, not signalled: one wake per change.
            event.reset(CreateEventW(nullptr, FALSE, FALSE, eventName_.c_str()));
            if (!event) {
                if (quitWithin(kWaitFailurePause)) return;
                continue;
            }
        }

        // A failed selection counts as a failed query: waiting on an event the
        // driver has not registered would miss every change. When the query
        // found the device gone, start again on a fresh handle.
        std::int32_t state = 0;
        bool queried = false;
        {
            auto pair = device_.pairLock();
            queried = device_.selectDevice(kKeyboardSelector) && device_.registerAttachEvent(event.get(), state);
        }
        if (!queried) {
            const HANDLE lost = device_.lostEvent();
            if (lost != nullptr && WaitForSingleObject(lost, 0) == WAIT_OBJECT_0)
                lose();
            else
                sink_.attachState(0);
            if (quitWithin(kPollInterval)) return;
            continue;
        }
        sink_.attachState(state);

        // Besides changes, the device's loss (a request that found it gone) wakes it.
        const HANDLE waits[3] = {quit_.get(), event.get(), device_.lostEvent()};
        const DWORD woke = WaitForMultipleObjects(waits[2] != nullptr ? 3 : 2, waits, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) return;
        if (woke == WAIT_OBJECT_0 + 1) continue;
        if (woke == WAIT_OBJECT_0 + 2) {
            lose();
            continue;
        }
        // The wait failed: pause, then register a fresh event.
        if (quitWithin(kWaitFailurePause)) return;
        event.reset();
    }
}

}  // namespace kb
