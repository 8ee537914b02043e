// Scoped owners for the user-interface handles: GDI objects, device
// contexts, hooks and menus. Same rules as unique_handle.h: one owner, freed
// exactly once. Users link gdi32 and user32.
#pragma once

#include "common/win/unique_handle.h"

#include <utility>

namespace kbwin {

// Brushes, pens, fonts, bitmaps and regions: all freed by DeleteObject. Never
// for a stock object or one still selected into a DC.
template <class Gdi>
struct GdiObjectTraits {
    using pointer = Gdi;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static bool close(pointer h) noexcept { return DeleteObject(h) != FALSE; }
};

// A DC made by CreateCompatibleDC or CreateDC (not one from GetDC).
struct MemoryDcTraits {
    using pointer = HDC;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static bool close(pointer h) noexcept { return DeleteDC(h) != FALSE; }
};

struct HookTraits {
    using pointer = HHOOK;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static bool close(pointer h) noexcept { return UnhookWindowsHookEx(h) != FALSE; }
};

struct WinEventHookTraits {
    using pointer = HWINEVENTHOOK;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static bool close(pointer h) noexcept { return UnhookWinEvent(h) != FALSE; }
};

// A menu that no window owns (a window destroys its own menu bar).
struct MenuTraits {
    using pointer = HMENU;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer h) noexcept { return h != nullptr; }
    static bool close(pointer h) noexcept { return DestroyMenu(h) != FALSE; }
};

using UniqueBrush = UniqueResource<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueResource<GdiObjectTraits<HPEN>>;
using UniqueFont = UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueResource<GdiObjectTraits<HBITMAP>>;
using UniqueRegion = UniqueResource<GdiObjectTraits<HRGN>>;
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;
using UniqueHook = UniqueResource<HookTraits>;
using UniqueWinEventHook = UniqueResource<WinEventHookTraits>;
using UniqueMenu = UniqueResource<MenuTraits>;

// A window's DC (GetDC, GetWindowDC), handed back with ReleaseDC to the
// window it came from.
class WindowDc {
public:
    WindowDc() noexcept = default;
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    WindowDc(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}
    WindowDc(WindowDc&& other) noexcept
        : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() { reset(); }

    [[nodiscard]] HDC get() const noexcept { return dc_; }
    [[nodiscard]] HWND window() const noexcept { return window_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    void reset() noexcept {
        if (dc_ != nullptr) (void)ReleaseDC(window_, dc_);
        dc_ = nullptr;
        window_ = nullptr;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

}  // namespace kbwin
