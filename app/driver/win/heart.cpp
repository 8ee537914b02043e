#include "heart.h"

#include "play_table.h"

#include <mutex>

namespace kb {

Heart::Heart(WindowSink& sink, SettingsStore& settings)
    : sink_(sink),
      profiles_(settings),
      device_(processControlDevice()),
      hid_(hidport_),
      macroKeys_(engine_, *this, static_cast<MacroKeyUi&>(*this), hid_),
      playback_(static_cast<PlaybackHost&>(*this), playbackClock_),
      activation_(model_, engine_, profiles_, device_, sink) {
    activation_.usePlayback(this);
    activation_.useMacroKeys(&macroKeys_);
    activation_.layers().useActions(static_cast<KeyActions*>(this));
    activation_.layers().useInput(&watch_);
}

Heart::~Heart() { shutdown(); }

StartResult Heart::start(std::function<bool()> windowReady, std::function<void()> afterProfile) {
    if (started_) return StartResult::Started;
    if (!hidport_.bind()) {
        failure_ = hidport_.failure();
        return StartResult::MissingHidport;
    }
    if (hidport_.Init(0) <= 0) {
        failure_ = "Hidport Init failed";
        return StartResult::HidportInitFailed;
    }
    // From here on every way out ends the library (shutdown), before it is freed.
    hidportInitialised_ = true;
    if (!kinset_.bind()) {
        failure_ = kinset_.failure();
        return StartResult::MissingKinset;
    }
    if (!multact_.bind()) {
        failure_ = multact_.failure();
        return StartResult::MissingMultact;
    }
    started_ = true;
    hid_.setMacroKeys(&macroKeys_);
    macroKeys_.sendStartStatus();
    hid_.startMacroKeyReports();

    // The events exist before the first table goes out: records that signal
    // one carry its handle from the start.
    if (!events_.create(engine_)) {
        failure_ = "the key events cannot be created";
        return StartResult::NoEvents;
    }
    device_.useKinset(&kinset_);
    // Without the watch a tap/hold key is still decided by its term.
    (void)watch_.start();
    (void)activation_.activateListed(ApplyButton::Disable);
    if (afterProfile) afterProfile();
    (void)device_.open();

    playback_.start();
    attachThread_ = std::make_unique<AttachThread>(device_, static_cast<AttachSink&>(*this), std::move(windowReady));
    (void)attachThread_->start();
    KeyActions& actions = *this;
    keyboardThread_ = std::make_unique<KeyEventThread>(KeyEventThread::Device::Keyboard, engine_, device_, actions,
                                                       events_.keyboard(), &activation_.layers());
    keypadThread_ = std::make_unique<KeyEventThread>(KeyEventThread::Device::Keypad, engine_, device_, actions,
                                                     events_.keypad(), &activation_.layers());
    (void)keyboardThread_->start();
    (void)keypadThread_->start();
    return StartResult::Started;
}

void Heart::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    playback_.stop();
    playback_.shutdown();
    if (started_) activation_.withdraw();
    if (keyboardThread_) keyboardThread_->stop();
    if (keypadThread_) keypadThread_->stop();
    watch_.stop();
    events_.close(engine_);
    if (attachThread_) attachThread_->stop();
    if (started_) macroKeys_.sendExitStatus();
    // Every Init that succeeded is ended before the library is freed: its
    // thread must not outlive the code it runs.
    if (hidportInitialised_) hid_.end();
    hidportInitialised_ = false;
    hidport_.unbind();
    if (kinset_.isBound()) {
        device_.useKinset(nullptr);
        (void)kinset_.End();
    }
    kinset_.unbind();
    multact_.unbind();
    {
        std::lock_guard<ModelLock> lock(model_.lock());
        model_.record.reset();
        model_.texts.clearAll();
        model_.macros.clear();
    }
    {
        std::lock_guard<ModelLock> lock(engine_.lock());
        engine_.active.reset();
    }
    (void)device_.close();
}

void Heart::sendKey(std::uint16_t makeCode, std::uint16_t direction) {
    if (!kinset_.isBound()) return;
    // No handle yet: the library's Init failed; the open tries it again.
    if (device_.kinsetKeyboardHandle() == nullptr) (void)device_.open();
    (void)kinset_.VKSendWinMakeCodeSingle_KB(device_.kinsetKeyboardHandle(), makeCode, direction);
}

void Heart::runAction(int actionCode, const std::u16string& text) {
    if (multact_.isBound()) (void)multact_.Multact2(actionCode, reinterpret_cast<const wchar_t*>(text.c_str()), nullptr);
}

void Heart::enqueueMacro(std::uint16_t macroId, int slot) {
    playback_.enqueueLocked(macroId, slot, PlaybackEngine::Wake::ByCaller);
}

void Heart::wakePlayback() { playback_.wake(); }

void Heart::stopPlayback() { playback_.stop(); }

void Heart::keyReleased(int slot) { playback_.keyReleased(slot); }

bool Heart::ensureAttached() { return device_.open() == 1; }

PlayTableRef Heart::findMacro(std::uint16_t macroId) { return findPlayTableMacro(engine_, macroId); }

PlayTableRef Heart::findMacroLocked(std::uint16_t macroId) { return findPlayTableMacroLocked(engine_, macroId); }

SnapshotResult Heart::trySnapshot(std::uint16_t index, std::uint16_t macroId, MacroSnapshot& out) {
    return snapshotPlayTable(engine_, index, macroId, out);
}

void Heart::sendStep(std::uint16_t makeCode, std::uint16_t direction) { sendKey(makeCode, direction); }

void Heart::releaseSystemHeldKeys() {
    if (!kinset_.isBound()) return;
    for (int vk = 0; vk < 256; ++vk) {
        if ((GetAsyncKeyState(vk) & 0x8000) != 0) (void)kinset_.KeyUp(vk, 1);
    }
}

void Heart::playbackIndication(bool playing) { sink_.playbackIndication(playing); }

void Heart::attachState(int state) {
    // An unplugged keyboard sends no release and no second press: a repeating
    // macro would run on with nothing to end it.
    if (state <= 0 && playback_.isRepeating()) playback_.stop();
    // Nor the release of a layer key or a hold.
    if (state <= 0) activation_.layers().returnToBase(true);
    sink_.attachState(state);
}

void Heart::deviceLost() {
    // Neither the release nor the second press that would end a macro can come
    // now: nothing may go on playing, and what it holds down is let go; the
    // layers go back to the base, whose tables the resend gives.
    playback_.stop();
    activation_.layers().returnToBase(false);
}

void Heart::deviceBack() { sink_.tablesDue(); }

}  // namespace kb
