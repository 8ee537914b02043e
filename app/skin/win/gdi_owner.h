// Scoped owners for the GDI and USER objects of the skin engine.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"

namespace kbskin {

template <class T, BOOL(WINAPI* Free)(T)>
struct GdiTraits {
    using pointer = T;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer p) noexcept { return p != nullptr; }
    static bool close(pointer p) noexcept { return Free(p) != FALSE; }
};

template <class T>
inline BOOL WINAPI DeleteTyped(T o) { return DeleteObject(o); }

using UniqueBitmap = kbwin::UniqueResource<GdiTraits<HBITMAP, DeleteTyped<HBITMAP>>>;
using UniqueRegion = kbwin::UniqueResource<GdiTraits<HRGN, DeleteTyped<HRGN>>>;
using UniqueFont = kbwin::UniqueResource<GdiTraits<HFONT, DeleteTyped<HFONT>>>;
using UniqueBrush = kbwin::UniqueResource<GdiTraits<HBRUSH, DeleteTyped<HBRUSH>>>;
using UniqueMemDC = kbwin::UniqueResource<GdiTraits<HDC, DeleteDC>>;
using UniqueIcon = kbwin::UniqueResource<GdiTraits<HICON, DestroyIcon>>;
using UniqueCursor = kbwin::UniqueResource<GdiTraits<HCURSOR, DestroyCursor>>;
using UniqueMenu = kbwin::UniqueResource<GdiTraits<HMENU, DestroyMenu>>;
using UniqueHook = kbwin::UniqueResource<GdiTraits<HHOOK, UnhookWindowsHookEx>>;

// Selects an object into a context for one scope and puts the previous one back.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    [[nodiscard]] bool ok() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's client context for one scope.
class ClientDC {
public:
    explicit ClientDC(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~ClientDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    ClientDC(const ClientDC&) = delete;
    ClientDC& operator=(const ClientDC&) = delete;
    [[nodiscard]] HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

}  // namespace kbskin
