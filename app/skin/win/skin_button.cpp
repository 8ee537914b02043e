#include "skin_button.h"

#include "skin_dpi.h"

#include <commctrl.h>

namespace kbskin {
namespace {

void ensureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)done;
}

TTTOOLINFOW toolFor(HWND button) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = button;
    tool.uId = 1;
    return tool;
}

}  // namespace

SkinButton::~SkinButton() { DeleteTooltip(); }

bool SkinButton::Attach(HWND dialog, int id) { return AttachWindow(GetDlgItem(dialog, id)); }

bool SkinButton::AttachWindow(HWND button) {
    if (button == nullptr || !AttachHook(button)) return false;
    LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    style = (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW;
    SetWindowLongPtrW(button, GWL_STYLE, style);
    SetWindowPos(button, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void SkinButton::SetFaces(int faceX, int faceY, const StatusSurface* normal, const StatusSurface* hover,
                          const StatusSurface* pressed, const StatusSurface* disabled,
                          const StatusSurface* marked, bool redraw) {
    faceX_ = faceX;
    faceY_ = faceY;
    if (tooltip_ && Hwnd()) {
        TTTOOLINFOW tool = toolFor(Hwnd());
        GetClientRect(Hwnd(), &tool.rect);
        SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SetSurfaces(normal, hover, pressed, disabled, marked, redraw);
}

void SkinButton::SetSurfaces(const StatusSurface* normal, const StatusSurface* hover,
                             const StatusSurface* pressed, const StatusSurface* disabled,
                             const StatusSurface* marked, bool redraw) {
    faces_[0] = normal;
    faces_[1] = hover;
    faces_[2] = pressed;
    faces_[3] = disabled;
    faces_[4] = marked;
    hover_ = tracking_ = pressed_ = false;
    if (redraw) Redraw();
}

void SkinButton::Redraw() {
    if (!Hwnd()) return;
    ClientDC dc(Hwnd());
    if (dc.get()) Draw(dc.get());
}

void SkinButton::SetMarked(bool marked, bool redraw) {
    marked_ = marked;
    if (redraw) Redraw();
}

void SkinButton::SetCaptionStyle(bool on, int points, const wchar_t* fontFace, COLORREF colour, UINT format) {
    captionOn_ = on;
    captionPoints_ = points;
    captionFont_ = fontFace ? fontFace : L"Arial";
    captionColour_ = colour;
    captionFormat_ = format;
    if (Hwnd()) InvalidateRect(Hwnd(), nullptr, TRUE);
}

void SkinButton::SetDrawCallback(DrawCallback callback) { drawCallback_ = std::move(callback); }

void SkinButton::Draw(HDC dc) {
    RECT client{};
    GetClientRect(Hwnd(), &client);
    ButtonFace face = ButtonFace::Normal;
    if (GetWindowLongPtrW(Hwnd(), GWL_STYLE) & WS_DISABLED) face = ButtonFace::Disabled;
    else if (pressed_) face = ButtonFace::Pressed;
    else if (hover_) face = ButtonFace::Hover;
    else if (marked_) face = ButtonFace::Marked;
    static constexpr int kIndex[] = {0, 0, 1, 2, 3, 4};
    const StatusSurface* surface = faces_[kIndex[static_cast<int>(face)]];
    if (surface && surface->dc()) {
        BitBlt(dc, 0, 0, client.right, client.bottom, surface->dc(), faceX_, faceY_, SRCCOPY);
    } else {
        PatBlt(dc, 0, 0, client.right, client.bottom, BLACKNESS);
    }
    lastSurface_ = surface;
    lastFace_ = face;

    if (captionOn_) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, captionColour_);
        // Points at the window's own scale, which follows it from monitor to monitor.
        UniqueFont font(CreateFontW(-MulDiv(captionPoints_, WindowDpi(Hwnd()), 72), 0, 0, 0,
                                    FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, captionFont_.c_str()));
        wchar_t text[261] = {};
        GetWindowTextW(Hwnd(), text, 261);
        if (font) {
            SelectGuard select(dc, font.get());
            DrawTextW(dc, text, -1, &client, captionFormat_);
        }
    }
    if (drawCallback_) {
        try {
            drawCallback_(Hwnd(), surface == faces_[0]);
        } catch (...) {
            // The owner's hook must not break painting.
        }
    }
}

void SkinButton::SetTooltip(const std::wstring& text, bool activate) {
    if (text.empty() || !Hwnd()) return;
    if (!tooltip_) {
        ensureCommonControls();
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Hwnd(),
                                   nullptr, nullptr, nullptr);
        if (!tooltip_) return;
        SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    }
    tooltipText_ = text;
    TTTOOLINFOW tool = toolFor(Hwnd());
    tool.lpszText = tooltipText_.data();
    if (SendMessageW(tooltip_, TTM_GETTOOLCOUNT, 0, 0) == 0) {
        tool.uFlags = TTF_SUBCLASS;
        GetClientRect(Hwnd(), &tool.rect);
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOMATIC, 2000);
    SendMessageW(tooltip_, TTM_ACTIVATE, activate ? TRUE : FALSE, 0);
}

void SkinButton::DeleteTooltip() {
    if (tooltip_) {
        if (IsWindow(tooltip_)) DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
}

LRESULT SkinButton::OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kReflectDrawItem: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        pressed_ = (item->itemState & ODS_SELECTED) != 0;
        Draw(item->hDC);
        return TRUE;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, Hwnd(), 1};
            tracking_ = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        hover_ = true;
        InvalidateRect(Hwnd(), nullptr, TRUE);
        if (!tooltipText_.empty()) {
            SetTooltip(tooltipText_, true);
            if (tooltip_ && IsWindow(tooltip_)) SendMessageW(tooltip_, TTM_UPDATE, 0, 0);
        }
        return 0;
    case WM_MOUSELEAVE:
        tracking_ = false;
        hover_ = false;
        InvalidateRect(Hwnd(), nullptr, TRUE);
        return 0;
    case WM_LBUTTONDBLCLK:
        // A fast second click is another click, not a double click.
        return CallNext(WM_LBUTTONDOWN, wParam, lParam);
    case WM_DESTROY:
        DeleteTooltip();
        break;
    default:
        break;
    }
    return PassOn();
}

}  // namespace kbskin
