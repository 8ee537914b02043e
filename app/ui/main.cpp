// KbPanel.exe: one instance per user session, living in the notification
// area. A second start shows the running instance's window; "/Kill" ends it.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "app_rules.h"
#include "common/crash/crash_report.h"
#include "common/win/dll_search.h"
#include "kb_version.h"
#include "instance.h"
#include "main_window.h"
#include "resource.h"

#include <string>
#include <vector>

namespace {

using namespace kb::ui;

std::vector<std::u16string> argumentsAfterProgram() {
    std::vector<std::u16string> args;
    int n = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (argv == nullptr) return args;
    for (int i = 1; i < n; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    LocalFree(argv);
    return args;
}

// The running instance may still be starting: its window carries the marker
// only near the end of its start-up, so ask again for a short while.
bool handOver(const std::wstring& programFileName, UINT message, WPARAM marker) {
    for (int attempt = 0; attempt < 30; ++attempt) {
        const auto pid = findRunningInstance(programFileName);
        if (!pid) return false;
        if (deliverMarker(*pid, message, marker)) return true;
        Sleep(100);
    }
    return false;
}

int run() {
    wchar_t module[kMaxPath] = {};
    const DWORD n = GetModuleFileNameW(nullptr, module, kMaxPath);
    if (n == 0 || n >= kMaxPath) return 0;
    const auto paths = buildAppPaths(std::u16string(reinterpret_cast<const char16_t*>(module), n));
    if (!paths) return 0;
    const std::wstring programFileName(reinterpret_cast<const wchar_t*>(paths->programFileName.c_str()));

    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM));

    // "/Kill" never starts a program of its own, whether or not one runs.
    if (asksToKill(argumentsAfterProgram())) {
        (void)handOver(programFileName, kMessageKill, kMarkerKill);
        return 0;
    }
    // Beside a running instance we would share its key events: hand over.
    if (claimInstance() == InstanceClaim::AnotherRuns) {
        (void)handOver(programFileName, kMessageOpen, kMarkerOpen);
        return 0;
    }

    // The skin's picture loader and controls hosted in dialogs need OLE.
    if (FAILED(OleInitialize(nullptr))) return 0;

    // Lives until the process ends: the lamp and arrow threads and library
    // callbacks may still hold it while the process goes down.
    auto* window = new MainWindow(*paths, icon);
    window->runModal();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything is loaded by name.
    (void)kbwin::restrictDllSearch();
    // A crash leaves a report and ends the process; ending it closes our
    // handle on the driver, which drops our tables, so no key stays remapped.
    kb::crash::setIdentity("KbPanel", KB_VERSION_STRING);
    kb::crash::installProcessHandler();
    int code = 0;
    try {
        code = run();
    } catch (...) {
        code = 3;
    }
    // Worker threads of the heart are stopped by now; the lamps' may still run.
    ExitProcess(static_cast<UINT>(code));
}
