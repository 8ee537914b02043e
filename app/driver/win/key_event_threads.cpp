#include "key_event_threads.h"

#include "control_device_win.h"
#include "event_wait.h"
#include "key_events.h"
#include "key_tables.h"
#include "layer_runner.h"

#include <mmsystem.h>

#include <chrono>
#include <mutex>

namespace kb {
namespace {

std::uint64_t nowMs() noexcept {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// The system's 1 ms timer while a term runs, so a hold is decided on time.
class FineTimer {
public:
    void want(bool on) noexcept {
        if (on && !on_) on_ = timeBeginPeriod(1) == TIMERR_NOERROR;
        if (!on && on_) {
            timeEndPeriod(1);
            on_ = false;
        }
    }
    ~FineTimer() { want(false); }

private:
    bool on_ = false;
};

}  // namespace

bool KeyEventSet::create(Engine& engine) {
    std::vector<kbwin::UniqueHandle> owned;
    std::vector<HANDLE> keyboard, keypad;
    auto make = [&](const std::u16string& name, std::vector<HANDLE>& into) {
        HANDLE h = CreateEventW(nullptr, FALSE, FALSE, reinterpret_cast<const wchar_t*>(name.c_str()));
        if (h == nullptr) return false;
        owned.emplace_back(h);
        into.push_back(h);
        return true;
    };
    for (int n = 1; n <= kKeyboardRecords; ++n) {
        if (!make(keyboardEventName(n), keyboard)) return false;
    }
    for (int n = 1; n <= kKeypadRecords; ++n) {
        if (!make(keypadEventName(n), keypad)) return false;
    }
    {
        std::lock_guard<ModelLock> lock(engine.lock());
        // The driver records carry the handle sign-extended to 64 bits.
        for (std::size_t i = 0; i < keyboard.size(); ++i) {
            engine.keyboardEvents[i] = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(keyboard[i]));
        }
        for (std::size_t i = 0; i < keypad.size(); ++i) {
            engine.keypadEvents[i] = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(keypad[i]));
        }
    }
    owned_ = std::move(owned);
    keyboardRaw_ = std::move(keyboard);
    keypadRaw_ = std::move(keypad);
    return true;
}

void KeyEventSet::close(Engine& engine) noexcept {
    {
        std::lock_guard<ModelLock> lock(engine.lock());
        engine.keyboardEvents.fill(0);
        engine.keypadEvents.fill(0);
    }
    keyboardRaw_.clear();
    keypadRaw_.clear();
    owned_.clear();
}

KeyEventThread::KeyEventThread(Device device, Engine& engine, WinControlDevice& control, KeyActions& actions,
                               std::span<const HANDLE> events, LayerRunner* layers)
    : device_(device),
      engine_(engine),
      control_(control),
      actions_(actions),
      layers_(layers),
      events_(events.begin(), events.end()) {}

KeyEventThread::~KeyEventThread() { stop(); }

bool KeyEventThread::start() {
    if (thread_.joinable() || events_.empty()) return false;
    quit_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!quit_) return false;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        return false;
    }
    return true;
}

void KeyEventThread::stop() noexcept {
    if (!thread_.joinable()) return;
    SetEvent(quit_.get());
    thread_.join();
}

bool KeyEventThread::quitWithin(DWORD ms) const noexcept {
    return WaitForSingleObject(quit_.get(), ms) == WAIT_OBJECT_0;
}

void KeyEventThread::run() noexcept {
    try {
        const bool keyboard = device_ == Device::Keyboard;
        while (control_.open() != 1) {
            if (quitWithin(kOpenRetryMs)) return;
        }
        // Each thread sends its own device's table, whatever layer is in force.
        if (layers_ != nullptr) {
            (void)(keyboard ? layers_->sendKeyboard() : layers_->sendKeypad());
        } else if (keyboard) {
            sendKeyboardTable(engine_, control_);
        } else {
            sendKeypadTables(engine_, control_);
        }
        const auto& keys = keyboard ? keyboardKeys().data() : keypadKeys().data();
        const int firstKey = keyboard ? 0 : kKeyboardKeyCount;  // the layers' key index
        const std::span<std::atomic<std::uint32_t>> latches =
            keyboard ? std::span<std::atomic<std::uint32_t>>(engine_.keyboardLatches)
                     : std::span<std::atomic<std::uint32_t>>(engine_.keypadLatches);
        // Every event is waited on at all times; this thread carries them out
        // one by one in the order they were taken.
        EventArrivals arrivals(events_, quit_.get());
        if (!arrivals.start()) return;
        KeyEventSequencer sequencer(latches);
        const auto takePendingPress = [&arrivals](int key) { return arrivals.takePending(key); };
        FineTimer timer;
        for (;;) {
            // A tap/hold key's term ends the wait: its hold is decided then.
            DWORD timeout = INFINITE;
            if (const auto deadline = layers_ != nullptr ? layers_->nextDeadline() : std::nullopt) {
                const std::uint64_t now = nowMs();
                timeout = *deadline > now ? static_cast<DWORD>(std::min<std::uint64_t>(*deadline - now, 60000)) : 0;
            }
            timer.want(timeout != INFINITE);
            const int index = arrivals.next(timeout);
            if (index == kWaitQuit) return;
            if (index == kWaitTimeout) {
                layers_->expire(nowMs());
                continue;
            }
            if (index == kWaitFailed) {
                if (quitWithin(kFailedWaitPauseMs)) return;
                continue;
            }
            const std::uint64_t now = nowMs();
            const int key = sequencer.onEvent(index, takePendingPress, now);
            const auto slotOfKey = [&](int k) { return slotOf(keyboard ? kDeviceKeyboard : kDeviceKeypad, keys[k]); };
            if (key >= 0) {
                if (layers_ != nullptr) layers_->press(firstKey + key, now);
                else carryOutKeyFunction(engine_, actions_, slotOfKey(key), false);
            }
            // After the press it may belong to, so playback hears press, then release.
            const int up = sequencer.releasedAfter(index, key);
            if (up >= 0) {
                if (layers_ != nullptr) layers_->release(firstKey + up, now);
                else actions_.keyReleased(slotOfKey(up));
            }
        }
    } catch (...) {
        // Nothing escapes the thread.
    }
}

}  // namespace kb
