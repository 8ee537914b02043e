#include "change_notice.h"

namespace kb::ui {

namespace {

constexpr UINT_PTR kFadeTimer = 1;
constexpr int kTickMs = 40;
constexpr int kHoldMs = 1000, kFadeMs = 400;
constexpr BYTE kOpaque = 230;
constexpr COLORREF kBack = RGB(0x1B, 0x1D, 0x22), kEdge = RGB(0xFF, 0x8A, 0x1F), kInk = RGB(0xF2, 0xF3, 0xF5);
constexpr DWORD kExStyle = WS_EX_NOACTIVATE | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TOOLWINDOW;

}  // namespace

ChangeNotice::~ChangeNotice() {
    if (window_ != nullptr) DestroyWindow(window_);
}

bool ChangeNotice::create() {
    if (window_ != nullptr) return true;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &ChangeNotice::proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kNoticeClass;
    if (!GetClassInfoExW(instance, kNoticeClass, &wc) && RegisterClassExW(&wc) == 0) return false;
    window_ = CreateWindowExW(kExStyle, kNoticeClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, this);
    if (window_ == nullptr) return false;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW face{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) face = metrics.lfMessageFont;
    const kbwin::WindowDc screen(nullptr);
    face.lfHeight = -MulDiv(16, GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
    face.lfWeight = FW_BOLD;
    font_.reset(CreateFontIndirectW(&face));
    return true;
}

void ChangeNotice::show(const std::wstring& text) {
    if (!create()) return;
    text_ = text;
    SetWindowTextW(window_, text_.c_str());
    // As wide as the text, in the lower third of the screen in front.
    RECT r{0, 0, 0, 0};
    {
        const kbwin::WindowDc dc(window_);
        const HGDIOBJ old = SelectObject(dc.get(), font_.get());
        DrawTextW(dc.get(), text_.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc.get(), old);
    }
    const int w = r.right - r.left + 48, h = r.bottom - r.top + 24;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    POINT cursor{};
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetCursorPos(&cursor) && GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &info)) {
        work = info.rcWork;
    }
    const int x = work.left + (work.right - work.left - w) / 2;
    const int y = work.top + (work.bottom - work.top) * 2 / 3;
    SetLayeredWindowAttributes(window_, 0, kOpaque, LWA_ALPHA);
    SetWindowPos(window_, HWND_TOPMOST, x, y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(window_, nullptr, TRUE);
    elapsedMs_ = 0;
    SetTimer(window_, kFadeTimer, kTickMs, nullptr);
}

void ChangeNotice::hide() {
    if (window_ == nullptr) return;
    KillTimer(window_, kFadeTimer);
    ShowWindow(window_, SW_HIDE);
}

void ChangeNotice::tick() {
    elapsedMs_ += kTickMs;
    if (elapsedMs_ >= kHoldMs + kFadeMs) {
        hide();
        return;
    }
    if (elapsedMs_ > kHoldMs) {
        const int left = kHoldMs + kFadeMs - elapsedMs_;
        SetLayeredWindowAttributes(window_, 0, static_cast<BYTE>(kOpaque * left / kFadeMs), LWA_ALPHA);
    }
}

void ChangeNotice::paint(HDC dc) {
    RECT r;
    GetClientRect(window_, &r);
    const kbwin::UniqueBrush back(CreateSolidBrush(kBack));
    const kbwin::UniquePen edge(CreatePen(PS_SOLID, 2, kEdge));
    const HGDIOBJ oldBrush = SelectObject(dc, back.get());
    const HGDIOBJ oldPen = SelectObject(dc, edge.get());
    Rectangle(dc, r.left + 1, r.top + 1, r.right, r.bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    const HGDIOBJ oldFont = SelectObject(dc, font_.get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kInk);
    DrawTextW(dc, text_.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK ChangeNotice::proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    }
    auto* self = reinterpret_cast<ChangeNotice*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_ERASEBKGND: return 1;
    case WM_TIMER:
        if (self != nullptr && wp == kFadeTimer) self->tick();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(window, &ps);
        if (self != nullptr) self->paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (self != nullptr) self->window_ = nullptr;
        break;
    default: break;
    }
    return DefWindowProcW(window, message, wp, lp);
}

}  // namespace kb::ui
