// Drives a running KbPanel.exe from another process, as the shell or a
// second start would: through the marker on its main window, window messages
// and control ids. One command per run; prints its answer on stdout.
//   state                 visible, toolwindow, appwindow, foreground, title
//   send MSG WPARAM       SendMessage to the main window (numbers: C syntax)
//   post MSG WPARAM [LP]  PostMessage
//   command ID            a click's WM_COMMAND from control ID
//   caption ID | enabled ID | rect ID (screen x y w h; 0: the window)
//   layout                client w h, then "ID x y w h" of every child in client coordinates
//   region                the window's region: "left top right bottom" per rectangle, or "none"
//   move X Y              moves the main window's top-left corner to screen X Y
//   kill-timed            KILL as "/Kill" sends it; prints ms until the process is gone
//   kill-tray             the same, then "tray 1" when the shell still has the icon, "tray 0" when not
//   tooltip ID            the tool tip text of control ID
//   repaint-tray          redraws Wine's own tray window (it draws a new icon over the old)
//   windows               titles of the program's other visible top-level windows
//   answer ID             clicks button ID of the first such window that has one
//   looked                the window in front that following has settled last: "main" for the
//                         main window, else its handle; "off" while following is off
#include <windows.h>
#include <shellapi.h>

#include "common/win/ui_owners.h"
#include "common/win/unique_handle.h"
#include "app_rules.h"
#include "follow_controller.h"
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

// The program's visible top-level windows but its main window.
std::vector<HWND> otherWindows(DWORD pid, HWND main) {
    std::vector<HWND> found;
    for (HWND w : windowsOf(pid)) {
        if (w != main && IsWindowVisible(w)) found.push_back(w);
    }
    return found;
}

unsigned long number(const wchar_t* s) { return std::wcstoul(s, nullptr, 0); }

constexpr UINT kTrayIconId = 140;  // the tray menu's resource id

