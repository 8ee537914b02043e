#include "layer_engine.h"

#include "key_tables.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kb {
namespace {

// Any of types 3 to 6 gives the key's event records.
constexpr KeyEntry kEventEntry{static_cast<std::uint16_t>(FunctionType::StopMacro), 0, 0};

struct KeyPlace {
    bool keyboard;
    int index;  // in its device's table order
    int keysInTable;
};

KeyPlace placeOf(int key) noexcept {
    return key < kKeyboardKeyCount ? KeyPlace{true, key, kKeyboardKeyCount}
                                   : KeyPlace{false, key - kKeyboardKeyCount, kKeypadKeyCount};
}

std::span<std::uint8_t, kKeyRecordSize> recordAt(std::vector<std::uint8_t>& table, std::size_t index) {
    return std::span<std::uint8_t, kKeyRecordSize>(table.data() + index * kKeyRecordSize, kKeyRecordSize);
}

// The key a handler-0 record puts down, 0 when it swallows the key.
std::optional<std::pair<std::uint16_t, std::uint16_t>> outputOf(const std::uint8_t* r) {
    if (r[KeyRecordField::kHandler] != 0) return std::nullopt;
    if (r[KeyRecordField::kAction] == kActionPass) {
        return std::pair{readU16(r + KeyRecordField::kScanCode), readU16(r + KeyRecordField::kFlags)};
    }
    if (r[KeyRecordField::kAction] == kActionReplace) {
        return std::pair{readU16(r + KeyRecordField::kTargetScanCode), readU16(r + KeyRecordField::kTargetFlags)};
    }
    return std::nullopt;
}

// A press record's output as a win make code (E0 keys above 0x100).
WinMakeCode makeCodeOf(std::uint16_t scan, std::uint16_t flags) noexcept {
    if ((flags & 4) != 0) return 0x045;  // the one E1 key: Pause
    return static_cast<WinMakeCode>(scan | ((flags & 2) != 0 ? 0x100 : 0));
}

}  // namespace

int ordinaryKeyOfSlot(int slot) noexcept {
    if (const int k = keyboardKeyOfSlot(slot); k >= 0) return k;
    if (const int k = keypadKeyOfSlot(slot); k >= 0) return kKeyboardKeyCount + k;
    return -1;
}

int slotOfOrdinaryKey(int key) noexcept {
    const KeyPlace p = placeOf(key);
    return p.keyboard ? slotOf(kDeviceKeyboard, keyboardKeys()[static_cast<std::size_t>(p.index)])
                      : slotOf(kDeviceKeypad, keypadKeys()[static_cast<std::size_t>(p.index)]);
}

WinMakeCode makeCodeOfOrdinaryKey(int key) noexcept {
    const KeyPlace p = placeOf(key);
    return p.keyboard ? keyboardKeys()[static_cast<std::size_t>(p.index)] : keypadKeys()[static_cast<std::size_t>(p.index)];
}

