// Crash evidence for KbPanel and its two libraries: a small minidump and one
// summary line per crash under the user's local application data
// ("KbPanel\Crashes"), newest five kept. Nothing is shown to the user.
#pragma once

#include <windows.h>

#include <string>

namespace kb::crash {

// Names the product and version that every report carries. Call once, early.
void setIdentity(const char* product, const char* version) noexcept;

// The program: an unhandled exception in any thread writes a report, then the
// process ends with the exception code.
void installProcessHandler() noexcept;

// A library hosted by any process: an exception raised inside `module` on a
// thread that holds a ThreadGuard writes a report, then the process ends.
// Threads of the host are left to the host's own handling.
void installModuleGuard(HMODULE module) noexcept;
void removeModuleGuard() noexcept;

// Marks the current thread as one of the library's own for its lifetime.
class ThreadGuard {
public:
    ThreadGuard() noexcept;
    ~ThreadGuard();
    ThreadGuard(const ThreadGuard&) = delete;
    ThreadGuard& operator=(const ThreadGuard&) = delete;
};

// Writes a report for `ep` and prunes old ones; the summary file's path, or
// empty when nothing could be written.
std::wstring writeReport(EXCEPTION_POINTERS* ep) noexcept;

// Folder of the reports (not created).
std::wstring reportFolder();

// The newest report's summary file, empty when there is none (About box).
std::wstring latestReport();

}  // namespace kb::crash
