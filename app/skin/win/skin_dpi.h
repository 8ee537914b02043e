// The display scale a skinned window draws at, and the skin set it takes
// for that scale.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "gdi_owner.h"
#include "skin_scale.h"

namespace kbskin {

// DPI the window's skin is drawn for: what WM_DPICHANGED last told its
// top-level window (or that window's owner), else the system's DPI for it.
[[nodiscard]] int WindowDpi(HWND window);
// Records the DPI of a top-level window; 0 forgets it (the window is gone).
void SetWindowDpi(HWND topLevel, int dpi);

// The set of the skin folder that holds `skinFile` (any file of the skin's own
// set, e.g. its INI file) for the window's DPI. A set is a subfolder that
// holds the same file.
[[nodiscard]] SkinSetChoice SkinSetFor(HWND window, std::wstring_view skinFile);

// The picture drawn at `f` times its size (halftone), or the picture itself.
[[nodiscard]] UniqueBitmap StretchPicture(UniqueBitmap picture, ScaleFactor f);

}  // namespace kbskin
