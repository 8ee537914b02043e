// The per-key events the driver signals, and the keyboard and keypad threads
// that wait on them and carry out the keys' functions.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"
#include "key_functions.h"
#include "engine.h"

#include <span>
#include <thread>
#include <vector>

namespace kb {

class LayerRunner;
class WinControlDevice;

// The 174 keyboard and 46 keypad events, auto-reset and named for the driver.
// Their handles go into the engine, where the driver tables pick them up.
class KeyEventSet {
public:
    // False (and nothing kept) when any event cannot be created.
    [[nodiscard]] bool create(Engine& engine);
    // Clears the engine's copies under the engine lock, then closes the events.
    void close(Engine& engine) noexcept;

    [[nodiscard]] std::span<const HANDLE> keyboard() const noexcept { return keyboardRaw_; }
    [[nodiscard]] std::span<const HANDLE> keypad() const noexcept { return keypadRaw_; }

private:
    std::vector<kbwin::UniqueHandle> owned_;
    std::vector<HANDLE> keyboardRaw_;
    std::vector<HANDLE> keypadRaw_;
};

class KeyEventThread {
public:
    enum class Device { Keyboard, Keypad };
    static constexpr DWORD kOpenRetryMs = 100;
    static constexpr DWORD kFailedWaitPauseMs = 1000;

    // With `layers` every key goes through the layers (the heart); without,
    // the active copy's entries are carried out directly.
    KeyEventThread(Device device, Engine& engine, WinControlDevice& control, KeyActions& actions,
                   std::span<const HANDLE> events, LayerRunner* layers = nullptr);
    ~KeyEventThread();
    KeyEventThread(const KeyEventThread&) = delete;
    KeyEventThread& operator=(const KeyEventThread&) = delete;

    [[nodiscard]] bool start();
    // Ends the thread cooperatively and waits for it; safe to call twice.
    void stop() noexcept;

private:
    void run() noexcept;
    // True when told to stop within `ms`.
    [[nodiscard]] bool quitWithin(DWORD ms) const noexcept;

    Device device_;
    Engine& engine_;
    WinControlDevice& control_;
    KeyActions& actions_;
    LayerRunner* layers_;
    std::vector<HANDLE> events_;
    kbwin::UniqueHandle quit_;
    std::thread thread_;
};

}  // namespace kb
