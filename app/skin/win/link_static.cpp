#include "link_static.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "common/win/unique_handle.h"
#include "control_rules.h"

namespace kbskin {
namespace {

std::wstring windowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), n + 1)));
    return text;
}

std::wstring classesRootDefault(const std::wstring& key) {
    wchar_t value[260] = {};
    LONG size = sizeof value;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS) return {};
    value[259] = L'\0';
    return value;
}

// Starts the registered opener of HTML files with the address; the shell's
// convention for the result (above 32 is success).
INT_PTR openWithHtmlOpener(const std::wstring& url, INT_PTR shellResult) {
    const std::wstring type = classesRootDefault(L".htm");
    if (type.empty()) return shellResult;
    const std::wstring command = classesRootDefault(type + L"\\shell\\open\\command");
    if (command.empty()) return shellResult;
    const auto line = OpenerCommandLine(command, url, 260);
    if (!line) return shellResult;
    std::vector<wchar_t> buffer(line->begin(), line->end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        return error <= 32 ? static_cast<INT_PTR>(error) : 0;
    }
    const kbwin::UniqueHandle thread(process.hThread), child(process.hProcess);
    return 33;
}

}  // namespace

LinkStatic::~LinkStatic() {
    if (Hwnd()) {
        KillTimer(Hwnd(), timerId_);
        // The control must not keep a font that is freed with us.
        SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(originalFont_), FALSE);
    }
    if (tooltip_ && IsWindow(tooltip_)) DestroyWindow(tooltip_);
}

bool LinkStatic::Attach(HWND dialog, int id) { return AttachWindow(GetDlgItem(dialog, id)); }

bool LinkStatic::AttachWindow(HWND control) {
    if (!control || !AttachHook(control)) return false;
    parentHook_.AttachHook(GetParent(control));
    Prepare();
    return true;
}

