// Scoped owners for the GDI and USER objects of the skin engine.
#pragma once

#include <windows.h>

#include "common/win/ui_owners.h"
#include "common/win/unique_handle.h"

namespace kbskin {

// The common owners under the skin engine's names; only icons and cursors
// are the skin's own.
template <class T, BOOL(WINAPI* Free)(T)>
struct UserObjectTraits {
    using pointer = T;
    static pointer none() noexcept { return nullptr; }
    static bool valid(pointer p) noexcept { return p != nullptr; }
    static bool close(pointer p) noexcept { return Free(p) != FALSE; }
};

using kbwin::UniqueBitmap;
using kbwin::UniqueBrush;
using kbwin::UniqueFont;
using kbwin::UniqueHook;
using kbwin::UniqueMenu;
using kbwin::UniqueRegion;
using UniqueMemDC = kbwin::UniqueMemoryDc;
using UniqueIcon = kbwin::UniqueResource<UserObjectTraits<HICON, DestroyIcon>>;
using UniqueCursor = kbwin::UniqueResource<UserObjectTraits<HCURSOR, DestroyCursor>>;
using ClientDC = kbwin::WindowDc;

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

}  // namespace kbskin
