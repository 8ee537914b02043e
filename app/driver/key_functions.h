// Carrying out a key's function (launch, type, play, stop, or for macro keys
// another key) from the active copy, for the event threads and the macro-key
// report handler; and the macro keys' bank and held state.
#pragma once

#include "engine.h"
#include "multact.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace kb {

// What a key's function does to the world. sendKey and enqueueMacro are
// called with the engine lock held; runAction and stopPlayback, which can
// block on other threads, windows or the shell, without it.
class KeyActions {
public:
    virtual ~KeyActions() = default;
    virtual void sendKey(std::uint16_t makeCode, std::uint16_t direction) = 0;
    virtual void runAction(int actionCode, const std::u16string& text) = 0;
    // The key at `slot` asked for the macro (its release follows as keyReleased).
    virtual void enqueueMacro(std::uint16_t macroId, int slot) = 0;
    // After enqueueMacro, once the engine lock is released: playback woken
    // while the lock is still held would find it taken and wait for it.
    virtual void wakePlayback() {}
    virtual void stopPlayback() = 0;
    // The key at `slot` is up again, whatever its function; without the engine
    // lock. A repeating macro follows its key by this.
    virtual void keyReleased(int slot) = 0;
};

// Carries out the function of the active copy's entry at `slot`, taking the
// engine lock itself. macroKey: type 2 is acted on only for macro keys (the
// driver substitutes ordinary keys itself). Without an active copy (a failed
// apply) nothing happens.
void carryOutKeyFunction(Engine& engine, KeyActions& actions, int slot, bool macroKey);
// The same for an entry given with its text (types 3 and 6): a layer's own
// function, or the base's as the layer tables hold it.
void carryOutEntry(Engine& engine, KeyActions& actions, int slot, const KeyEntry& entry, const std::u16string& text);

// The macro-key report codes and request tags.
inline constexpr std::uint16_t kReportAllUp = 0;
inline constexpr std::uint16_t kReportBankKey = 0x1301;
inline constexpr std::uint16_t kReportFirstMacroKey = 0x1302;
inline constexpr std::uint16_t kReportLastMacroKey = 0x1306;
inline constexpr std::uint32_t kMacroKeyReadTag = 0x434F4E53;
inline constexpr std::uint32_t kBankStatusTag = 0x004C4544;

class MacroKeyUi {
public:
    virtual ~MacroKeyUi() = default;
    // True while the key function dialog edits one of the five macro keys.
    virtual bool editingMacroKey() = 0;
    // Shows "正在编辑宏按键，不可以切换宏指示灯"; must not block the caller's thread.
    virtual void refuseBankSwitch() = 0;
    // Posts the bank change to the main window (buttons, lamp, captions).
    virtual void bankChanged(int bank) = 0;
};

inline constexpr char16_t kBankSwitchRefused[] = u"正在编辑宏按键，不可以切换宏指示灯";

class BankStatusSink {
public:
    virtual ~BankStatusSink() = default;
    virtual void sendBankStatus(const std::array<std::uint8_t, 2>& status) = 0;
};

class MacroKeys {
public:
    MacroKeys(Engine& engine, KeyActions& actions, MacroKeyUi& ui, BankStatusSink& status);

    // The handler of the HID completions: status 1 and the read's tag only.
    void onReport(std::uint32_t completionStatus, std::uint32_t tag, std::uint16_t code);
    void toggleBank();
    [[nodiscard]] int bank() const;
    [[nodiscard]] std::array<std::uint8_t, 2> status() const;
    // Sends the current status bytes again (the main window does on a time change).
    void resendStatus();
    // Start: {5, 2}; exit: byte 1 cleared. Both are sent.
    void sendStartStatus();
    void sendExitStatus();
    // "A1".."A5" in bank 0, "B1".."B5" in bank 1; key 1..5.
    [[nodiscard]] static std::array<char16_t, 3> caption(int bank, int key);

private:
    void allUp();

    Engine& engine_;
    KeyActions& actions_;
    MacroKeyUi& ui_;
    BankStatusSink& sink_;
    // Status bytes and held flags, shared by the HID thread and the UI thread.
    // A leaf lock: nothing else is taken while it is held.
    mutable std::mutex lock_;
    std::array<std::uint8_t, 2> status_{5, 2};
    std::array<bool, kMacroKeySlotCount> held_{};
};

}  // namespace kb
