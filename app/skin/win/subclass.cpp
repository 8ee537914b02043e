#include "subclass.h"

namespace kbskin {
namespace {

// The head of a window's chain and the procedure the chain ends in live in
// window properties, so no process-wide table and no lock are needed.
constexpr wchar_t kHeadProp[] = L"KbSkinHookHead";
constexpr wchar_t kPreviousProp[] = L"KbSkinHookPrevious";

CSubclassWnd* headOf(HWND window) { return static_cast<CSubclassWnd*>(GetPropW(window, kHeadProp)); }
WNDPROC previousOf(HWND window) { return reinterpret_cast<WNDPROC>(GetPropW(window, kPreviousProp)); }

}  // namespace

struct HookChain {
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        WNDPROC previous = previousOf(window);
        CSubclassWnd* head = headOf(window);
        if (message == WM_NCDESTROY) {
            for (CSubclassWnd* h = head; h != nullptr;) {
                CSubclassWnd* next = h->next_;
                h->window_ = nullptr;
                h->next_ = nullptr;
                h = next;
            }
            RemovePropW(window, kHeadProp);
            RemovePropW(window, kPreviousProp);
            if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) == &Procedure)
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        } else if (head != nullptr) {
            return Dispatch(*head, message, wParam, lParam);
        }
        return previous ? CallWindowProcW(previous, window, message, wParam, lParam)
                        : DefWindowProcW(window, message, wParam, lParam);
    }

    static LRESULT Dispatch(CSubclassWnd& hook, UINT message, WPARAM wParam, LPARAM lParam) {
        const CSubclassWnd::Current saved = hook.current_;
        hook.current_ = {message, wParam, lParam};
        LRESULT result = 0;
        try {
            result = hook.OnHookedMessage(message, wParam, lParam);
        } catch (...) {
            // No exception may cross the system's window procedure.
            result = 0;
        }
        hook.current_ = saved;
        return result;
    }
};

CSubclassWnd::~CSubclassWnd() { AttachHook(nullptr); }

bool CSubclassWnd::AttachHook(HWND window) {
    if (window_ != nullptr) {
        HWND old = window_;
        CSubclassWnd* head = headOf(old);
        if (head == this) {
            if (next_ != nullptr) {
                SetPropW(old, kHeadProp, next_);
            } else {
                RemovePropW(old, kHeadProp);
                // Put the old procedure back unless someone subclassed after us;
                // then the chain stays in place, empty, and forwards.
                if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(old, GWLP_WNDPROC)) == &HookChain::Procedure) {
                    SetWindowLongPtrW(old, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousOf(old)));
                    RemovePropW(old, kPreviousProp);
                }
            }
        } else {
            for (CSubclassWnd* h = head; h != nullptr; h = h->next_) {
                if (h->next_ == this) {
                    h->next_ = next_;
                    break;
                }
            }
        }
        window_ = nullptr;
        next_ = nullptr;
        previous_ = nullptr;
    }
    if (window == nullptr) return true;
    if (!IsWindow(window)) return false;
    if (GetPropW(window, kPreviousProp) == nullptr) {
        LONG_PTR old = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HookChain::Procedure));
        if (old == 0) return false;
        SetPropW(window, kPreviousProp, reinterpret_cast<HANDLE>(old));
    }
    previous_ = previousOf(window);
    next_ = headOf(window);
    SetPropW(window, kHeadProp, this);
    window_ = window;
    return true;
}

LRESULT CSubclassWnd::OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallNext(message, wParam, lParam);
}

LRESULT CSubclassWnd::PassOn() { return CallNext(current_.message, current_.wParam, current_.lParam); }

LRESULT CSubclassWnd::CallNext(UINT message, WPARAM wParam, LPARAM lParam) {
    if (window_ == nullptr) return 0;
    if (next_ != nullptr) return HookChain::Dispatch(*next_, message, wParam, lParam);
    WNDPROC previous = previousOf(window_);
    return previous ? CallWindowProcW(previous, window_, message, wParam, lParam)
                    : DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace kbskin
