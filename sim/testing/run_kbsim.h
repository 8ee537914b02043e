// Test helper: runs kbsim.exe from the test program's folder and collects its output.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"

#include <string>

namespace kb::sim::testing {

inline std::wstring programFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

// Runs "kbsim ARGS"; returns its exit code (998/999 when it could not run) and, when
// asked, its output (stdout and stderr) with CR LF line ends.
inline DWORD runKbsimOnce(const std::wstring& args, std::string* out) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readPipe = nullptr, writePipe = nullptr;
    if (!CreatePipe(&readPipe, &writePipe, &sa, 0)) return 999;
    const kbwin::UniqueHandle readEnd(readPipe);
    kbwin::UniqueHandle writeEnd(writePipe);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd.get();
    si.hStdError = writeEnd.get();
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + programFolder() + L"kbsim.exe\" " + args;
    BOOL ok = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    writeEnd.reset();  // ours closed, the read ends when kbsim's copy does
    std::string text;
    DWORD code = 998;
    if (ok) {
        const kbwin::UniqueHandle process(pi.hProcess), thread(pi.hThread);
        char buf[512];
        DWORD got;
        while (ReadFile(readEnd.get(), buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
        WaitForSingleObject(process.get(), 10000);
        GetExitCodeProcess(process.get(), &code);
    }
    if (out) *out = text;
    return code;
}

// A start that fails outright (seen under a loaded Wine) is tried again.
inline DWORD runKbsim(const std::wstring& args, std::string* out = nullptr) {
    DWORD code = 998;
    for (int attempt = 0; attempt < 3; ++attempt) {
        code = runKbsimOnce(args, out);
        if (code != 998 && code != 999) break;
        if (out) *out += "(kbsim could not be started: error " + std::to_string(GetLastError()) + ")\n";
        Sleep(200);
    }
    return code;
}

}  // namespace kb::sim::testing
