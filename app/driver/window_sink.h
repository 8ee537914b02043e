// What the window shows of the profile and the driver, as the heart and the
// activation path tell it: key marks, apply state, the profile menu,
// playback, attach state, the macro bank, and the messages and questions.
// Worker threads call it too, some with locks held: an implementation only
// records or posts, except the messages and questions, which come on the
// user-interface thread and may wait for the user.
#pragma once

#include "profile_menu.h"

#include <string_view>

namespace kb {

class WindowSink {
public:
    // The button that carries this slot drawn as assigned or not; macro-key
    // slots only for the bank shown.
    virtual void setKeyButtonAssigned(int slot, bool assigned) = 0;
    // Enabled while there are changes not yet applied to the driver.
    virtual void setApplyButtonEnabled(bool enabled) = 0;
    virtual void showProfileMenu(const ProfileMenu& menu) = 0;
    virtual void playbackIndication(bool playing) = 0;
    // Above 0: the keyboard is attached.
    virtual void attachState(int state) = 0;
    // The driver answers again on a fresh handle and holds none of our tables:
    // the window sends them again through the activation path, on its thread.
    virtual void tablesDue() = 0;
    virtual void bankChanged(int bank) = 0;
    // The layer in force changed (0: the base), by a layer key, a tap/hold
    // key or a return to the base. From the key threads: posted on.
    virtual void layerChanged(int layer) = 0;
    // The bank key was pressed while a macro key is being edited.
    virtual void refuseBankSwitch() = 0;
    // True while the key function dialog edits one of the macro keys.
    [[nodiscard]] virtual bool editingMacroKey() = 0;
    virtual void showMessage(std::u16string_view text) = 0;
    // True on Yes.
    [[nodiscard]] virtual bool askYesNo(std::u16string_view text, bool defaultNo) = 0;

protected:
    ~WindowSink() = default;
};

}  // namespace kb
