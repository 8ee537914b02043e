// A library planted where it does not belong (current folder, PATH, or under
// a system library's name). Loading it leaves a mark: the file named by
// KB_PLANTED_MARK gets this library's path.
#include <windows.h>

#include "common/win/unique_handle.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t mark[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"KB_PLANTED_MARK", mark, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    wchar_t self[MAX_PATH];
    DWORD len = GetModuleFileNameW(module, self, MAX_PATH);
    const kbwin::UniqueHandle file(CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        DWORD done = 0;
        WriteFile(file.get(), self, len * sizeof(wchar_t), &done, nullptr);
        WriteFile(file.get(), L"\r\n", 2 * sizeof(wchar_t), &done, nullptr);
    }
    return TRUE;
}
