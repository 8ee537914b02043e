#include "key_functions.h"

namespace kb {

namespace {

// With the engine lock held by `lock`; text: the entry's, for types 3 and 6.
void carryOut(std::unique_lock<ModelLock>& lock, KeyActions& actions, int slot, const KeyEntry& e,
              const std::u16string& text, bool macroKey) {
    switch (static_cast<FunctionType>(e.type)) {
        case FunctionType::OtherKey:
            if (macroKey) actions.sendKey(static_cast<std::uint16_t>(e.parameter & 0xFFFF), 0);
            break;
        case FunctionType::LaunchProgram:
        case FunctionType::TypeText:
            // Starting a program or typing can wait on the shell or another
            // window: the copy of the text is all it needs from under the lock.
            lock.unlock();
            if (!text.empty()) {
                actions.runAction(e.type == 3 ? multact::kStartProgram : multact::kTypeText, text);
            }
            break;
        case FunctionType::PlayMacro:
            actions.enqueueMacro(static_cast<std::uint16_t>(e.parameter & 0xFFFF), slot);
            lock.unlock();
            actions.wakePlayback();
            break;
        case FunctionType::StopMacro:
            // Stop waits for the playback thread, which may need the engine lock.
            lock.unlock();
            actions.stopPlayback();
            break;
        default:
            break;
    }
}

}  // namespace

void carryOutKeyFunction(Engine& engine, KeyActions& actions, int slot, bool macroKey) {
    std::unique_lock<ModelLock> lock(engine.lock());
    if (!engine.active) return;
    const KeyEntry e = engine.active->record.entry(slot);
    carryOut(lock, actions, slot, e, carriesText(e.type) ? poolText(engine.active->pool, e.parameter) : std::u16string(), macroKey);
}

void carryOutEntry(Engine& engine, KeyActions& actions, int slot, const KeyEntry& entry, const std::u16string& text) {
    std::unique_lock<ModelLock> lock(engine.lock());
    // Without an active copy the play table is gone too.
    if (!engine.active) return;
    carryOut(lock, actions, slot, entry, text, false);
}

MacroKeys::MacroKeys(Engine& engine, KeyActions& actions, MacroKeyUi& ui, BankStatusSink& status)
    : engine_(engine), actions_(actions), ui_(ui), sink_(status) {}

void MacroKeys::onReport(std::uint32_t completionStatus, std::uint32_t tag, std::uint16_t code) {
    if (completionStatus != 1 || tag != kMacroKeyReadTag) return;
    if (code == kReportBankKey) {
        toggleBank();
    } else if (code >= kReportFirstMacroKey && code <= kReportLastMacroKey) {
        int index;
        {
            std::lock_guard<std::mutex> l(lock_);
            index = (code - kReportFirstMacroKey) + 5 * (status_[1] & 1);
            held_[static_cast<std::size_t>(index)] = true;
        }
        carryOutKeyFunction(engine_, actions_, kFirstMacroKeySlot + index, true);
    } else if (code == kReportAllUp) {
        allUp();
    }
}

void MacroKeys::allUp() {
    std::array<bool, kMacroKeySlotCount> held;
    {
        std::lock_guard<std::mutex> l(lock_);
        held = held_;
        held_.fill(false);
    }
    // The held flag remembers the slot, so a bank switch in between still
    // releases the key that was pressed.
    {
        std::lock_guard<ModelLock> lock(engine_.lock());
        if (engine_.active) {
            for (std::size_t i = 0; i < held.size(); ++i) {
                if (!held[i]) continue;
                const KeyEntry e = engine_.active->record.entry(kFirstMacroKeySlot + static_cast<int>(i));
                if (e.type == static_cast<std::uint16_t>(FunctionType::OtherKey)) {
                    actions_.sendKey(static_cast<std::uint16_t>(e.parameter & 0xFFFF), 1);
                }
            }
        }
    }
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (held[i]) actions_.keyReleased(kFirstMacroKeySlot + static_cast<int>(i));
    }
}

void MacroKeys::toggleBank() {
    if (ui_.editingMacroKey()) {
        ui_.refuseBankSwitch();
        return;
    }
    std::array<std::uint8_t, 2> status;
    {
        std::lock_guard<std::mutex> l(lock_);
        status_[1] ^= 1;
        status = status_;
    }
    sink_.sendBankStatus(status);
    ui_.bankChanged(status[1] & 1);
}

int MacroKeys::bank() const {
    std::lock_guard<std::mutex> l(lock_);
    return status_[1] & 1;
}

std::array<std::uint8_t, 2> MacroKeys::status() const {
    std::lock_guard<std::mutex> l(lock_);
    return status_;
}

void MacroKeys::resendStatus() { sink_.sendBankStatus(status()); }

void MacroKeys::sendStartStatus() {
    std::array<std::uint8_t, 2> status;
    {
        std::lock_guard<std::mutex> l(lock_);
        status_ = {5, 2};
        status = status_;
    }
    sink_.sendBankStatus(status);
}

void MacroKeys::sendExitStatus() {
    std::array<std::uint8_t, 2> status;
    {
        std::lock_guard<std::mutex> l(lock_);
        status_[1] = 0;
        status = status_;
    }
    sink_.sendBankStatus(status);
}

std::array<char16_t, 3> MacroKeys::caption(int bank, int key) {
    return {bank == 0 ? u'A' : u'B', static_cast<char16_t>(u'0' + key), u'\0'};
}

}  // namespace kb
