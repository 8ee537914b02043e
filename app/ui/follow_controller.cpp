#include "follow_controller.h"

#include "dialog_entries.h"

#include <exception>

namespace kb::ui {

namespace {
// A click or key stroke activates its window a little after the input hooks
// see it: two more looks then, the first soon, the last when even a slow
// program has taken the front.
constexpr UINT kSoonMs = 20, kLateMs = 200;
}  // namespace

FollowController::FollowController(const ProfileList& list, std::function<void(int)> switchTo)
    : list_(list), switchTo_(std::move(switchTo)) {}

void FollowController::refresh(HWND window) noexcept {
    try {
        refreshOrThrow(window);
    } catch (const std::exception&) {
    }
}

void FollowController::refreshOrThrow(HWND window) {
    const bool on = !ended_ && followEnabled(list_);
    if (!on) {
        if (on_) foreground_.stop();
        if (window_ != nullptr) RemovePropW(window_, kLookedProp);
        on_ = false;
        follower_.reset();
        return;
    }
    const int count = list_.profileCount();
    std::vector<std::u16string> paths;
    std::vector<std::vector<std::u16string>> bindings;
    for (int i = 0; i < count; ++i) {
        paths.push_back(list_.profilePath(i));
        bindings.push_back(readBindings(list_, i));
    }
    // A changed list may give the profile to come back to another index.
    if (!on_ || paths != followedPaths_) follower_.reset();
    followedPaths_ = std::move(paths);
    follower_.setBindings(std::move(bindings));
    if (!on_) {
        window_ = window;
        lastForeground_ = nullptr;
        on_ = foreground_.start(window, kMessage);
    }
}

void FollowController::end() noexcept {
    ended_ = true;
    foreground_.stop();
    if (window_ != nullptr) RemovePropW(window_, kLookedProp);
    on_ = false;
}

void FollowController::onPosted(WPARAM wp, LPARAM lp) {
    foreground_.handled(lp == 1);
    if (lp != 1 && on_) {
        looks_ = 1;
        SetTimer(window_, kTimer, kSoonMs, nullptr);
    }
    onForeground(reinterpret_cast<HWND>(wp));
}

bool FollowController::onTimer(WPARAM timer) {
    if (timer != kTimer) return false;
    if (looks_ == 1) {
        looks_ = 2;
        SetTimer(window_, kTimer, kLateMs, nullptr);
    } else {
        KillTimer(window_, kTimer);
    }
    onForeground(nullptr);
    return true;
}

void FollowController::onForeground(HWND window) {
    if (!on_ || ended_) return;
    if (window == nullptr) window = GetForegroundWindow();
    if (window == nullptr) return;
    // Our own windows change nothing: opening the main window or a dialog
    // from the tray must not switch back.
    if (window != lastForeground_ && !isOwnWindow(window)) {
        const EditingDialogs& dialogs = editingDialogs();
        const ProfileManagerView* manager = profileManagerView();
        const bool editing = dialogs.keyFunctionDialogOpen() || dialogs.macroEditorOpen() ||
                             (manager != nullptr && manager->isOpen());
        // Looked at again once the dialogs are closed.
        if (!editing) lastForeground_ = window;
        const auto to = follower_.onForeground(programOfWindow(window), list_.activeIndex(), editing);
        if (to) switchTo_(*to);
    }
    SetPropW(window_, kLookedProp, window);
}

}  // namespace kb::ui
