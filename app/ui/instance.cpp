#include "instance.h"

#include "app_rules.h"

#include <tlhelp32.h>

#include "common/win/unique_handle.h"

namespace kb::ui {

std::optional<DWORD> findRunningInstance(const std::wstring& programFileName) {
    kbwin::UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return std::nullopt;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snap.get(), &entry)) return std::nullopt;
    const DWORD self = GetCurrentProcessId();
    // The first entry is the system's idle process.
    while (Process32NextW(snap.get(), &entry)) {
        if (entry.th32ProcessID == self) continue;
        if (equalsIgnoringCase(reinterpret_cast<const char16_t*>(entry.szExeFile),
                               reinterpret_cast<const char16_t*>(programFileName.c_str()))) {
            return entry.th32ProcessID;
        }
    }
    return std::nullopt;
}

namespace {
struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK visit(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid) return TRUE;
    if (static_cast<unsigned>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) != kMarkerMain) return TRUE;
    s->found = hwnd;
    return FALSE;
}
}  // namespace

HWND findMainWindow(DWORD pid) {
    Search s{pid, nullptr};
    EnumWindows(&visit, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool deliverMarker(DWORD pid, UINT message, WPARAM marker) {
    const HWND target = findMainWindow(pid);
    if (target == nullptr) return false;
    // The running instance may bring itself to the foreground.
    AllowSetForegroundWindow(pid);
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(target, message, marker, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

HANDLE& openRequestEvent() noexcept {
    static HANDLE event = nullptr;
    return event;
}

InstanceClaim claimInstance() {
    kbwin::UniqueHandle existing(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kInstanceMutexName));
    if (existing) return InstanceClaim::AnotherRuns;
    kbwin::UniqueHandle created(CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    // Two starts at once: both failed to open it and one created it first. A
    // mutex that cannot be made at all (another user's, say) also means we
    // must not run beside whoever holds it.
    if (!created || GetLastError() == ERROR_ALREADY_EXISTS) return InstanceClaim::AnotherRuns;
    // Held for the life of the process: the mutex marks the first instance.
    static kbwin::UniqueHandle held;
    held = std::move(created);
    return InstanceClaim::First;
}

}  // namespace kb::ui
