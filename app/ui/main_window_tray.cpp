#include "main_window_tray.h"

#include "common/text/text_convert.h"
#include "resource.h"

#include <chrono>
#include <future>
#include <memory>
#include <system_error>
#include <thread>

namespace kb::ui {

namespace {
constexpr int kTrayAnswerWaitMs = 300;
}  // namespace

void MainWindowTray::add(HWND window, HICON icon, UINT clickCommand) {
    icon_.AddIcon(window, kTrayCallbackMessage, kTrayTip, icon, IDR_TRAY_MENU);
    icon_.SetClickCommand(clickCommand);
    picture_.added(TrayPicture::kDetached);
}

// Removing the last icon can keep the shell busy for seconds after it took
// the request (Wine without a window manager hides its tray window then):
// the request is made on a thread, and the exit waits for the shell's answer
// only a short while once the request is under way. A request the shell has
// received outlives its sender.
void MainWindowTray::remove() {
    removed_ = true;
    auto started = std::make_shared<std::promise<void>>();
    auto answeredPromise = std::make_shared<std::promise<void>>();
    std::future<void> underWay = started->get_future();
    std::future<void> answered = answeredPromise->get_future();
    try {
        std::thread([this, started, answeredPromise] {
            started->set_value();
            icon_.DeleteIcon();
            answeredPromise->set_value();
        }).detach();
    } catch (const std::system_error&) {
        icon_.DeleteIcon();  // no thread: wait for the shell, however long
        picture_.removed();
        return;
    }
    if (underWay.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
        (void)answered.wait_for(std::chrono::milliseconds(kTrayAnswerWaitMs));
    }
    picture_.removed();
}

void MainWindowTray::show(std::optional<int> id) {
    if (id && !removed_ && icon_.Created()) icon_.ChangeIcon(*id);
}

void MainWindowTray::setProfileMenu(const ProfileMenu& menu) {
    kbwin::UniqueMenu popup(CreatePopupMenu());
    if (!popup) return;
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
        const ProfileMenuItem& it = menu.items[i];
        if (it.isSeparator()) {
            AppendMenuW(popup.get(), MF_SEPARATOR, 0, nullptr);
        } else {
            const UINT checked = static_cast<int>(i) == menu.checkedPosition ? MF_CHECKED : MF_UNCHECKED;
            AppendMenuW(popup.get(), MF_STRING | checked, static_cast<UINT_PTR>(it.commandId), kbtext::asWide(it.text));
        }
    }
    profileMenu_ = std::move(popup);
}

void MainWindowTray::showProfileMenuAtMouse(HWND window) {
    if (!profileMenu_) return;
    POINT p{};
    GetCursorPos(&p);
    SetForegroundWindow(window);
    TrackPopupMenu(profileMenu_.get(), TPM_LEFTBUTTON, p.x, p.y, 0, window, nullptr);
    PostMessageW(window, WM_NULL, 0, 0);
}

}  // namespace kb::ui