int run(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    if (cmd == L"repaint-tray") {
        const HWND tray = FindWindowW(nullptr, L"Wine System Tray");
        if (tray == nullptr) return 1;
        RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return 0;
    }
    const auto pid = findRunningInstance(L"KbPanel.exe");
    if (!pid) {
        std::puts("none");
        return 1;
    }
    const HWND w = findMainWindow(*pid);
    if (w == nullptr) {
        std::puts("nowindow");
        return 1;
    }
    if (cmd == L"looked") {
        const HANDLE looked = GetPropW(w, FollowController::kLookedProp);
        if (looked == nullptr) std::puts("off");
        else if (looked == w) std::puts("main");
        else std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(looked)));
        return 0;
    }
    if (cmd == L"state") {
        const LONG_PTR ex = GetWindowLongPtrW(w, GWL_EXSTYLE);
        wchar_t title[128] = {};
        GetWindowTextW(w, title, 128);
        std::printf("visible %d\ntoolwindow %d\nappwindow %d\nforeground %d\niconic %d\n", IsWindowVisible(w) ? 1 : 0,
                    (ex & WS_EX_TOOLWINDOW) ? 1 : 0, (ex & WS_EX_APPWINDOW) ? 1 : 0,
                    GetForegroundWindow() == w ? 1 : 0, IsIconic(w) ? 1 : 0);
        std::printf("title ");
        printUtf8(title);
        return 0;
    }
    if (cmd == L"watch-notice" && argc >= 3) {
        // Posts the command (a profile menu entry), then watches the change notice
        // from here, so a slow start of this probe cannot miss its second.
        const HWND profileName = GetDlgItem(w, 1005);
        auto caption = [profileName] {
            wchar_t text[128] = {};
            GetWindowTextW(profileName, text, 128);
            return std::wstring(text);
        };
        auto visibleNotice = [] {
            const HWND n = FindWindowW(L"KbPanelNotice", nullptr);
            return n != nullptr && IsWindowVisible(n) ? n : nullptr;
        };
        const std::wstring before = caption();
        // Id 0 posts nothing: the change comes from elsewhere (a key) once this says so.
        const int id = static_cast<int>(number(argv[2]));
        if (id == 0) {
            std::puts("watching");
            std::fflush(stdout);
        } else if (!PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, 0), 0)) {
            return 1;
        }
        HWND n = nullptr;
        for (int waited = 0; waited < 10000 && n == nullptr; waited += 5) {
            n = visibleNotice();
            if (n == nullptr && caption() != before) {
                // The switch's handler shows the notice with the name: once the window
                // answers again the notice is as that handler left it.
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
                n = visibleNotice();
                if (n == nullptr) break;
            }
            if (n == nullptr) Sleep(5);
        }
        if (n == nullptr) {
            std::puts("hidden");
            return 0;
        }
        const ULONGLONG shown = GetTickCount64();
        const LONG_PTR ex = GetWindowLongPtrW(n, GWL_EXSTYLE);
        const LONG_PTR want = WS_EX_NOACTIVATE | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_LAYERED;
        wchar_t text[128] = {};
        GetWindowTextW(n, text, 128);
        char utf8[512] = {};
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
        const bool foreground = GetForegroundWindow() == n;
        // What it says last counts: a later change may still rename it.
        while (visibleNotice() != nullptr && GetTickCount64() - shown < 10000) {
            GetWindowTextW(n, text, 128);
            Sleep(10);
        }
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
        std::printf("shown %s styles %d foreground %d gone %d\n", utf8, (ex & want) == want ? 1 : 0,
                    foreground ? 1 : 0, visibleNotice() == nullptr ? 1 : 0);
        return 0;
    }
    if (cmd == L"layout") {
        RECT client{};
        GetClientRect(w, &client);
        std::printf("client %ld %ld\n", client.right, client.bottom);
        for (HWND child = GetWindow(w, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT r{};
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&r), 2);
            std::printf("%d %ld %ld %ld %ld\n", GetDlgCtrlID(child), r.left, r.top, r.right - r.left, r.bottom - r.top);
        }
        return 0;
    }
    if (cmd == L"move" && argc >= 4) {
        const int x = static_cast<int>(std::wcstol(argv[2], nullptr, 0));
        const int y = static_cast<int>(std::wcstol(argv[3], nullptr, 0));
        if (!SetWindowPos(w, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)) return 1;
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return 0;
    }
    if (cmd == L"region") {
        const kbwin::UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
        if (!region || GetWindowRgn(w, region.get()) == ERROR) {
            std::puts("none");
            return 0;
        }
        const DWORD size = GetRegionData(region.get(), 0, nullptr);
        std::vector<unsigned char> data(size);
        if (size == 0 || GetRegionData(region.get(), size, reinterpret_cast<RGNDATA*>(data.data())) != size) return 1;
        const auto* rgn = reinterpret_cast<const RGNDATA*>(data.data());
        const auto* rects = reinterpret_cast<const RECT*>(rgn->Buffer);
        for (DWORD i = 0; i < rgn->rdh.nCount; ++i)
            std::printf("%ld %ld %ld %ld\n", rects[i].left, rects[i].top, rects[i].right, rects[i].bottom);
        return 0;
    }
    if (cmd == L"send" && argc >= 4) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(w, static_cast<UINT>(number(argv[2])), number(argv[3]),
                                 argc >= 5 ? static_cast<LPARAM>(number(argv[4])) : 0, SMTO_NORMAL, 10000, &result)) {
            return 1;
        }
        std::printf("%lu\n", static_cast<unsigned long>(result));
        return 0;
    }
    if (cmd == L"post" && argc >= 4) {
        return PostMessageW(w, static_cast<UINT>(number(argv[2])), number(argv[3]),
                            argc >= 5 ? static_cast<LPARAM>(number(argv[4])) : 0)
                   ? 0
                   : 1;
    }
    if (argc >= 3 && (cmd == L"command" || cmd == L"caption" || cmd == L"enabled" || cmd == L"rect" ||
                      cmd == L"selected")) {
        const int id = static_cast<int>(number(argv[2]));
        const HWND control = id == 0 ? w : GetDlgItem(w, id);
        if (control == nullptr) {
            std::puts("nocontrol");
            return 1;
        }
        if (cmd == L"command") {
            return PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control)) ? 0 : 1;
        }
        if (cmd == L"caption") {
            wchar_t text[128] = {};
            GetWindowTextW(control, text, 128);
            printUtf8(text);
            return 0;
        }
        if (cmd == L"enabled") {
            std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
            return 0;
        }
        if (cmd == L"selected") {  // a combo box's selected entry, -1 for none
            std::printf("%d\n", static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0)));
            return 0;
        }
        RECT r{};
        if (id == 0) {
            // The client area: the skin draws the whole window there.
            GetClientRect(w, &r);
            MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&r), 2);
        } else {
            GetWindowRect(control, &r);
        }
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (cmd == L"windows") {
        for (HWND other : otherWindows(*pid, w)) {
            wchar_t title[128] = {};
            GetWindowTextW(other, title, 128);
            wchar_t cls[64] = {};
            GetClassNameW(other, cls, 64);
            if (std::wstring(cls) != L"#32770") continue;
            printUtf8(title);
            // A message box's text, to tell which question is open.
            for (HWND child = GetWindow(other, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t childClass[32] = {};
                GetClassNameW(child, childClass, 32);
                wchar_t text[256] = {};
                GetWindowTextW(child, text, 256);
                if (std::wstring(childClass) == L"Static" && text[0] != 0) {
                    std::printf("  ");
                    printUtf8(text);
                }
            }
        }
        return 0;
    }
    if (cmd == L"answer" && argc >= 3) {
        const int id = static_cast<int>(number(argv[2]));
        for (HWND other : otherWindows(*pid, w)) {
            const HWND button = GetDlgItem(other, id);
            if (button == nullptr) continue;
            // As a click on the button: a message box may ignore a bare command.
            PostMessageW(button, BM_CLICK, 0, 0);
            return 0;
        }
        std::puts("nowindow");
        return 1;
    }
    if (cmd == L"tooltip" && argc >= 3) {
        const HWND control = GetDlgItem(w, static_cast<int>(number(argv[2])));
        const kbwin::UniqueHandle process = openForMemory(*pid);
        if (control == nullptr || !process) return 1;
        const ToolTip tip = toolTipOf(*pid, process.get(), control);
        if (!tip.found) {
            std::puts("notooltip");
            return 1;
        }
        printUtf8(tip.text);
        return 0;
    }
    if (cmd == L"kill-timed" || cmd == L"kill-tray") {
        kbwin::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, *pid));
        if (!process) return 1;
        const ULONGLONG t0 = GetTickCount64();
        if (!deliverMarker(*pid, kMessageKill, kMarkerKill)) return 1;
        if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
            std::puts("alive");
            return 1;
        }
        std::printf("%llu\n", GetTickCount64() - t0);
        if (cmd == L"kill-tray") {
            // The shell modifies only an icon it knows; the window need not live.
            NOTIFYICONDATAW probe{};
            probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
            probe.hWnd = w;
            probe.uID = kTrayIconId;
            probe.uFlags = NIF_TIP;
            lstrcpynW(probe.szTip, L"probe", 64);
            std::printf("tray %d\n", Shell_NotifyIconW(NIM_MODIFY, &probe) ? 1 : 0);
        }
        return 0;
    }
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return kb::probe::runProbe(run, argc, argv); }
