// Looks at the editing dialogs of a running KbPanel.exe from another process,
// as a test drives them: which dialog or message box is up, where a control
// is (for real clicks), its state, and the rows of a report list.
//   up KIND                      1 when the dialog (key, profile, macro, about, msgbox) is showing
//   rect KIND ID                 screen x y w h of control ID (0: the dialog)
//   enabled KIND ID | checked KIND ID | text KIND ID
//   rows KIND ID                 the rows of a list view, one line each, cells by tabs
//   selected KIND ID             index of the selected row, -1 for none
//   cell KIND ID ROW COL         screen x y w h of a list cell
//   header KIND ID COL           screen x y w h of a list's column header
//   focus KIND                   id of the control with the keyboard focus, 0 for none
//   tip KIND ID                  "1 TEXT" while a tool tip over control ID shows TEXT, "0 TEXT" hidden
//   cursor                       the handle of the cursor the pointer shows now, 0 for none
//   syscolour INDEX              "R G B" of the system colour INDEX (COLOR_WINDOW is 5)
//   msgbox                       the text of the message box that is up
//   dpi KIND DPI                 sends the dialog WM_DPICHANGED, as a move to a monitor of DPI
//   answer ID                    clicks button ID (1 OK, 6 Yes, 7 No) of the message box
#include <windows.h>
#include <commctrl.h>

#include "common/win/unique_handle.h"
#include "instance.h"
#include "probe_kit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace kb::ui;
using namespace kb::probe;

bool hasControl(HWND w, int id, const wchar_t* cls) {
    const HWND c = GetDlgItem(w, id);
    if (c == nullptr) return false;
    wchar_t name[64] = {};
    GetClassNameW(c, name, 64);
    return lstrcmpiW(name, cls) == 0;
}

bool matches(HWND w, const std::wstring& kind) {
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (kind == L"menu") return lstrcmpW(cls, L"#32768") == 0 && IsWindowVisible(w);  // a pop-up menu
    if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(w)) return false;
    if (kind == L"key") return hasControl(w, 1023, L"Button") && hasControl(w, 1011, L"ComboBox");
    if (kind == L"profile") return hasControl(w, 1007, L"SysListView32") && hasControl(w, 1010, L"Button");
    if (kind == L"macro") return hasControl(w, 1019, L"SysListView32") && hasControl(w, 1027, L"Button");
    if (kind == L"about") return hasControl(w, 1003, L"Static") && hasControl(w, 1002, L"Static");
    if (kind == L"msgbox")
        return GetDlgItem(w, 0xFFFF) != nullptr && GetDlgItem(w, 1007) == nullptr && GetDlgItem(w, 1003) == nullptr;
    return false;
}

// The first window of the program, in Z order, that is of `kind`.
HWND findKind(DWORD pid, const std::wstring& kind) {
    for (HWND w : windowsOf(pid)) {
        if (matches(w, kind)) return w;
    }
    return nullptr;
}

// WM_GETTEXT, not GetWindowText: the latter gives only captions across processes.
std::wstring textOf(HWND w) {
    const LRESULT n = SendMessageW(w, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(n > 0 ? n : 0) + 2, L'\0');
    SendMessageW(w, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

// A list view's cell text, read through memory in the owning process.
std::wstring cellText(HWND list, HANDLE process, int row, int col) {
    constexpr std::size_t units = 512;
    const RemoteBlock block(process, sizeof(LVITEMW) + units * sizeof(wchar_t));
    if (!block) return L"?";
    LVITEMW item{};
    item.iSubItem = col;
    item.cchTextMax = units;
    item.pszText = static_cast<wchar_t*>(block.at(sizeof(LVITEMW)));
    std::vector<wchar_t> buffer(units + 1, L'\0');
    if (!block.write(&item, sizeof item)) return {};
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), block.lparam());
    if (!block.read(buffer.data(), units * sizeof(wchar_t), sizeof(LVITEMW))) return {};
    return buffer.data();
}

