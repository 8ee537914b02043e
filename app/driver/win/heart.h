// The heart of the program without its window: the libraries, the profile in
// the driver, the per-key events and the worker threads that carry out keys,
// in the order the program starts and stops them.
#pragma once

#include <windows.h>

#include "attach_thread.h"
#include "control_device_win.h"
#include "hid_link.h"
#include "key_event_threads.h"
#include "key_functions.h"
#include "library_bindings.h"
#include "other_key_watch.h"
#include "playback_clock_win.h"
#include "playback_control.h"
#include "playback_engine.h"
#include "profile_activation.h"
#include "profile_list.h"
#include "engine.h"
#include "window_sink.h"

#include <atomic>
#include <functional>
#include <memory>

namespace kb {

enum class StartResult { Started, MissingHidport, HidportInitFailed, MissingKinset, MissingMultact, NoEvents };

class Heart final : private KeyActions,
                    private PlaybackHost,
                    private PlaybackControl,
                    private AttachSink,
                    private MacroKeyUi {
public:
    Heart(WindowSink& sink, SettingsStore& settings);
    ~Heart();
    Heart(const Heart&) = delete;
    Heart& operator=(const Heart&) = delete;

    // Binds the libraries, starts the macro-key reports, loads and applies the
    // active profile, creates the events, opens the device and starts the
    // threads. Anything but Started means the program must end. The window
    // loads its skin in `afterProfile`, once the events exist and the profile
    // is applied, before the device opens and the threads start.
    [[nodiscard]] StartResult start(std::function<bool()> windowReady = {}, std::function<void()> afterProfile = {});
    // Undoes start in order; safe to call twice and after a failed start.
    void shutdown();

    [[nodiscard]] ProfileModel& model() noexcept { return model_; }
    [[nodiscard]] Engine& engine() noexcept { return engine_; }
    [[nodiscard]] ProfileList& profiles() noexcept { return profiles_; }
    [[nodiscard]] WinControlDevice& device() noexcept { return device_; }
    [[nodiscard]] MacroKeys& macroKeys() noexcept { return macroKeys_; }
    [[nodiscard]] PlaybackEngine& playback() noexcept { return playback_; }
    [[nodiscard]] PlaybackControl& playbackControl() noexcept { return *this; }
    [[nodiscard]] const char* failure() const noexcept { return failure_.c_str(); }
    // Every profile change goes through it.
    [[nodiscard]] ProfileActivation& activation() noexcept { return activation_; }

private:
    // KeyActions: called by the event threads and the HID handler.
    void sendKey(std::uint16_t makeCode, std::uint16_t direction) override;
    void runAction(int actionCode, const std::u16string& text) override;
    void enqueueMacro(std::uint16_t macroId, int slot) override;
    void wakePlayback() override;
    void stopPlayback() override;
    void keyReleased(int slot) override;

    // PlaybackHost: called by the playback thread (and Stop's caller).
    bool ensureAttached() override;
    PlayTableRef findMacro(std::uint16_t macroId) override;
    PlayTableRef findMacroLocked(std::uint16_t macroId) override;
    SnapshotResult trySnapshot(std::uint16_t index, std::uint16_t macroId, MacroSnapshot& out) override;
    void sendStep(std::uint16_t makeCode, std::uint16_t direction) override;
    void releaseSystemHeldKeys() override;
    void playbackIndication(bool playing) override;

    // AttachSink: the attach thread's reports, passed on to the window.
    void attachState(int state) override;
    void deviceLost() override;
    void deviceBack() override;

    // MacroKeyUi: the HID thread's questions and news, passed on to the window.
    bool editingMacroKey() override { return sink_.editingMacroKey(); }
    void refuseBankSwitch() override { sink_.refuseBankSwitch(); }
    void bankChanged(int bank) override { sink_.bankChanged(bank); }

    // PlaybackControl: what the profile switch and apply ask.
    [[nodiscard]] bool isPlaying() const override { return playback_.isPlaying(); }
    [[nodiscard]] bool isRepeating() const override { return playback_.isRepeating(); }
    void stop() override { playback_.stop(); }

    WindowSink& sink_;
    ProfileList profiles_;
    ProfileModel model_;
    Engine engine_;
    HidportBinding hidport_;
    KinsetBinding kinset_;
    MultactBinding multact_;
    WinControlDevice& device_;  // the process-wide control device
    HidLink hid_;
    MacroKeys macroKeys_;
    WinPlaybackClock playbackClock_;
    PlaybackEngine playback_;
    KeyEventSet events_;
    std::unique_ptr<KeyEventThread> keyboardThread_;
    std::unique_ptr<KeyEventThread> keypadThread_;
    std::unique_ptr<AttachThread> attachThread_;
    ProfileActivation activation_;
    OtherKeyWatch watch_{activation_.layers()};
    std::string failure_;
    bool hidportInitialised_ = false;
    bool started_ = false;
    bool shutDown_ = false;
};

}  // namespace kb
