// The one way a profile becomes what the driver runs: validate and load the
// file, the trust decision, apply (active copy, text pool, play table,
// tables), send, and tell the window. Start-up, the profile menu, the
// manager, following, kbhost's switch and the session's lock and unlock all
// come through here; so does sending everything again when the driver is back.
//
// Runs on the user-interface thread. A question may wait for the user in a
// nested message loop: anything asked of the path meanwhile is refused
// (Busy), so the list never names one profile while another is loaded.
#pragma once

#include "control_device.h"
#include "engine.h"
#include "layer_runner.h"
#include "profile_list.h"
#include "window_sink.h"

#include <memory>

namespace kb {

class EditingDialogs;
class MacroKeys;
class MainWindowSink;
class PlaybackControl;
class ProfileManagerView;
class Prompt;

enum class LoadedFrom { File, DefaultProfile };

struct LoadOutcome {
    LoadedFrom source = LoadedFrom::DefaultProfile;
    bool applied = false;  // the driver tables were built (and sent unless suspended)
    // The file starts programs and changed behind this program's back; the
    // user said no, so the default profile is active for this run.
    bool refused = false;
    bool busy = false;  // another activation waits on a question: nothing done
};

enum class SwitchResult { Switched, DialogsOpen, ManagerKept, Busy };
enum class ApplyResult { Applied, Failed, KeptPlaying, Busy };
enum class ApplyButton { Disable, Keep };

class ProfileActivation {
public:
    ProfileActivation(ProfileModel& model, Engine& engine, ProfileList& list, ControlDevice& device,
                      WindowSink& window);
    ~ProfileActivation();
    ProfileActivation(const ProfileActivation&) = delete;
    ProfileActivation& operator=(const ProfileActivation&) = delete;

    // None before playback exists: nothing is stopped.
    void usePlayback(PlaybackControl* playback) noexcept { playback_ = playback; }
    // The bank whose macro-key marks the window shows; bank A without one.
    void useMacroKeys(const MacroKeys* keys) noexcept { macroKeys_ = keys; }

    // The list's active entry: validated (a missing or damaged file is
    // replaced by a default file), loaded or the default profile, judged,
    // applied and shown. Start-up and the manager's OK and Apply. `ask` takes
    // the messages and questions instead of the window (a dialog's own boxes).
    [[nodiscard]] LoadOutcome activateListed(ApplyButton button = ApplyButton::Disable, Prompt* ask = nullptr);
    // The profile menu's switch to list entry i (-1 or out of range: the
    // default profile); following and kbhost use it too.
    [[nodiscard]] SwitchResult switchTo(int index, const EditingDialogs& dialogs, ProfileManagerView* manager);
    // The working profile as edited becomes active; asks before it stops a
    // playing macro.
    [[nodiscard]] ApplyResult applyWorking();

    // Session locked: repetition stopped and the tables withdrawn; whatever
    // is activated meanwhile waits for resume to reach the driver.
    void suspend();
    void resume();
    [[nodiscard]] bool suspended() const noexcept { return suspended_; }
    // Both tables again from the active copy (the driver lost them); nothing
    // while suspended. False when a send failed or nothing is active.
    [[nodiscard]] bool resend();
    // Exit: back to the base with nothing down, and no table of ours stays
    // in the driver.
    void withdraw();

    // The layers of the active profile; the key threads feed it.
    [[nodiscard]] LayerRunner& layers() noexcept { return layers_; }

    // A question of the path waits for the user.
    [[nodiscard]] bool busy() const noexcept { return busy_; }

    // The window as the model's editing functions want it (marks, apply
    // state, menu) and its message boxes.
    [[nodiscard]] MainWindowSink& windowPort() noexcept;
    [[nodiscard]] Prompt& prompt() noexcept;

private:
    class Ports;
    class BusyScope;

    LoadOutcome load(ApplyButton button, Prompt& ask);
    // Active copy from the working profile, sent unless suspended; then the marks.
    bool install();
    bool send();

    ProfileModel& model_;
    Engine& engine_;
    ProfileList& list_;
    ControlDevice& device_;
    WindowSink& window_;
    std::unique_ptr<Ports> ports_;
    LayerRunner layers_;
    PlaybackControl* playback_ = nullptr;
    const MacroKeys* macroKeys_ = nullptr;
    bool busy_ = false;
    bool suspended_ = false;
};

}  // namespace kb