// A message that fills a RECT, sent across processes through memory in the owner.
bool remoteRect(HANDLE process, HWND window, UINT message, WPARAM wp, RECT& r) {
    const RemoteBlock block(process, sizeof(RECT));
    if (!block.write(&r, sizeof r)) return false;
    const LRESULT ok = SendMessageW(window, message, wp, block.lparam());
    return block.read(&r, sizeof r) && ok != 0;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    if (cmd == L"syscolour" && argc >= 3) {
        const COLORREF c = GetSysColor(_wtoi(argv[2]));
        std::printf("%d %d %d\n", GetRValue(c), GetGValue(c), GetBValue(c));
        return 0;
    }
    if (cmd == L"cursor") {  // the foreground input's cursor, whichever process set it
        CURSORINFO info{};
        info.cbSize = sizeof info;
        std::printf("%llu\n", GetCursorInfo(&info) ? static_cast<unsigned long long>(
                                                          reinterpret_cast<std::uintptr_t>(info.hCursor))
                                                    : 0ULL);
        return 0;
    }
    const auto pid = findRunningInstance(L"KbPanel.exe");
    if (!pid) {
        std::puts("none");
        return 1;
    }
    // With no window kind: where typed keys go now (the focus's class, the
    // foreground window's title). With one: the focused control of that window.
    if (cmd == L"focus" && argc < 3) {
        const HWND front = GetForegroundWindow();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        wchar_t cls[64] = L"";
        if (front != nullptr && GetGUIThreadInfo(GetWindowThreadProcessId(front, nullptr), &info) &&
            info.hwndFocus != nullptr)
            GetClassNameW(info.hwndFocus, cls, 64);
        printUtf8(cls, "\t");
        printUtf8(front != nullptr ? textOf(front) : std::wstring());
        return 0;
    }
    const std::wstring kind = cmd == L"msgbox" || cmd == L"answer" ? L"msgbox" : (argc >= 3 ? argv[2] : L"");
    const HWND found = findKind(*pid, kind);
    if (cmd == L"up") {
        std::printf("%d\n", found != nullptr ? 1 : 0);
        return 0;
    }
    if (found == nullptr) {
        std::puts("nodialog");
        return 1;
    }
    if (cmd == L"msgbox") {
        printUtf8(textOf(GetDlgItem(found, 0xFFFF)));
        return 0;
    }
    if (cmd == L"answer" && argc >= 3) {
        const int id = _wtoi(argv[2]);
        return PostMessageW(found, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(GetDlgItem(found, id)))
                   ? 0
                   : 1;
    }
    if (cmd == L"focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        const DWORD thread = GetWindowThreadProcessId(found, nullptr);
        const bool ours = GetGUIThreadInfo(thread, &info) && info.hwndFocus && IsChild(found, info.hwndFocus);
        std::printf("%d\n", ours ? GetDlgCtrlID(info.hwndFocus) : 0);
        return 0;
    }
    if (cmd == L"dpi" && argc >= 4) {
        const WORD dpi = static_cast<WORD>(_wtoi(argv[3]));
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(found, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0, SMTO_NORMAL, 10000, &result) ? 0
                                                                                                                : 1;
    }
    if (argc < 4) return 2;
    const int id = _wtoi(argv[3]);
    const HWND control = id == 0 ? found : GetDlgItem(found, id);
    if (control == nullptr) {
        std::puts("nocontrol");
        return 1;
    }
    if (cmd == L"rect") {
        RECT r{};
        GetWindowRect(control, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    } else if (cmd == L"enabled") {
        std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    } else if (cmd == L"checked") {
        std::printf("%d\n", SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    } else if (cmd == L"text") {
        printUtf8(textOf(control));
    } else if (cmd == L"editing") {  // a list's in-place edit field is open
        const HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr);
        std::printf("%d\n", edit != nullptr && IsWindowVisible(edit) ? 1 : 0);
    } else if (cmd == L"selected") {
        std::printf("%d\n", static_cast<int>(SendMessageW(control, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                          LVNI_SELECTED)));
    } else if (cmd == L"rows") {
        const kbwin::UniqueHandle process = openForMemory(*pid);
        if (!process) return 1;
        const int rows = static_cast<int>(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0));
        const HWND header = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0));
        const int cols = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) printUtf8(cellText(control, process.get(), r, c), c + 1 < cols ? "\t" : "\n");
        }
    } else if ((cmd == L"cell" && argc >= 6) || (cmd == L"header" && argc >= 5)) {
        const kbwin::UniqueHandle process = openForMemory(*pid);
        if (!process) return 1;
        RECT r{};
        HWND from = control;
        bool ok;
        if (cmd == L"cell") {
            r.left = LVIR_LABEL;  // in: the part of the cell and its column
            r.top = _wtoi(argv[5]);
            ok = remoteRect(process.get(), control, LVM_GETSUBITEMRECT, static_cast<WPARAM>(_wtoi(argv[4])), r);
        } else {
            from = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0));
            ok = from && remoteRect(process.get(), from, HDM_GETITEMRECT, static_cast<WPARAM>(_wtoi(argv[4])), r);
        }
        if (!ok) return 1;
        MapWindowPoints(from, nullptr, reinterpret_cast<POINT*>(&r), 2);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    } else if (cmd == L"tip") {
        const kbwin::UniqueHandle process = openForMemory(*pid);
        if (!process) return 1;
        const ToolTip tip = toolTipOf(*pid, process.get(), control);
        std::printf("%d ", tip.visible ? 1 : 0);
        printUtf8(tip.text);
    } else {
        return 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return kb::probe::runProbe(run, argc, argv); }
