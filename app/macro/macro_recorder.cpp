#include "macro_recorder.h"

#include "key_catalogue.h"

namespace kb {

namespace {
constexpr std::uint32_t kTransitionBit = 0x8000'0000u;
constexpr std::uint32_t kPreviousStateBit = 0x4000'0000u;
constexpr std::uint32_t kSingleEventPressDelay = 3;
constexpr std::uint32_t kFixedDelay = 1;
}  // namespace

void MacroRecorder::start() {
    if (recording_) return;
    recording_ = true;
    singleDown_.clear();
    host_.showRecording(true);
    lastTick_ = host_.tickCount();
    hooked_ = host_.installHook();
}

void MacroRecorder::stop() {
    if (!recording_) return;
    recording_ = false;
    host_.showRecording(false);
    if (hooked_) {
        hooked_ = false;
        host_.removeHook();
    }
}

void MacroRecorder::append(std::uint32_t delay, std::uint16_t code, std::uint16_t direction) {
    host_.appendStep({recordDelay_ ? delay : kFixedDelay, code, direction});
}

HookDecision MacroRecorder::onKey(int hookCode, std::uint32_t lParam) {
    const auto code = static_cast<std::uint16_t>((lParam >> 16) & 0x1FF);
    // A hook message that slips in after the stop (already queued) is not ours.
    if (!recording_ || hookCode != 0 || code == 0) return HookDecision::PassOn;
    std::uint16_t direction = 0;
    if (lParam & kTransitionBit) {
        direction = 1;
    } else if (lParam & kPreviousStateBit) {
        return HookDecision::Swallow;  // auto-repeat
    }
    const std::uint32_t now = host_.tickCount();
    // The system reports only the release of these keys; a press it did
    // report is not doubled.
    if (isSingleEventKey(code)) {
        const bool pressSeen = singleDown_.erase(code) > 0;
        if (direction == 0) {
            singleDown_.insert(code);
        } else if (!pressSeen) {
            append(kSingleEventPressDelay, code, 0);
        }
    }
    std::uint32_t delay = now - lastTick_;
    if (delay < 1) delay = 2;
    append(delay, code, direction);
    lastTick_ = now;
    return HookDecision::Swallow;
}

}  // namespace kb
