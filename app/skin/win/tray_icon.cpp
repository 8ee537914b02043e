#include "tray_icon.h"

#include "skin_dpi.h"

#include <thread>

#include "gdi_owner.h"

namespace kbskin {

// Shared with the thread that waits out the double-click time, so that thread
// never touches the tray object, which may be gone by then.
struct CTrayIcon::Pending {
    std::atomic<unsigned> generation{0};
    std::atomic<bool> waiting{false};
    std::atomic<UINT> command{0};
};

CTrayIcon::CTrayIcon(HINSTANCE menuModule)
    : module_(menuModule ? menuModule : GetModuleHandleW(nullptr)),
      pending_(std::make_shared<Pending>()),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    data_.cbSize = NOTIFYICONDATAW_V2_SIZE;
}

CTrayIcon::~CTrayIcon() {
    pending_->waiting = false;
    DeleteIcon();
    windowHook_.AttachHook(nullptr);
    parentHook_.AttachHook(nullptr);
}

void CTrayIcon::SetClickCommand(UINT command) noexcept {
    defaultCommand_ = command;
    pending_->command = command;
}

BOOL CTrayIcon::AddIcon(HWND window, UINT callbackMessage, const wchar_t* tip, HICON icon, UINT iconId) {
    created_ = false;
    if (LOBYTE(LOWORD(GetVersion())) < 4 || window == nullptr || !IsWindow(window)) return FALSE;
    data_.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data_.hWnd = window;
    data_.uID = iconId;
    data_.hIcon = icon;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = callbackMessage;
    // The record's tip holds 127 characters; a longer tip is cut, never overrun.
    const wchar_t* text = tip ? tip : L"";
    std::size_t i = 0;
    for (; i + 1 < std::size(data_.szTip) && text[i] != L'\0'; ++i) data_.szTip[i] = text[i];
    data_.szTip[i] = L'\0';

    windowHook_.AttachHook(window);
    HWND top = GetAncestor(window, GA_ROOTOWNER);
    if (top && top != window) parentHook_.AttachHook(top);
    created_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
    return created_ ? TRUE : FALSE;
}

bool CTrayIcon::ChangeIcon(int iconResourceId) {
    // A small icon (16 pixels at 96 DPI) from the icon's own entry for the scale.
    constexpr int kSmallIcon = 16;
    const int size = MulDiv(kSmallIcon, WindowDpi(data_.hWnd), kBaseDpi);
    UniqueIcon icon(static_cast<HICON>(
        LoadImageW(module_, MAKEINTRESOURCEW(iconResourceId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    if (!icon) return false;
    iconResourceId_ = iconResourceId;
    data_.hIcon = icon.get();
    bool shown = true;
    if (created_) {
        data_.uFlags = NIF_ICON;
        shown = Shell_NotifyIconW(NIM_MODIFY, &data_) != FALSE;
    }
    icon_ = std::move(icon);  // the shell has copied it; the previous one may go
    return shown;
}

bool CTrayIcon::Rescale() { return iconResourceId_ != 0 && ChangeIcon(iconResourceId_); }

void CTrayIcon::DeleteIcon() {
    if (!created_) return;
    data_.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &data_);
    created_ = false;
}

void CTrayIcon::Readd() {
    data_.uFlags = NIF_ICON;
    Shell_NotifyIconW(NIM_DELETE, &data_);
    hidden_ = true;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    created_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
    hidden_ = false;
}

LRESULT CTrayIcon::Hook::OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    owner_.OnHook(*this, message, wParam, lParam);
    return PassOn();
}

void CTrayIcon::OnHook(Hook& hook, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == data_.uCallbackMessage && hook.HookedWindow() == data_.hWnd && data_.uCallbackMessage != 0) {
        HandleTrayMessage(wParam, lParam);
    } else if (message == taskbarCreated_ && taskbarCreated_ != 0 && created_ && !hidden_) {
        Readd();
    }
}

void CTrayIcon::ShowMenu() {
    UniqueMenu menu(LoadMenuW(module_, MAKEINTRESOURCEW(data_.uID)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (!popup) return;
    SetMenuDefaultItem(popup, 0, TRUE);
    POINT at{};
    GetCursorPos(&at);
    SetForegroundWindow(data_.hWnd);
    TrackPopupMenu(popup, TPM_LEFTBUTTON, at.x, at.y, 0, data_.hWnd, nullptr);
    // Lets the menu close when the user clicks elsewhere next time.
    PostMessageW(data_.hWnd, WM_NULL, 0, 0);
}

void CTrayIcon::RunMenuFirstCommand() {
    UniqueMenu menu(LoadMenuW(module_, MAKEINTRESOURCEW(data_.uID)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (!popup) return;
    const UINT command = GetMenuItemID(popup, 0);
    SetForegroundWindow(data_.hWnd);
    if (command != static_cast<UINT>(-1)) SendMessageW(data_.hWnd, WM_COMMAND, command, 0);
}

LRESULT CTrayIcon::HandleTrayMessage(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != data_.uID) return 0;
    switch (LOWORD(mouseMessage)) {
    case WM_RBUTTONUP:
        ShowMenu();
        break;
    case WM_LBUTTONDBLCLK:
        pending_->waiting = false;
        ++pending_->generation;
        RunMenuFirstCommand();
        break;
    case WM_LBUTTONDOWN:
        if (defaultCommand_ != 0) {
            const unsigned generation = ++pending_->generation;
            pending_->waiting = true;
            HWND window = data_.hWnd;
            try {
                std::thread([state = pending_, generation, window] {
                    Sleep(GetDoubleClickTime());
                    // Only the click that started this wait, and only if no double
                    // click came in the meantime.
                    if (state->waiting && state->generation == generation && state->command != 0) {
                        const UINT command = state->command;
                        PostMessageW(window, WM_COMMAND, command,
                                     reinterpret_cast<LPARAM>(GetDlgItem(window, static_cast<int>(command))));
                        state->waiting = false;
                    }
                }).detach();
            } catch (...) {
                pending_->waiting = false;
            }
        }
        break;
    default:
        break;
    }
    return 1;
}

}  // namespace kbskin