void LayerTables::build(const ProfileRecord& base, const SlotTexts& texts, const ProfileExtension& ext,
                        std::span<const std::int64_t, kKeyboardRecords> keyboardEvents,
                        std::span<const std::int64_t, kKeypadRecords> keypadEvents) {
    ext_ = ext;
    std::copy(keyboardEvents.begin(), keyboardEvents.end(), keyboardEvents_.begin());
    std::copy(keypadEvents.begin(), keypadEvents.end(), keypadEvents_.begin());
    const std::size_t layers = ext_.layers.size() + 1;
    functions_.assign(layers, std::vector<LayerFunction>(kOrdinaryKeyCount));
    keyboard_.assign(layers, std::vector<std::uint8_t>(kKeyboardTableSize, 0));
    keypad_.assign(layers, std::vector<std::uint8_t>(kKeypadTableSize, 0));
    for (std::size_t layer = 0; layer < layers; ++layer) {
        for (int key = 0; key < kOrdinaryKeyCount; ++key) {
            const int slot = slotOfOrdinaryKey(key);
            LayerFunction& f = functions_[layer][static_cast<std::size_t>(key)];
            const Layer* own = layer == 0 ? nullptr : &ext_.layers[layer - 1];
            const auto it = own ? own->keys.find(slot) : std::map<int, LayerEntry>::const_iterator{};
            if (own && it != own->keys.end()) {
                f.entry = it->second.entry;
                f.text = it->second.text;
            } else {
                f.entry = base.entry(slot);
                if (carriesText(f.entry.type)) f.text = texts.text(slot);
                f.ext = ext_.keyOf(slot);
            }
            const KeyPlace p = placeOf(key);
            auto& table = p.keyboard ? keyboard_[layer] : keypad_[layer];
            const auto events = p.keyboard ? std::span<const std::int64_t>(keyboardEvents)
                                           : std::span<const std::int64_t>(keypadEvents);
            for (std::uint16_t b = 0; b < 2; ++b) {
                const std::size_t index = static_cast<std::size_t>(b * p.keysInTable + p.index);
                buildKeyRecord(recordAt(table, index), makeCodeOfOrdinaryKey(key), f.ext ? kEventEntry : f.entry, b,
                               events[index], !p.keyboard && p.index < kKeypadFunctionKeyCount);
            }
        }
    }
}

std::int64_t LayerTables::event(int key, int release) const noexcept {
    const KeyPlace p = placeOf(key);
    const std::size_t index = static_cast<std::size_t>(release * p.keysInTable + p.index);
    return p.keyboard ? keyboardEvents_[index] : keypadEvents_[index];
}

const LayerFunction& LayerTables::function(int layer, int key) const {
    return functions_.at(static_cast<std::size_t>(layer)).at(static_cast<std::size_t>(key));
}

int LayerState::layer() const noexcept { return active_.empty() ? 0 : active_.back().layer; }

bool LayerState::anyHeld() const noexcept {
    return std::any_of(keys_.begin(), keys_.end(), [](const KeyState& k) { return k.held != Held::No; }) ||
           !active_.empty();
}

void LayerState::reset(const LayerTables* tables) {
    tables_ = tables;
    keys_.fill({});
    active_.clear();
    sentKeyboard_ = tables ? tables->keyboard(0) : std::vector<std::uint8_t>{};
    sentKeypad_ = tables ? tables->keypad(0) : std::vector<std::uint8_t>{};
    updateWatch();
}

std::vector<std::uint8_t> LayerState::wanted(bool keyboard) const {
    std::vector<std::uint8_t> table = keyboard ? tables_->keyboard(layer()) : tables_->keypad(layer());
    // A key the program took the press of keeps its event records until its release.
    for (int key = 0; key < kOrdinaryKeyCount; ++key) {
        const KeyPlace p = placeOf(key);
        if (p.keyboard != keyboard || keys_[static_cast<std::size_t>(key)].held == Held::No) continue;
        for (int b = 0; b < 2; ++b) {
            const std::size_t index = static_cast<std::size_t>(b * p.keysInTable + p.index);
            buildKeyRecord(recordAt(table, index), makeCodeOfOrdinaryKey(key), kEventEntry, static_cast<std::uint16_t>(b),
                           tables_->event(key, b), false);
        }
    }
    return table;
}

