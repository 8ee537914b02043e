// Chained window subclassing: several hooks on one window, each seeing a message
// before the next and the window's previous procedure.
#pragma once

#include <windows.h>

namespace kbskin {

// Messages that the skinned window reflects to the control a notification came
// from, so that controls draw and handle their own (the usual OCM_ values).
inline constexpr UINT kReflectBase = WM_USER + 0x1C00;
inline constexpr UINT kReflectDrawItem = kReflectBase + WM_DRAWITEM;
inline constexpr UINT kReflectNotify = kReflectBase + WM_NOTIFY;

// Carried by kReflectNotify: the control sets handled and result when it took it.
struct ReflectedNotify {
    NMHDR* header = nullptr;
    LRESULT result = 0;
    bool handled = false;
};

class CSubclassWnd {
public:
    CSubclassWnd() = default;
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;
    virtual ~CSubclassWnd();

    // Puts this hook at the head of `window`'s chain; nullptr unhooks it.
    // A hook is on one window at a time. False when the window is not a window.
    bool AttachHook(HWND window);
    [[nodiscard]] HWND HookedWindow() const noexcept { return window_; }

protected:
    // Sees every message of the hooked window; the default passes it on.
    virtual LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Passes the message being handled to the next hook or the previous procedure.
    LRESULT PassOn();
    // Passes another message the same way (e.g. a double click as a press).
    LRESULT CallNext(UINT message, WPARAM wParam, LPARAM lParam);

private:
    friend struct HookChain;
    HWND window_ = nullptr;
    CSubclassWnd* next_ = nullptr;
    WNDPROC previous_ = nullptr;
    struct Current {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    Current current_{};
};

}  // namespace kbskin
