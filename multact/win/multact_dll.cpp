// The library's exports: each hands its code to the action runner, which
// catches everything, so no exception crosses into the caller.
#include "multact.h"

#include <windows.h>

#include "actions_win.h"
#include "common/crash/crash_report.h"
#include "kb_version.h"

// A crash in one of the library's own threads leaves a report; faults on the
// caller's threads stay the caller's business.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        kb::crash::setIdentity("Multact", KB_VERSION_STRING);
        kb::crash::installModuleGuard(module);
    } else if (reason == DLL_PROCESS_DETACH) {
        kb::crash::removeModuleGuard();
    }
    return TRUE;
}

extern "C" {

int __stdcall Multact(int code) {
    return kb::multact::runAction(kb::multact::Entry::Multact, code, nullptr, nullptr);
}

int __stdcall Multact2(int code, const wchar_t* text, const wchar_t* parameters) {
    return kb::multact::runAction(kb::multact::Entry::Multact2, code, text, parameters);
}

int __stdcall MultactForWin2000(int code) {
    return kb::multact::runAction(kb::multact::Entry::ForWin2000, code, nullptr, nullptr);
}

}  // extern "C"
