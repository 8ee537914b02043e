// A window to type into: a focused multi-line edit control whose text is
// written to REPORT (UTF-8) whenever it changes. Runs until the event named
// EVENT is set or 30 seconds pass; creates the event EVENT-ready once focused.
//   type_target.exe REPORT EVENT
#include <windows.h>
#include <shellapi.h>

#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"

#include <string>

namespace {

HWND g_edit = nullptr;
std::wstring g_report;

void writeReport() {
    const int n = GetWindowTextLengthW(g_edit);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(g_edit, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n));
    const std::string utf8 = kbtext::toUtf8(std::wstring_view(text));
    const kbwin::UniqueHandle f(
        CreateFileW(g_report.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!f) return;
    DWORD written = 0;
    WriteFile(f.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) writeReport();
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3) return 2;
    g_report = argv[1];
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, argv[2]);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, (std::wstring(argv[2]) + L"-ready").c_str());

    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"KbTypeTarget";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"type target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                                  200, nullptr, nullptr, instance, nullptr);
    g_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 280, 150,
                             window, nullptr, instance, nullptr);
    SetForegroundWindow(window);
    SetFocus(g_edit);
    writeReport();
    SetEvent(ready);

    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &quit, FALSE, 100, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 || GetTickCount() - start > 30000) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    writeReport();
    return 0;
}
