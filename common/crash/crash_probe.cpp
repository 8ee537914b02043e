// Crashes on purpose so the reports can be checked from outside.
//   crash_probe process        unhandled fault in the program
//   crash_probe library-thread fault in a thread of a guarded library
//   crash_probe library-host   fault inside the library on the host's thread
//   crash_probe folder | latest
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/crash/crash_report.h"
#include "kb_version.h"

namespace {

void fault() {
    // A page that may not be touched: a real access violation on any system.
    auto* guarded = static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    *static_cast<volatile int*>(guarded) = 1;
}

int useLibrary(const char* entry) {
    HMODULE lib = LoadLibraryW(L"crash_probe_lib.dll");
    if (!lib) return 2;
    auto fn = reinterpret_cast<void(__cdecl*)()>(reinterpret_cast<void*>(GetProcAddress(lib, entry)));
    if (!fn) return 3;
    fn();
    Sleep(5000);  // the library's thread ends the process long before
    return 4;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const char* mode = argv[1];
    if (std::strcmp(mode, "folder") == 0) {
        std::printf("%ls\n", kb::crash::reportFolder().c_str());
        return 0;
    }
    if (std::strcmp(mode, "latest") == 0) {
        std::printf("%ls\n", kb::crash::latestReport().c_str());
        return 0;
    }
    if (std::strcmp(mode, "process") == 0) {
        kb::crash::setIdentity("KbPanel", KB_VERSION_STRING);
        kb::crash::installProcessHandler();
        fault();
        return 1;
    }
    if (std::strcmp(mode, "library-thread") == 0) return useLibrary("CrashInOwnThread");
    if (std::strcmp(mode, "library-host") == 0) return useLibrary("CrashOnCallersThread");
    return 2;
}
