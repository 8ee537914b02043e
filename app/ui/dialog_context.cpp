#include "dialog_context.h"

#include <vector>

namespace kb::ui {

std::wstring windowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    if (n <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(n) + 1);
    const int got = GetWindowTextW(window, buffer.data(), n + 1);
    return std::wstring(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

LRESULT SkinBackdrop::paint(HWND dialog, HBITMAP background, HWND control, HDC dc, COLORREF text) {
    if (background != picture_) {
        brush_.reset(background != nullptr ? CreatePatternBrush(background) : nullptr);
        picture_ = background;
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, text);
    if (!brush_) return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    POINT at{0, 0};
    MapWindowPoints(control, dialog, &at, 1);
    SetBrushOrgEx(dc, -at.x, -at.y, nullptr);
    return reinterpret_cast<LRESULT>(brush_.get());
}

void MessageBoxPrompt::showMessage(std::u16string_view text) {
    MessageBoxW(owner_, wide(text).c_str(), L"KbPanel", MB_OK | MB_ICONINFORMATION);
}

bool MessageBoxPrompt::askYesNo(std::u16string_view text, bool defaultNo) {
    const UINT flags = MB_YESNO | MB_ICONQUESTION | (defaultNo ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
    return MessageBoxW(owner_, wide(text).c_str(), L"KbPanel", flags) == IDYES;
}

}  // namespace kb::ui
