// Loading the active profile and switching profiles: the procedures that
// join the profile list, the profile file, the apply to the driver and the
// main window.
#pragma once

#include "control_device.h"
#include "profile_file.h"
#include "profile_list.h"
#include "engine.h"
#include "ui_ports.h"

namespace kb {

struct ProfileServices {
    ProfileModel& model;
    Engine& engine;
    const ProfileList& list;
    Prompt& prompt;
    MainWindowSink& window;
    ControlDevice& device;
    PlaybackControl* playback = nullptr;  // none before playback exists
};

enum class LoadedFrom { File, DefaultProfile };

struct LoadOutcome {
    LoadedFrom source = LoadedFrom::DefaultProfile;
    int applied = 0;  // applyProfile's result
    // The file starts programs and changed behind this program's back; the
    // user said no, so the default profile is active for this run.
    bool refused = false;
};

// Validates the active profile's file (replacing a missing or damaged one
// with a default file), loads it or the default profile, applies it and
// redraws the key buttons. A file that cannot be loaded after validation
// gives the default profile, never a missing record. A file that starts
// programs and is not as last written or accepted here is activated only
// after the user agreed (see confirmActivation).
[[nodiscard]] LoadOutcome loadActiveProfile(ProfileServices& services, bool keepApplyButton);

// The profile menu's command for list entry i (-1: the default profile).
// False when nothing changed.
bool switchProfile(ProfileServices& services, int i, const EditingDialogs& dialogs,
                   ProfileManagerView* manager);

}  // namespace kb
