// The main window's place in the notification area: the tray icon and its
// picture (attach state, playback), and the profile pop-up menu that the
// tray's click and the profile menu command show. User-interface thread only.
#pragma once

#include <windows.h>

#include "app_rules.h"
#include "common/win/ui_owners.h"
#include "profile_menu.h"
#include "tray_icon.h"

namespace kb::ui {

inline constexpr int kTrayCallbackMessage = 1725;
inline constexpr wchar_t kTrayTip[] = L"Vortek键盘";

class MainWindowTray {
public:
    MainWindowTray() : icon_(GetModuleHandleW(nullptr)) {}

    // The icon shows "no keyboard" until the attach thread says otherwise;
    // a click runs `clickCommand` on the window.
    void add(HWND window, HICON icon, UINT clickCommand);
    // The icon goes before the process does, or the shell keeps a dead one.
    // Pictures change no more after this.
    void remove();
    void attachState(int state) { show(picture_.attachState(state)); }
    void playbackIndication(bool playing) { show(picture_.playbackIndication(playing, 0)); }

    void setProfileMenu(const ProfileMenu& menu);
    // The picture again at the window's new display scale.
    void rescale() {
        if (!removed_) (void)icon_.Rescale();
    }
    void showProfileMenuAtMouse(HWND window);

private:
    void show(std::optional<int> id);

    kbskin::CTrayIcon icon_;
    TrayPicture picture_;
    kbwin::UniqueMenu profileMenu_;
    bool removed_ = false;
};

}  // namespace kb::ui