void LayerState::sendWanted(bool install) {
    if (tables_ == nullptr) return;
    std::vector<std::uint8_t> keyboard = wanted(true), keypad = wanted(false);
    // Outputs that the leaving records put down and the coming ones would not release.
    for (int key = 0; key < kOrdinaryKeyCount; ++key) {
        const KeyPlace p = placeOf(key);
        const auto& before = p.keyboard ? sentKeyboard_ : sentKeypad_;
        const auto& after = p.keyboard ? keyboard : keypad;
        if (before.empty()) continue;
        const std::size_t press = static_cast<std::size_t>(p.index) * kKeyRecordSize;
        const std::size_t rel = static_cast<std::size_t>(p.keysInTable + p.index) * kKeyRecordSize;
        if (std::memcmp(before.data() + press, after.data() + press, kKeyRecordSize) == 0 &&
            std::memcmp(before.data() + rel, after.data() + rel, kKeyRecordSize) == 0) {
            continue;
        }
        const auto out = outputOf(before.data() + press);
        if (!out) continue;
        const WinMakeCode code = makeCodeOf(out->first, out->second);
        if (port_.isDown(code)) port_.sendKey(code, 1);
    }
    const bool keyboardChanged = keyboard != sentKeyboard_;
    const bool keypadChanged = keypad != sentKeypad_;
    sentKeyboard_ = std::move(keyboard);
    sentKeypad_ = std::move(keypad);
    if (install && (keyboardChanged || keypadChanged)) {
        port_.installTables(keyboardChanged ? &sentKeyboard_ : nullptr, keypadChanged ? &sentKeypad_ : nullptr);
    }
}

void LayerState::changeTo(int before) {
    sendWanted();
    if (layer() != before) port_.layerChanged(layer());
}

void LayerState::activate(int key, int layer) {
    const int before = this->layer();
    active_.push_back({key, layer});
    changeTo(before);
}

void LayerState::deactivate(int key) {
    const int before = layer();
    std::erase_if(active_, [key](const Activation& a) { return a.key == key; });
    changeTo(before);
}

void LayerState::updateWatch() {
    const bool undecided =
        std::any_of(keys_.begin(), keys_.end(), [](const KeyState& k) { return k.held == Held::Undecided; });
    if (undecided != watching_) {
        watching_ = undecided;
        port_.watchOtherKeys(undecided);
    }
}

void LayerState::press(int key, std::uint64_t nowMs) {
    if (tables_ == nullptr || key < 0 || key >= kOrdinaryKeyCount) return;
    KeyState& state = keys_[static_cast<std::size_t>(key)];
    if (state.held != Held::No) return;  // the key's repeat
    // A key pressed while a tap/hold key is undecided makes it a hold.
    (void)otherKeyPressed(nowMs);
    const int slot = slotOfOrdinaryKey(key);
    const LayerFunction& f = tables_->function(layer(), key);
    state.layer = layer();
    if (f.ext != nullptr && f.ext->kind == ExtKeyKind::Layer) {
        if (f.ext->mode == LayerMode::Momentary) {
            state.held = Held::LayerKey;
            activate(key, f.ext->layer);
        } else {
            state.held = Held::Toggle;
            const int toggleKey = -f.ext->layer;  // one toggle per layer, whichever key turned it on
            const bool on = std::any_of(active_.begin(), active_.end(), [&](const Activation& a) { return a.key == toggleKey; });
            if (on) deactivate(toggleKey);
            else activate(toggleKey, f.ext->layer);
        }
    } else if (f.ext != nullptr) {
        state.held = Held::Undecided;
        state.deadline = nowMs + f.ext->termMs;
        // A layer to hold is in force at once, so the keys that decide the
        // hold already go out under it; a tap takes it back.
        if (f.ext->holdLayer != 0) active_.push_back({key, f.ext->holdLayer});
        sendWanted();
    } else if (f.entry.type >= static_cast<std::uint16_t>(FunctionType::LaunchProgram)) {
        state.held = Held::Function;
        sendWanted();
        port_.carryOut(slot, f);
        if (f.entry.type == static_cast<std::uint16_t>(FunctionType::StopMacro)) returnToBase(true);
    } else {
        // A function the driver runs, reached through a record kept for an
        // earlier press or a layer a hold just put in force: done here.
        const KeyPlace p = placeOf(key);
        const bool blocked = !p.keyboard && p.index < kKeypadFunctionKeyCount;
        WinMakeCode out = 0;
        if (f.entry.type == static_cast<std::uint16_t>(FunctionType::OtherKey)) out = static_cast<WinMakeCode>(f.entry.parameter);
        else if (f.entry.type == static_cast<std::uint16_t>(FunctionType::Default) && !blocked) out = makeCodeOfOrdinaryKey(key);
        state.held = Held::Injected;
        state.output = out;
        sendWanted();
        if (out != 0) port_.sendKey(out, 0);
    }
    updateWatch();
}

