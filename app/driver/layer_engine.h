// Layers at run time: every layer's driver tables, built once at apply, and
// the state of the layer keys and tap/hold keys. Portable; the key thread
// feeds it the events of the keys the driver signals, and a clock.
//
// No key stays down across a layer change. The driver substitutes on press
// and on release separately, so for each key whose records differ between
// the tables leaving and the tables coming:
// - a key the program saw pressed (an event record) keeps its event records
//   in every table sent until its release arrives, so that release reaches
//   the function that took the press;
// - a key the driver passed or replaced has put its output down: when the
//   system reports that output down, it is released at the change.
#pragma once

#include "engine.h"
#include "profile_layers.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kb {

// A key's function on one layer: its own entry, or the base's where the
// layer leaves it transparent. `ext` is set when that is a layer or tap/hold key.
struct LayerFunction {
    KeyEntry entry;
    std::u16string text;  // types 3 and 6
    const ExtKey* ext = nullptr;
};

// Every layer's tables and functions; layer 0 is the base.
class LayerTables {
public:
    // base: the active copy's record; texts: the base's, by slot (types 3, 6).
    void build(const ProfileRecord& base, const SlotTexts& texts, const ProfileExtension& ext,
               std::span<const std::int64_t, kKeyboardRecords> keyboardEvents,
               std::span<const std::int64_t, kKeypadRecords> keypadEvents);
    [[nodiscard]] int layerCount() const noexcept { return static_cast<int>(functions_.size()) - 1; }
    // Index: the keyboard's 87 keys, then the keypad's 23, in table order.
    [[nodiscard]] const LayerFunction& function(int layer, int key) const;
    [[nodiscard]] const std::vector<std::uint8_t>& keyboard(int layer) const { return keyboard_.at(layer); }
    [[nodiscard]] const std::vector<std::uint8_t>& keypad(int layer) const { return keypad_.at(layer); }
    [[nodiscard]] const ProfileExtension& extension() const noexcept { return ext_; }
    // The event a key's press (release: 1) record names, whatever its function.
    [[nodiscard]] std::int64_t event(int key, int release) const noexcept;

private:
    std::array<std::int64_t, kKeyboardRecords> keyboardEvents_{};
    std::array<std::int64_t, kKeypadRecords> keypadEvents_{};
    ProfileExtension ext_;  // the functions point into its keys
    std::vector<std::vector<LayerFunction>> functions_;
    std::vector<std::vector<std::uint8_t>> keyboard_, keypad_;
};

inline constexpr int kOrdinaryKeyCount = kKeyboardKeyCount + kKeypadKeyCount;
// The key index of a slot (see LayerTables::function), -1 for other slots.
[[nodiscard]] int ordinaryKeyOfSlot(int slot) noexcept;
[[nodiscard]] int slotOfOrdinaryKey(int key) noexcept;
[[nodiscard]] WinMakeCode makeCodeOfOrdinaryKey(int key) noexcept;

// What the layer state does to the world. Called with no lock of the
// engine's own held; the caller's key thread serialises the calls.
class LayerPort {
public:
    virtual ~LayerPort() = default;
    // Tables to install; a null one is unchanged since the last.
    virtual void installTables(const std::vector<std::uint8_t>* keyboard, const std::vector<std::uint8_t>* keypad) = 0;
    // Injected input (taps, held keys, releases of outputs left down).
    virtual void sendKey(WinMakeCode code, std::uint16_t direction) = 0;
    // True while the system has the key down.
    [[nodiscard]] virtual bool isDown(WinMakeCode code) = 0;
    // A function of types 3 to 6 from the layer active at the press.
    virtual void carryOut(int slot, const LayerFunction& function) = 0;
    virtual void keyReleased(int slot) = 0;
    virtual void layerChanged(int layer) = 0;
    // On while a tap/hold key is undecided: otherKeyPressed wants to hear of the other keys.
    virtual void watchOtherKeys(bool on) = 0;
};

class LayerState {
public:
    explicit LayerState(LayerPort& port) : port_(port) {}

    // A new set of tables (at apply): back to the base with nothing down, the
    // base's tables considered installed.
    void reset(const LayerTables* tables);
    // The stop key, a profile switch, a session lock, an unplug, exit: back
    // to the base, nothing left down, the base's tables sent when `send`.
    void returnToBase(bool send);

    // Events of keys with event records; nowMs on the key thread's clock.
    void press(int key, std::uint64_t nowMs);
    void release(int key, std::uint64_t nowMs);
    // Another key went down (seen by the watch) while a tap/hold key is
    // undecided. True when it must be held back and given again after the
    // hold the decision makes (replayed by the caller).
    [[nodiscard]] bool otherKeyPressed(std::uint64_t nowMs);
    // The earliest term that ends, for the key thread's wait; then call expire.
    [[nodiscard]] std::optional<std::uint64_t> nextDeadline() const;
    void expire(std::uint64_t nowMs);

    [[nodiscard]] int layer() const noexcept;
    [[nodiscard]] bool anyHeld() const noexcept;
    // The tables considered in the driver (empty without tables).
    [[nodiscard]] const std::vector<std::uint8_t>& installed(bool keyboard) const noexcept {
        return keyboard ? sentKeyboard_ : sentKeypad_;
    }

private:
    // How the program took a key's press; No for keys it has not seen go down.
    enum class Held : std::uint8_t { No, Function, LayerKey, Toggle, Undecided, HoldKey, HoldLayer, Injected };
    struct KeyState {
        Held held = Held::No;
        int layer = 0;  // the layer whose function took the press
        std::uint64_t deadline = 0;
        WinMakeCode output = 0;  // Injected: the key put down
    };
    struct Activation {
        int key;
        int layer;
    };
    void decideHold(int key);
    void endHold(int key);
    void activate(int key, int layer);
    void deactivate(int key);
    void changeTo(int before);
    // Releases what the sent tables put down that the wanted ones would not
    // release, then installs the tables that differ (install false: only
    // notes them as sent, for a caller that sends or withdraws itself).
    void sendWanted(bool install = true);
    [[nodiscard]] std::vector<std::uint8_t> wanted(bool keyboard) const;
    void updateWatch();

    LayerPort& port_;
    const LayerTables* tables_ = nullptr;
    std::array<KeyState, kOrdinaryKeyCount> keys_{};
    std::vector<Activation> active_;  // the last one is the layer in force
    std::vector<std::uint8_t> sentKeyboard_, sentKeypad_;
    bool watching_ = false;
};

}  // namespace kb
