#include "layer_runner.h"

#include "key_tables.h"

#include <chrono>
#include <type_traits>

namespace kb {
namespace {

// The watch gives up on the lock after this rather than wait on a key thread
// whose injection is waiting for the watch's own hook.
constexpr auto kWatchLockWait = std::chrono::milliseconds(20);

bool ordinaryKey(int key) noexcept { return key >= 0 && key < kOrdinaryKeyCount; }

}  // namespace

template <class Step>
auto LayerRunner::locked(Step&& step) {
    std::vector<std::function<void()>> after;
    std::unique_lock<std::timed_mutex> lock(lock_);
    const auto runAfter = [&] {
        after.swap(after_);
        lock.unlock();
        for (const auto& f : after) f();
    };
    if constexpr (std::is_void_v<decltype(step())>) {
        step();
        runAfter();
    } else {
        auto result = step();
        runAfter();
        return result;
    }
}

void LayerRunner::useActions(KeyActions* actions) noexcept {
    std::lock_guard<std::timed_mutex> lock(lock_);
    actions_ = actions;
}

void LayerRunner::useInput(LayerInput* input) noexcept {
    std::lock_guard<std::timed_mutex> lock(lock_);
    input_ = input;
}

void LayerRunner::load(const ProfileModel* model) {
    locked([&] {
        // Released under the tables that put them down.
        state_.returnToBase(false);
        std::unique_ptr<LayerTables> next;
        if (model != nullptr && !model->extension.empty()) {
            std::lock_guard<ModelLock> guard(engine_.lock());
            if (engine_.active) {
                next = std::make_unique<LayerTables>();
                next->build(engine_.active->record, model->texts, model->extension, engine_.keyboardEvents,
                            engine_.keypadEvents);
            }
        }
        tables_ = std::move(next);
        state_.reset(tables_.get());
    });
}

void LayerRunner::returnToBase(bool send) {
    locked([&] { state_.returnToBase(send && sends_); });
}

void LayerRunner::allowSends(bool on) {
    std::lock_guard<std::timed_mutex> lock(lock_);
    sends_ = on;
}

bool LayerRunner::sendKeyboard() {
    return locked([&] {
        if (!tables_) return sendKeyboardTable(engine_, device_);
        const bool sent = installKeyboardTable(device_, state_.installed(true));
        for (auto& latch : engine_.keyboardLatches) latch.store(0);
        return sent;
    });
}

bool LayerRunner::sendKeypad() {
    return locked([&] {
        if (!tables_) return sendKeypadTables(engine_, device_);
        const bool sent = installKeypadTables(device_, state_.installed(false));
        for (auto& latch : engine_.keypadLatches) latch.store(0);
        return sent;
    });
}

void LayerRunner::press(int key, std::uint64_t nowMs) {
    if (!ordinaryKey(key)) return;
    locked([&] {
        if (tables_) {
            state_.press(key, nowMs);
        } else if (actions_ != nullptr) {
            const int slot = slotOfOrdinaryKey(key);
            after_.emplace_back([this, slot] { carryOutKeyFunction(engine_, *actions_, slot, false); });
        }
    });
}

void LayerRunner::release(int key, std::uint64_t nowMs) {
    if (!ordinaryKey(key)) return;
    locked([&] {
        if (tables_) state_.release(key, nowMs);
        else keyReleased(slotOfOrdinaryKey(key));
    });
}

std::optional<std::uint64_t> LayerRunner::nextDeadline() {
    std::lock_guard<std::timed_mutex> lock(lock_);
    return state_.nextDeadline();
}

void LayerRunner::expire(std::uint64_t nowMs) {
    locked([&] { state_.expire(nowMs); });
}

bool LayerRunner::otherKeyPressed(std::uint64_t nowMs) {
    std::unique_lock<std::timed_mutex> lock(lock_, kWatchLockWait);
    if (!lock.owns_lock()) return false;
    const bool replay = tables_ && state_.otherKeyPressed(nowMs);
    std::vector<std::function<void()>> after;
    after.swap(after_);
    lock.unlock();
    for (const auto& f : after) f();
    return replay;
}

void LayerRunner::replay(WinMakeCode code, std::uint16_t direction) {
    KeyActions* actions;
    {
        std::lock_guard<std::timed_mutex> lock(lock_);
        actions = actions_;
    }
    if (actions != nullptr) actions->sendKey(code, direction);
}

bool LayerRunner::layered() {
    std::lock_guard<std::timed_mutex> lock(lock_);
    return tables_ != nullptr;
}

int LayerRunner::layer() {
    std::lock_guard<std::timed_mutex> lock(lock_);
    return state_.layer();
}

void LayerRunner::installTables(const std::vector<std::uint8_t>* keyboard, const std::vector<std::uint8_t>* keypad) {
    if (!sends_) return;
    // Only the tables that differ; the latches stay, as the held keys keep their records.
    if (keyboard != nullptr) (void)installKeyboardTable(device_, *keyboard);
    if (keypad != nullptr) (void)installKeypadTables(device_, *keypad);
}

void LayerRunner::sendKey(WinMakeCode code, std::uint16_t direction) {
    if (actions_ != nullptr) actions_->sendKey(code, direction);
}

bool LayerRunner::isDown(WinMakeCode code) { return input_ != nullptr && input_->isDown(code); }

void LayerRunner::carryOut(int slot, const LayerFunction& function) {
    if (actions_ == nullptr) return;
    after_.emplace_back([this, slot, entry = function.entry, text = function.text] {
        carryOutEntry(engine_, *actions_, slot, entry, text);
    });
}

void LayerRunner::keyReleased(int slot) {
    if (actions_ != nullptr) after_.emplace_back([this, slot] { actions_->keyReleased(slot); });
}

void LayerRunner::layerChanged(int layer) {
    after_.emplace_back([this, layer] { window_.layerChanged(layer); });
}

void LayerRunner::watchOtherKeys(bool on) {
    if (input_ != nullptr) input_->watchOtherKeys(on);
}

}  // namespace kb
