#include "skin_dpi.h"

#include <vector>

#include "window_table.h"

namespace kbskin {
namespace {

WindowTable& recorded() {
    static WindowTable table;
    return table;
}

// Looked up by name: older systems have no per-window DPI.
int systemDpiFor(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    static const GetDpi getDpi = reinterpret_cast<GetDpi>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && window) {
        if (const UINT dpi = getDpi(window); dpi > 0) return static_cast<int>(dpi);
    }
    ClientDC screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kBaseDpi;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int WindowDpi(HWND window) {
    const HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
    for (HWND w = root; w != nullptr; w = GetWindow(w, GW_OWNER)) {
        if (const int dpi = recorded().get(w)) return dpi;
    }
    return systemDpiFor(root);
}

void SetWindowDpi(HWND topLevel, int dpi) { recorded().set(topLevel, dpi > 0 ? dpi : 0); }

SkinSetChoice SkinSetFor(HWND window, std::wstring_view skinFile) {
    std::vector<int> sets;
    for (int percent : kSkinScales) {
        if (percent != 100 && exists(SkinSetPath(skinFile, percent))) sets.push_back(percent);
    }
    return ChooseSkinSet(WindowDpi(window), sets);
}

UniqueBitmap StretchPicture(UniqueBitmap picture, ScaleFactor f) {
    BITMAP info{};
    if (f.identity() || !picture || !GetObjectW(picture.get(), sizeof info, &info)) return picture;
    const int w = f.apply(info.bmWidth), h = f.apply(info.bmHeight);
    if (w <= 0 || h <= 0) return picture;
    ClientDC screen(nullptr);
    UniqueMemDC from(CreateCompatibleDC(screen.get()));
    UniqueMemDC to(CreateCompatibleDC(screen.get()));
    UniqueBitmap stretched(CreateCompatibleBitmap(screen.get(), w, h));
    if (!from || !to || !stretched) return picture;
    {
        SelectGuard selectFrom(from.get(), picture.get());
        SelectGuard selectTo(to.get(), stretched.get());
        if (!selectFrom.ok() || !selectTo.ok()) return picture;
        SetStretchBltMode(to.get(), HALFTONE);
        SetBrushOrgEx(to.get(), 0, 0, nullptr);
        if (!StretchBlt(to.get(), 0, 0, w, h, from.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY))
            return picture;
    }
    return stretched;
}

}  // namespace kbskin
