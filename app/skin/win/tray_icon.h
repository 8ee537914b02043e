// The notification-area icon of the main window: added, changed, removed, put
// back after the taskbar restarts, and clicks turned into window commands.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <memory>

#include "gdi_owner.h"
#include "subclass.h"

namespace kbskin {

class CTrayIcon {
public:
    // menuModule: where the menu resource named by the icon id and the icons
    // for ChangeIcon live (the owning program; null: the process's exe).
    explicit CTrayIcon(HINSTANCE menuModule = nullptr);
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;
    // Removes the icon and unhooks the window.
    virtual ~CTrayIcon();

    // Adds the icon for `window`; tip longer than 127 characters is cut. Non-zero when added.
    BOOL AddIcon(HWND window, UINT callbackMessage, const wchar_t* tip, HICON icon, UINT iconId);
    // Command posted after a confirmed single click; 0: none.
    void SetClickCommand(UINT command) noexcept;
    // Loads icon resource `iconResourceId` at the notification area's size for
    // the window's display scale and shows it; false when not loaded.
    bool ChangeIcon(int iconResourceId);
    // The last icon of ChangeIcon again, at the window's new scale.
    bool Rescale();
    void DeleteIcon();
    [[nodiscard]] bool Created() const noexcept { return created_; }
    [[nodiscard]] HICON Icon() const noexcept { return data_.hIcon; }

    // Right release: menu; double click: the menu's first command; press: a single
    // click once the double-click time passed. 1 when the id is this icon's.
    virtual LRESULT HandleTrayMessage(WPARAM iconId, LPARAM mouseMessage);

private:
    class Hook : public CSubclassWnd {
    public:
        explicit Hook(CTrayIcon& owner) : owner_(owner) {}

    protected:
        LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    private:
        CTrayIcon& owner_;
    };
    struct Pending;  // single-click state shared with the waiting thread

    void OnHook(Hook& hook, UINT message, WPARAM wParam, LPARAM lParam);
    void Readd();
    void RunMenuFirstCommand();
    void ShowMenu();

    HINSTANCE module_;
    bool created_ = false;
    bool hidden_ = false;
    NOTIFYICONDATAW data_{};
    UniqueIcon icon_;  // ours when ChangeIcon loaded it; the first one is the caller's
    int iconResourceId_ = 0;
    UINT defaultCommand_ = 0;
    std::shared_ptr<Pending> pending_;
    Hook windowHook_{*this};
    Hook parentHook_{*this};
    UINT taskbarCreated_ = 0;
};

}  // namespace kbskin
