// A library that guards its own threads the way KinsetDll and Multact do.
#include <windows.h>

#include "common/crash/crash_report.h"
#include "common/win/unique_handle.h"

namespace {

__attribute__((noinline)) void fault() {
    // A page that may not be touched: a real access violation on any system.
    auto* guarded = static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    *static_cast<volatile int*>(guarded) = 1;
}

DWORD WINAPI ownThread(void*) {
    kb::crash::ThreadGuard guard;
    fault();
    return 0;
}

}  // namespace

extern "C" __declspec(dllexport) void CrashInOwnThread() {
    // Detached: the probe sleeps until the report ends it.
    kbwin::UniqueHandle thread(CreateThread(nullptr, 0, ownThread, nullptr, 0, nullptr));
}

extern "C" __declspec(dllexport) void CrashOnCallersThread() { fault(); }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        kb::crash::setIdentity("KbPanel", "probe");
        kb::crash::installModuleGuard(module);
    } else if (reason == DLL_PROCESS_DETACH) {
        kb::crash::removeModuleGuard();
    }
    return TRUE;
}
