// Recording typed keys into macro steps. The window side feeds key-hook
// events in and carries out what the recorder asks through RecorderHost, so
// the rules (repeats swallowed, single-event keys, delays) run natively.
#pragma once

#include "macro_record.h"

#include <cstdint>
#include <set>

namespace kb {

class RecorderHost {
public:
    virtual ~RecorderHost() = default;
    [[nodiscard]] virtual std::uint32_t tickCount() = 0;
    // False when the hook cannot be had; recording then shows but records nothing.
    [[nodiscard]] virtual bool installHook() = 0;
    virtual void removeHook() = 0;
    // The editor's append: highlighted, after the selected row, enabling Apply.
    virtual void appendStep(const MacroAction& step) = 0;
    // Record button caption and looks, add/delete buttons and the macro list.
    virtual void showRecording(bool recording) = 0;
};

enum class HookDecision { PassOn, Swallow };

class MacroRecorder {
public:
    explicit MacroRecorder(RecorderHost& host) noexcept : host_(host) {}
    MacroRecorder(const MacroRecorder&) = delete;
    MacroRecorder& operator=(const MacroRecorder&) = delete;
    // A recorder that goes away never leaves its hook behind.
    ~MacroRecorder() { stop(); }

    void start();
    // Safe to call when idle.
    void stop();
    void toggle() { recording_ ? stop() : start(); }
    [[nodiscard]] bool isRecording() const noexcept { return recording_; }
    [[nodiscard]] bool hookInstalled() const noexcept { return hooked_; }

    // 1: keep measured delays; 0: every step gets 1 ms.
    void setRecordDelay(bool on) noexcept { recordDelay_ = on; }
    [[nodiscard]] bool recordDelay() const noexcept { return recordDelay_; }

    // One key message as the keyboard hook sees it.
    [[nodiscard]] HookDecision onKey(int hookCode, std::uint32_t lParam);

private:
    void append(std::uint32_t delay, std::uint16_t code, std::uint16_t direction);

    RecorderHost& host_;
    bool recording_ = false;
    bool hooked_ = false;
    bool recordDelay_ = false;
    std::uint32_t lastTick_ = 0;
    std::set<std::uint16_t> singleDown_;  // single-event keys whose press was reported
};

}  // namespace kb
