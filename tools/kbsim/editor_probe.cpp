// Looks at Wine's Notepad from outside, for the relay's tests and demo: the text of its
// edit control (read with WM_GETTEXT, as another program would) and its focus.
//   editor_probe text      the text on one line, CR and LF written as \r and \n
//   editor_probe clear     empties the text (and marks it unchanged)
//   editor_probe focus     brings Notepad to the front; focused prints 1 when it is there
//   editor_probe rect      the window's x y width height
//   editor_probe quit      closes Notepad without its save question
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HWND notepad() { return FindWindowW(L"Notepad", nullptr); }
HWND editOf(HWND np) { return np ? FindWindowExW(np, nullptr, L"Edit", nullptr) : nullptr; }

std::string utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

int text(HWND edit) {
    const LRESULT n = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    std::wstring buffer(static_cast<size_t>(n) + 1, L'\0');
    const LRESULT got = SendMessageW(edit, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(static_cast<size_t>(got));
    std::string out;
    for (char c : utf8(buffer)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

void clear(HWND edit) {
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    SendMessageW(edit, EM_SETMODIFY, FALSE, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc == 2 ? argv[1] : "";
    HWND np = notepad();
    HWND edit = editOf(np);
    if (cmd == "focused") {
        std::printf("%d\n", np && GetForegroundWindow() == np ? 1 : 0);
        return 0;
    }
    if (!edit) {
        std::fprintf(stderr, "editor_probe: no Notepad window\n");
        return 1;
    }
    if (cmd == "text") return text(edit);
    if (cmd == "clear") {
        clear(edit);
        return 0;
    }
    if (cmd == "focus") {
        // Notepad gives its edit control the focus whenever its window is activated.
        ShowWindow(np, SW_RESTORE);
        SetForegroundWindow(np);
        std::printf("%d\n", GetForegroundWindow() == np ? 1 : 0);
        return 0;
    }
    if (cmd == "rect") {
        RECT r{};
        GetWindowRect(np, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (cmd == "quit") {
        clear(edit);
        PostMessageW(np, WM_CLOSE, 0, 0);
        return 0;
    }
    std::fprintf(stderr, "usage: editor_probe text|clear|focus|focused|rect|quit\n");
    return 1;
}
