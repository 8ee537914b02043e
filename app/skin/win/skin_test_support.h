// Test helpers for the skin engine under Wine: pictures written by code, INI
// files, a message pump and counters of live GDI objects and windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kbskin::test {

using PixelFn = std::function<COLORREF(int x, int y)>;

// A 24-bit bottom-up BMP file; lossless, so tests compare exact colours.
void WriteBmp(const std::wstring& path, int width, int height, const PixelFn& pixel);
void WriteText(const std::wstring& path, const std::string& utf8);
std::vector<std::uint8_t> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// A fresh folder under the temporary folder, with a trailing backslash.
std::wstring MakeTempFolder(const wchar_t* stem);

// Dispatches messages until `done` holds or `timeoutMs` passes; the final value of done.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000);
void Pump(DWORD forMs);

// The windowed tests' set-up and tear-down: a dialog shown without taking the
// activation (closing an active window costs two seconds under Wine without a
// window manager), and destroyed with its messages handled.
void ShowQuietly(HWND window);
template <class Dialog>
void CloseQuietly(std::unique_ptr<Dialog>& dialog) {
    if (dialog && dialog->hwnd()) DestroyWindow(dialog->hwnd());
    dialog.reset();
    Pump(10);
}

// Live GDI objects of this process: the system's count where it keeps one,
// else the entries of the process's GDI handle table.
int LiveGdiObjects();
// Top-level windows of the calling thread (tooltips are among them).
int ThreadWindows();

// Colour at a window's client point, read from the window's own drawing surface.
COLORREF ClientPixel(HWND window, int x, int y);

}  // namespace kbskin::test
