// The layers at run time, owned by the activation path: the tables of every
// layer built at each apply, the layer and tap/hold state fed by the key
// threads, and what that state does to the driver, the system and the window.
// A profile without layers goes through here too and behaves as it always did.
//
// Lock order: profile lock, then this runner's lock, then the engine lock.
// Under the runner's lock only driver requests and injected keys are made
// (they wait on no thread of ours); the functions that can wait on the shell,
// playback or a window run after it is released, in the order they came.
#pragma once

#include "control_device.h"
#include "engine.h"
#include "key_functions.h"
#include "layer_engine.h"
#include "window_sink.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kb {

// What only the system can tell or do: whether it has a key down, and
// watching the other keys while a tap/hold key is undecided.
class LayerInput {
public:
    virtual ~LayerInput() = default;
    [[nodiscard]] virtual bool isDown(WinMakeCode code) = 0;
    // Called under the runner's lock: must not wait for the watch itself.
    virtual void watchOtherKeys(bool on) = 0;
};

class LayerRunner final : private LayerPort {
public:
    LayerRunner(Engine& engine, ControlDevice& device, WindowSink& window) noexcept
        : engine_(engine), device_(device), window_(window) {}
    LayerRunner(const LayerRunner&) = delete;
    LayerRunner& operator=(const LayerRunner&) = delete;

    // None: keys carry out nothing, nothing is injected or watched.
    void useActions(KeyActions* actions) noexcept;
    void useInput(LayerInput* input) noexcept;

    // At apply, with the profile lock held and the active copy just made
    // (model null: none was): back to the base with nothing down under the
    // old tables, then every layer's tables built from the new profile.
    void load(const ProfileModel* model);
    // The stop key, a profile switch, a session lock, an unplug, a lost
    // driver, exit: back to the base, nothing left down; the base's tables
    // sent when `send`, else the caller withdraws them or cannot send.
    void returnToBase(bool send);
    // While off (suspended, withdrawn) layer changes send no tables.
    void allowSends(bool on);

    // The device's table as the layer in force wants it (without layers:
    // built from the active copy), and the device's latches cleared. The
    // activation path's sends and each key thread's first one.
    bool sendKeyboard();
    bool sendKeypad();

    // The key threads. key: the keyboard's 87 keys, then the keypad's 23.
    void press(int key, std::uint64_t nowMs);
    void release(int key, std::uint64_t nowMs);
    [[nodiscard]] std::optional<std::uint64_t> nextDeadline();
    void expire(std::uint64_t nowMs);
    // The watch saw another key go down. True when that key must be held
    // back and given again (replay, with its release if that came meanwhile)
    // once the hold is down. Never waits long for the lock: a key thread may
    // be injecting the very key being watched.
    [[nodiscard]] bool otherKeyPressed(std::uint64_t nowMs);
    void replay(WinMakeCode code, std::uint16_t direction);

    [[nodiscard]] bool layered();
    [[nodiscard]] int layer();

private:
    // LayerPort, all under lock_.
    void installTables(const std::vector<std::uint8_t>* keyboard, const std::vector<std::uint8_t>* keypad) override;
    void sendKey(WinMakeCode code, std::uint16_t direction) override;
    bool isDown(WinMakeCode code) override;
    void carryOut(int slot, const LayerFunction& function) override;
    void keyReleased(int slot) override;
    void layerChanged(int layer) override;
    void watchOtherKeys(bool on) override;

    // Runs `step` under the lock, then what it left for after the lock.
    template <class Step>
    auto locked(Step&& step);

    Engine& engine_;
    ControlDevice& device_;
    WindowSink& window_;
    KeyActions* actions_ = nullptr;
    LayerInput* input_ = nullptr;
    std::timed_mutex lock_;
    std::unique_ptr<LayerTables> tables_;  // null: no layers
    LayerState state_{*this};
    bool sends_ = true;
    std::vector<std::function<void()>> after_;
};

}  // namespace kb
