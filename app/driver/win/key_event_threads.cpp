#include "key_event_threads.h"

#include "control_device_win.h"
#include "event_wait.h"
#include "key_events.h"
#include "key_tables.h"

#include <mutex>

namespace kb {

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
                               std::span<const HANDLE> events)
    : device_(device), engine_(engine), control_(control), actions_(actions), events_(events.begin(), events.end()) {}

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
        if (keyboard) {
            sendKeyboardTable(engine_, control_);
        } else {
            sendKeypadTables(engine_, control_);
        }
        const auto& keys = keyboard ? keyboardKeys().data() : keypadKeys().data();
        const std::span<std::atomic<std::uint32_t>> latches =
            keyboard ? std::span<std::atomic<std::uint32_t>>(engine_.keyboardLatches)
                     : std::span<std::atomic<std::uint32_t>>(engine_.keypadLatches);
        // Every event is waited on at all times; this thread carries them out
        // one by one in the order they were taken.
        EventArrivals arrivals(events_, quit_.get());
        if (!arrivals.start()) return;
        KeyEventSequencer sequencer(latches);
        const auto takePendingPress = [&arrivals](int key) { return arrivals.takePending(key); };
        for (;;) {
            const int index = arrivals.next();
            if (index == kWaitQuit) return;
            if (index == kWaitFailed) {
                if (quitWithin(kFailedWaitPauseMs)) return;
                continue;
            }
            const int key = sequencer.onEvent(index, takePendingPress, GetTickCount64());
            const auto slotOfKey = [&](int k) { return slotOf(keyboard ? kDeviceKeyboard : kDeviceKeypad, keys[k]); };
            if (key >= 0) carryOutKeyFunction(engine_, actions_, slotOfKey(key), false);
            // After the press it may belong to, so playback hears press, then release.
            const int up = sequencer.releasedAfter(index, key);
            if (up >= 0) actions_.keyReleased(slotOfKey(up));
        }
    } catch (...) {
        // Nothing escapes the thread.
    }
}

}  // namespace kb