void LayerState::release(int key, std::uint64_t nowMs) {
    (void)nowMs;
    if (tables_ == nullptr || key < 0 || key >= kOrdinaryKeyCount) return;
    KeyState& state = keys_[static_cast<std::size_t>(key)];
    const int slot = slotOfOrdinaryKey(key);
    const Held held = state.held;
    const ExtKey* ext = tables_->function(state.layer, key).ext;
    state.held = Held::No;
    switch (held) {
    case Held::No: port_.keyReleased(slot); break;
    case Held::Function:
        sendWanted();
        port_.keyReleased(slot);
        break;
    case Held::LayerKey: deactivate(key); break;
    case Held::Toggle: sendWanted(); break;
    case Held::Undecided:
        if (ext != nullptr && ext->holdLayer != 0) {
            std::erase_if(active_, [key](const Activation& a) { return a.key == key; });
        }
        sendWanted();
        if (ext != nullptr) {
            port_.sendKey(ext->tap, 0);
            port_.sendKey(ext->tap, 1);
        }
        break;
    case Held::HoldKey:
        sendWanted();
        if (ext != nullptr) port_.sendKey(ext->hold, 1);
        break;
    case Held::HoldLayer: deactivate(key); break;
    case Held::Injected:
        sendWanted();
        if (state.output != 0) port_.sendKey(state.output, 1);
        break;
    }
    updateWatch();
}

void LayerState::decideHold(int key) {
    KeyState& state = keys_[static_cast<std::size_t>(key)];
    const ExtKey* ext = tables_->function(state.layer, key).ext;
    if (ext == nullptr) return;
    if (ext->holdLayer != 0) {
        state.held = Held::HoldLayer;
        port_.layerChanged(layer());
    } else {
        state.held = Held::HoldKey;
        port_.sendKey(ext->hold, 0);
    }
}

bool LayerState::otherKeyPressed(std::uint64_t nowMs) {
    (void)nowMs;
    if (tables_ == nullptr) return false;
    bool replay = false;
    for (int key = 0; key < kOrdinaryKeyCount; ++key) {
        if (keys_[static_cast<std::size_t>(key)].held != Held::Undecided) continue;
        decideHold(key);
        replay = replay || keys_[static_cast<std::size_t>(key)].held == Held::HoldKey;
    }
    updateWatch();
    return replay;
}

std::optional<std::uint64_t> LayerState::nextDeadline() const {
    std::optional<std::uint64_t> next;
    for (const KeyState& k : keys_) {
        if (k.held == Held::Undecided && (!next || k.deadline < *next)) next = k.deadline;
    }
    return next;
}

void LayerState::expire(std::uint64_t nowMs) {
    if (tables_ == nullptr) return;
    for (int key = 0; key < kOrdinaryKeyCount; ++key) {
        const KeyState& k = keys_[static_cast<std::size_t>(key)];
        if (k.held == Held::Undecided && k.deadline <= nowMs) decideHold(key);
    }
    updateWatch();
}

void LayerState::returnToBase(bool send) {
    if (tables_ == nullptr) return;
    const int before = layer();
    for (int key = 0; key < kOrdinaryKeyCount; ++key) {
        KeyState& state = keys_[static_cast<std::size_t>(key)];
        const Held held = state.held;
        const ExtKey* ext = tables_->function(state.layer, key).ext;
        state.held = Held::No;
        if (held == Held::HoldKey && ext != nullptr) port_.sendKey(ext->hold, 1);
        if (held == Held::Injected && state.output != 0) port_.sendKey(state.output, 1);
        if (held == Held::Function) port_.keyReleased(slotOfOrdinaryKey(key));
    }
    active_.clear();
    // Without `send` the caller withdraws the tables or sends the base's
    // itself; what the leaving tables put down is released all the same.
    sendWanted(send);
    if (before != 0) port_.layerChanged(0);
    updateWatch();
}

}  // namespace kb
