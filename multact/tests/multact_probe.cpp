// A program for the library's tests to start: it writes what it was started
// with to a report file, shows a window with a child, sets the event named
// EVENT-raised once that window has been made topmost, and runs until the
// event EVENT is set (or 20 seconds pass).
//   multact_probe.exe REPORT EVENT [more arguments]
// Started without arguments, it takes REPORT and EVENT from the environment
// variables KB_PROBE_REPORT and KB_PROBE_EVENT.
// Report lines (UTF-8): process id, window handle, current folder, program
// path, then one line per argument.
#include <windows.h>
#include <shellapi.h>

#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"

#include <cstdint>
#include <string>

namespace {

std::string utf8(const std::wstring& s) { return kbtext::toUtf8(std::wstring_view(s)); }

HANDLE gRaised = nullptr;

LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGED && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0 &&
        gRaised != nullptr) {
        SetEvent(gRaised);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) {
        return 2;
    }
    std::wstring reportPath;
    std::wstring eventName;
    if (argc >= 3) {
        reportPath = argv[1];
        eventName = argv[2];
    } else {
        wchar_t buf[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"KB_PROBE_REPORT", buf, MAX_PATH) == 0) {
            return 2;
        }
        reportPath = buf;
        if (GetEnvironmentVariableW(L"KB_PROBE_EVENT", buf, MAX_PATH) == 0) {
            return 2;
        }
        eventName = buf;
    }
    const kbwin::UniqueHandle doneOwner(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    HANDLE done = doneOwner.get();
    const kbwin::UniqueHandle raisedOwner(CreateEventW(nullptr, TRUE, FALSE, (eventName + L"-raised").c_str()));
    gRaised = raisedOwner.get();

    WNDCLASSW wc{};
    wc.lpfnWndProc = probeProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"KbMultactProbe";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"probe", WS_OVERLAPPEDWINDOW, 300, 300, 200, 120, nullptr,
                                  nullptr, instance, nullptr);
    CreateWindowExW(0, L"BUTTON", L"child", WS_CHILD | WS_VISIBLE, 10, 10, 80, 24, window, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);

    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::string report = std::to_string(GetCurrentProcessId()) + "\n" +
                         std::to_string(reinterpret_cast<std::uintptr_t>(window)) + "\n" + utf8(folder) + "\n" +
                         utf8(program) + "\n";
    for (int i = 1; i < argc; ++i) {
        report += utf8(argv[i]) + "\n";
    }
    // Written to a side name and renamed, so a reader never sees half a report.
    const std::wstring part = reportPath + L".part";
    {
        const kbwin::UniqueHandle file(
            CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return 3;
        }
        DWORD written = 0;
        WriteFile(file.get(), report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    }  // closed before the rename
    MoveFileExW(part.c_str(), reportPath.c_str(), MOVEFILE_REPLACE_EXISTING);

    const DWORD until = GetTickCount() + 20000;
    for (;;) {
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(until - now) <= 0) {
            break;
        }
        const DWORD woke = MsgWaitForMultipleObjects(1, &done, FALSE, until - now, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) {
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
    }
    // The window goes with the process; destroying it first makes Wine wait on the display.
    LocalFree(argv);
    return 0;
}
