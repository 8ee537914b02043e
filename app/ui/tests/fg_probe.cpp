// A program of ours to put in front, for the tests and the benchmark of
// profiles that follow the program in front. The build copies it under a
// second name, so two different programs can take turns in front.
//   fg_probe.exe [at X Y]         shows a window titled with its own file name (at X, Y on
//                                 the screen), takes the foreground and runs until it is closed
//   fg_probe.exe front TITLE      brings the top-level window titled TITLE to the front;
//                                 prints 1 when it then is the foreground window
//   fg_probe.exe foreground       prints the file name of the foreground window's program
//   fg_probe.exe close TITLE      closes the window titled TITLE
//   fg_probe.exe window TITLE     prints the handle of the window titled TITLE
//   fg_probe.exe watch MS         hooks foreground changes out of context for MS milliseconds
//                                 and prints each one with its program's file name
#include <windows.h>

#include "common/win/unique_handle.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring ownFileName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    const auto cut = p.find_last_of(L"\\/");
    return cut == std::wstring::npos ? p : p.substr(cut + 1);
}

void printUtf8(const std::wstring& text) {
    char utf8[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    std::printf("%s\n", utf8);
    std::fflush(stdout);
}

std::wstring programOf(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == 0) return L"?";
    kbwin::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return L"?";
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return L"?";
    std::wstring p(path, size);
    const auto cut = p.find_last_of(L"\\/");
    return cut == std::wstring::npos ? p : p.substr(cut + 1);
}

LRESULT CALLBACK windowProc(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(w, message, wp, lp);
}

int showWindow(int x, int y) {
    const std::wstring title = ownFileName();
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"KbFollowProbe";
    if (!RegisterClassW(&wc)) return 2;
    HWND w = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, x, y, 320, 160, nullptr,
                             nullptr, wc.hInstance, nullptr);
    if (w == nullptr) return 2;
    ShowWindow(w, SW_SHOWNORMAL);
    SetForegroundWindow(w);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}

LARGE_INTEGER g_start{}, g_frequency{};

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND w, LONG, LONG, DWORD, DWORD) {
    if (event != EVENT_SYSTEM_FOREGROUND) return;
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    const double ms = static_cast<double>(t.QuadPart - g_start.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
    wchar_t line[64];
    swprintf(line, 64, L"%.1f ", ms);
    printUtf8(line + programOf(w));
}

int watch(DWORD ms) {
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_start);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, onEvent, 0, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (hook == nullptr) return 1;
    std::fputs("watching\n", stderr);  // the hook is in place: a script may go on
    std::fflush(stderr);
    const DWORD end = GetTickCount() + ms;
    for (DWORD now = GetTickCount(); static_cast<LONG>(end - now) > 0; now = GetTickCount()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    UnhookWinEvent(hook);
    return 0;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) return showWindow(40, 40);
    const std::wstring cmd = argv[1];
    if (cmd == L"at" && argc >= 4) return showWindow(_wtoi(argv[2]), _wtoi(argv[3]));
    if (cmd == L"foreground") {
        const HWND w = GetForegroundWindow();
        printUtf8(w == nullptr ? L"none" : programOf(w));
        return 0;
    }
    if (cmd == L"watch" && argc >= 3) return watch(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    if ((cmd == L"front" || cmd == L"close" || cmd == L"window") && argc >= 3) {
        const HWND w = FindWindowW(L"KbFollowProbe", argv[2]);
        if (w == nullptr) {
            std::puts("nowindow");
            return 1;
        }
        if (cmd == L"window") {
            std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(w)));
            return 0;
        }
        if (cmd == L"close") return PostMessageW(w, WM_CLOSE, 0, 0) ? 0 : 1;
        SetForegroundWindow(w);
        std::printf("%d\n", GetForegroundWindow() == w ? 1 : 0);
        return 0;
    }
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { ExitProcess(3); });
    return run(argc, argv);
}