void LinkStatic::SetUrl(const std::wstring& url) {
    url_ = url;
    if (tooltip_ && Hwnd()) {
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = Hwnd();
        tool.uId = 1;
        tool.lpszText = url_.data();
        SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void LinkStatic::SetColours(COLORREF link, COLORREF visited, COLORREF hover) {
    linkColour_ = link;
    visitedColour_ = visited;
    hoverColour_ = hover;
    if (Hwnd()) InvalidateRect(Hwnd(), nullptr, TRUE);
}

void LinkStatic::SetUnderline(int mode) {
    underlineMode_ = mode;
    ShowUnderline(true);
}

void LinkStatic::ShowUnderline(bool redraw) {
    if (!Hwnd()) return;
    // The keyboard focus shows as the pointer does: a link without a frame
    // has no other place to show it.
    const bool underlined = underlineMode_ == 1 || (underlineMode_ == -1 && (hovering_ || focused_));
    HFONT font = underlined ? underlineFont_.get() : normalFont_.get();
    if (font) SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
}

COLORREF LinkStatic::CurrentColour() const noexcept {
    if (hovering_) return hoverColour_;
    return visited_ ? visitedColour_ : linkColour_;
}

void LinkStatic::Prepare() {
    HWND window = Hwnd();
    SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | SS_NOTIFY);
    const std::wstring text = windowText(window);
    if (url_.empty()) url_ = text;
    if (text.empty()) SetWindowTextW(window, url_.c_str());

    originalFont_ = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    HGDIOBJ base = originalFont_;
    if (!base) base = GetStockObject(DEFAULT_GUI_FONT);
    if (!base) base = GetStockObject(ANSI_VAR_FONT);
    LOGFONTW logFont{};
    if (base && GetObjectW(base, sizeof logFont, &logFont)) {
        normalFont_.reset(CreateFontIndirectW(&logFont));
        logFont.lfUnderline = TRUE;
        underlineFont_.reset(CreateFontIndirectW(&logFont));
    }
    SetUnderline(underlineMode_);

    // The classic help program's hand; the system's own hand when it is absent.
    wchar_t folder[MAX_PATH] = {};
    if (GetWindowsDirectoryW(folder, MAX_PATH)) {
        const std::wstring helper = std::wstring(folder) + L"\\winhlp32.exe";
        const kbwin::UniqueModule module(LoadLibraryExW(helper.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (module) {
            if (HCURSOR hand = LoadCursorW(module.get(), MAKEINTRESOURCEW(106))) ownCursor_.reset(CopyCursor(hand));
        }
    }
    cursor_ = ownCursor_ ? ownCursor_.get() : LoadCursorW(nullptr, IDC_HAND);

    if (adjustToFit_ && normalFont_) {
        ClientDC dc(window);
        const std::wstring shown = windowText(window);
        SIZE size{};
        if (dc.get()) {
            SelectGuard select(dc.get(), underlineFont_ ? underlineFont_.get() : normalFont_.get());
            if (GetTextExtentPoint32W(dc.get(), shown.c_str(), static_cast<int>(shown.size()), &size))
                SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, nullptr, nullptr);
    if (tooltip_) {
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = 1;
        tool.lpszText = url_.data();
        GetClientRect(window, &tool.rect);
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

INT_PTR LinkStatic::Open() {
    if (opener_) return opener_(url_);
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", url_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return result;
    return openWithHtmlOpener(url_, result);
}

void LinkStatic::Click() {
    hovering_ = false;
    const INT_PTR result = Open();
    if (result > 32) {
        visited_ = true;
    } else {
        visited_ = false;
        MessageBeep(MB_ICONEXCLAMATION);
        const std::wstring message = LinkFailureMessage(static_cast<int>(result));
        if (report_) report_(message);
        else MessageBoxW(GetParent(Hwnd()), message.c_str(), L"", MB_ICONEXCLAMATION | MB_OK);
    }
    InvalidateRect(Hwnd(), nullptr, TRUE);
}

void LinkStatic::Leave() {
    hovering_ = false;
    KillTimer(Hwnd(), timerId_);
    ShowUnderline(false);
    InvalidateRect(Hwnd(), nullptr, TRUE);
}

LRESULT LinkStatic::OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE:
        if (!hovering_) {
            hovering_ = true;
            ShowUnderline(false);
            InvalidateRect(Hwnd(), nullptr, TRUE);
            SetTimer(Hwnd(), timerId_, 100, nullptr);
        }
        break;
    case WM_TIMER:
        if (wParam == timerId_) {
            // Where the pointer is now: a timer message carries no position
            // of its own under every system, and a stale one ends the hover.
            POINT point{};
            GetCursorPos(&point);
            ScreenToClient(Hwnd(), &point);
            RECT client{};
            GetClientRect(Hwnd(), &client);
            if (!PtInRect(&client, point)) Leave();
            return 0;
        }
        break;
    case WM_GETDLGCODE: {
        // Enter and Space on a focused link open it, as a click does.
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        const LRESULT code = PassOn();
        if (msg && msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_SPACE))
            return code | DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if ((wParam == VK_RETURN || wParam == VK_SPACE) && (lParam & (1 << 30)) == 0) {
            Click();
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        focused_ = message == WM_SETFOCUS;
        ShowUnderline(false);
        InvalidateRect(Hwnd(), nullptr, TRUE);
        break;
    case WM_SETCURSOR:
        if (cursor_) {
            SetCursor(cursor_);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        KillTimer(Hwnd(), timerId_);
        if (tooltip_ && IsWindow(tooltip_)) DestroyWindow(tooltip_);
        tooltip_ = nullptr;
        break;
    default:
        break;
    }
    return PassOn();
}

LRESULT LinkStatic::ParentHook::OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND link = owner_.Hwnd();
    if (link && message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == link) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, owner_.CurrentColour());
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    if (link && message == WM_COMMAND && reinterpret_cast<HWND>(lParam) == link && HIWORD(wParam) == STN_CLICKED) {
        owner_.Click();
        return 0;
    }
    return PassOn();
}

}  // namespace kbskin
