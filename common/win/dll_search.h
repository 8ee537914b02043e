// Where libraries come from: the program's own folder and the system folder,
// never the current folder or PATH, where a planted copy of the same name
// would run inside a program that drives the keyboard.
#pragma once

#include <windows.h>

#include <string>

namespace kbwin {

// For the whole process, before the first library is loaded by name.
inline bool restrictDllSearch() noexcept {
    // Without the call below (an old system) this at least drops the current folder.
    SetDllDirectoryW(L"");
    using SetDefault = BOOL(WINAPI*)(DWORD);
    auto set = reinterpret_cast<SetDefault>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    return set != nullptr && set(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

// `name` in the folder of the running program; empty when the path does not fit.
inline std::wstring besideProgram(const std::wstring& name) {
    wchar_t module[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path(module, n);
    const auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + name;
}

// Loads the library at the full `path`; what it needs comes from its own
// folder or the system folder.
inline HMODULE loadFromPath(const std::wstring& path) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)  // a system without the search flags
        module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}

// Loads `name` from the program's folder only. Null when it is not there.
inline HMODULE loadBesideProgram(const std::wstring& name) {
    const std::wstring path = besideProgram(name);
    if (path.empty()) return nullptr;
    return loadFromPath(path);
}

// `name` in the system folder; empty when the path does not fit.
inline std::wstring inSystemFolder(const std::wstring& name) {
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::wstring(folder, n) + L"\\" + name;
}

// A library that another party may install: the program's folder first, then
// the system folder, never anywhere else. `name` is a bare file name. The
// error of the last place tried is left for GetLastError.
inline HMODULE loadBesideProgramOrFromSystem(const std::wstring& name) {
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (HMODULE module = loadBesideProgram(name)) return module;
    const std::wstring path = inSystemFolder(name);
    if (path.empty()) return nullptr;
    return loadFromPath(path);
}

}  // namespace kbwin
