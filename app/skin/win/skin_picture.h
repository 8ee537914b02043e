// Skin pictures: decoding into plain bitmaps, the status surfaces that buttons
// copy their faces from, and the window outline made from a mask.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "gdi_owner.h"
#include "skin_scale.h"

namespace kbskin {

// Decodes a JPEG, BMP or GIF file into a device-dependent bitmap that the caller
// owns. Empty on any failure: missing, unreadable, truncated or undecodable.
[[nodiscard]] UniqueBitmap TryLoadPicture(const std::wstring& path);

// The program cannot run without its skin: a picture that does not load ends
// the process at once with exit code 0 and no message.
[[noreturn]] void EndForMissingPicture();

// TryLoadPicture, ending the process on failure; never returns empty.
[[nodiscard]] UniqueBitmap LoadPicture(const std::wstring& path);

// Folder of the running program, with a trailing backslash.
[[nodiscard]] std::wstring ProgramFolder();

// One status image drawn unscaled into a long-lived memory context of
// (client width + 100) x (client height + 100) of the window that built it.
class StatusSurface {
public:
    StatusSurface() = default;
    StatusSurface(const StatusSurface&) = delete;
    StatusSurface& operator=(const StatusSurface&) = delete;
    ~StatusSurface();

    // Renders `picture` for `window`; false when the system refused a context.
    [[nodiscard]] bool Build(HWND window, HBITMAP picture);
    [[nodiscard]] HDC dc() const noexcept { return dc_.get(); }
    [[nodiscard]] int width() const noexcept { return width_; }
    [[nodiscard]] int height() const noexcept { return height_; }

private:
    UniqueMemDC dc_;
    UniqueBitmap bitmap_;
    HGDIOBJ original_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// The status surfaces of one window kind, built on the first initialisation of
// that window and kept until the process ends, so reopening a window costs no
// decoding and no GDI objects. The pictures come from the skin set of the
// window's display scale (stretched when no set fits it).
class SurfaceSet {
public:
    // Decodes every picture (paths relative to the program folder, as in the
    // skin's own set) first and ends the process when one fails; then renders
    // them for `window`. Later calls for the same set and scale do nothing and
    // return true; at another scale the same surfaces are drawn again, so the
    // buttons that point at them need no new pointers.
    bool Build(HWND window, std::initializer_list<const wchar_t*> relativePaths);
    // Same with full paths, for callers that keep the skin elsewhere.
    bool BuildFromPaths(HWND window, const std::vector<std::wstring>& paths);
    [[nodiscard]] bool built() const noexcept { return !surfaces_.empty(); }
    [[nodiscard]] std::size_t size() const noexcept { return surfaces_.size(); }
    // Surface i (0-based: status image i + 1), or null when there is none.
    [[nodiscard]] const StatusSurface* at(std::size_t i) const noexcept {
        return i < surfaces_.size() ? surfaces_[i].get() : nullptr;
    }

private:
    std::vector<std::unique_ptr<StatusSurface>> surfaces_;
    SkinSetChoice builtFor_;
};

// Region of every pixel of `bitmap` that is not within tolerance of `key`,
// built from one-pixel-high runs, at most 2000 rectangles per request, each run
// scaled by `stretch` (the mask of a picture drawn stretched). Empty handle when
// there is no bitmap or no context; an empty region when no pixel is opaque.
[[nodiscard]] UniqueRegion MaskToRegion(HBITMAP bitmap, COLORREF key = 0xFFFFFF,
                                        COLORREF tolerance = 0, ScaleFactor stretch = {});

}  // namespace kbskin
