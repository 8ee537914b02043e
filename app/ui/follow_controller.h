// Profiles that follow the program in front, for the main window: keeps the
// foreground watch running while following is on, and switches as the
// profile menu does when a bound program comes to the front or goes.
// User-interface thread only.
#pragma once

#include <windows.h>

#include "foreground_watch.h"
#include "profile_follow.h"

#include <functional>
#include <string>
#include <vector>

namespace kb::ui {

class FollowController {
public:
    // Posted to the window: wParam the window in front or 0, lParam 1 when the
    // system's own event says so.
    static constexpr UINT kMessage = WM_APP + 7;
    static constexpr UINT_PTR kTimer = 0x4B46;
    // On the window while following is on: the window in front that a look
    // has settled last, so a test can tell that nothing switched on purpose.
    static constexpr const wchar_t* kLookedProp = L"KbFollowLooked";

    FollowController(const ProfileList& list, std::function<void(int index)> switchTo);

    // The switch and the bindings are read again whenever the list or the
    // active profile changes. Out of memory: following stays as it was.
    void refresh(HWND window) noexcept;
    // For good (exit): no later refresh starts it again.
    void end() noexcept;
    // The window's handlers of kMessage and of WM_TIMER; false for another timer.
    void onPosted(WPARAM wp, LPARAM lp);
    [[nodiscard]] bool onTimer(WPARAM timer);

private:
    void refreshOrThrow(HWND window);
    void onForeground(HWND window);

    const ProfileList& list_;
    std::function<void(int)> switchTo_;
    ForegroundWatch foreground_;
    ForegroundFollower follower_;
    std::vector<std::u16string> followedPaths_;
    HWND window_ = nullptr;
    HWND lastForeground_ = nullptr;
    int looks_ = 0;  // looks after an input so far
    bool on_ = false;
    bool ended_ = false;
};

}  // namespace kb::ui
