#include "common/crash/crash_report.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include <atomic>
#include <string>
#include <vector>

#include "common/crash/crash_log.h"
#include "common/crash/minidump.h"
#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"

namespace kb::crash {
namespace {

// Written once at start, read in the handler: plain arrays, no allocation.
char g_product[64] = "KbPanel";
char g_version[32] = "?";
std::atomic<HMODULE> g_guardedModule{nullptr};
PVOID g_vectoredHandler = nullptr;
std::atomic<LONG> g_writing{0};
thread_local bool t_guarded = false;

std::string narrow(const std::wstring& w) { return kbtext::toUtf8(std::wstring_view(w)); }
std::wstring widen(const std::string& s) { return kbtext::wideFromUtf8(s); }

Moment now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

bool writeAll(HANDLE file, const std::string& text) {
    DWORD done = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
           done == text.size();
}

struct DumpJob {
    const std::wstring* path;
    EXCEPTION_POINTERS* pointers;
    DWORD threadId;
    const NT_TIB* tib;
};

std::vector<std::uint8_t> readMemory(std::uint64_t address, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    SIZE_T got = 0;
    if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address), bytes.data(),
                           size, &got))
        got = 0;
    bytes.resize(got);
    return bytes;
}

template <class T>
bool readValue(std::uint64_t address, T& out) {
    auto bytes = readMemory(address, sizeof(T));
    if (bytes.size() != sizeof(T)) return false;
    std::memcpy(&out, bytes.data(), sizeof(T));
    return true;
}

void fillModules(std::vector<DumpModule>& modules) {
    kbwin::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
    if (!snapshot) return;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry)) {
        DumpModule m;
        m.base = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
        m.size = entry.modBaseSize;
        m.path.assign(entry.szExePath, entry.szExePath + lstrlenW(entry.szExePath));
        IMAGE_DOS_HEADER dos{};
        IMAGE_NT_HEADERS nt{};
        if (readValue(m.base, dos) && dos.e_magic == IMAGE_DOS_SIGNATURE &&
            readValue(m.base + static_cast<std::uint32_t>(dos.e_lfanew), nt) && nt.Signature == IMAGE_NT_SIGNATURE) {
            m.timeDateStamp = nt.FileHeader.TimeDateStamp;
            m.checksum = nt.OptionalHeader.CheckSum;
        }
        modules.push_back(std::move(m));
    }
}

DumpInput collect(const DumpJob& job) {
    DumpInput in;
    in.timeDateStamp = static_cast<std::uint32_t>(std::time(nullptr));
    SYSTEM_INFO si{};
    GetNativeSystemInfo(&si);
    in.system.processorArchitecture = si.wProcessorArchitecture;
    in.system.processorLevel = si.wProcessorLevel;
    in.system.processorRevision = si.wProcessorRevision;
    in.system.processors = static_cast<std::uint8_t>(std::min<DWORD>(si.dwNumberOfProcessors, 255));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version)) {
        in.system.majorVersion = version.dwMajorVersion;
        in.system.minorVersion = version.dwMinorVersion;
        in.system.buildNumber = version.dwBuildNumber;
        in.system.platformId = version.dwPlatformId;
    }
    in.thread.id = job.threadId;
    in.thread.teb = reinterpret_cast<std::uintptr_t>(job.tib);
    if (job.pointers && job.pointers->ExceptionRecord) {
        const EXCEPTION_RECORD& rec = *job.pointers->ExceptionRecord;
        in.exception.code = rec.ExceptionCode;
        in.exception.flags = rec.ExceptionFlags;
        in.exception.nested = reinterpret_cast<std::uintptr_t>(rec.ExceptionRecord);
        in.exception.address = reinterpret_cast<std::uintptr_t>(rec.ExceptionAddress);
        for (DWORD i = 0; i < rec.NumberParameters && i < EXCEPTION_MAXIMUM_PARAMETERS; ++i)
            in.exception.parameters.push_back(rec.ExceptionInformation[i]);
    }
    if (job.pointers && job.pointers->ContextRecord) {
        const CONTEXT& ctx = *job.pointers->ContextRecord;
        const auto* raw = reinterpret_cast<const std::uint8_t*>(&ctx);
        in.thread.context.assign(raw, raw + sizeof ctx);
#if defined(_WIN64)
        const std::uint64_t sp = ctx.Rsp;
#else
        const std::uint64_t sp = ctx.Esp;
#endif
        // The live part of the stack, at most 64 KiB of it.
        const std::uint64_t top = job.tib ? reinterpret_cast<std::uintptr_t>(job.tib->StackBase) : sp;
        if (top > sp) {
            in.thread.stackStart = sp;
            in.thread.stack = readMemory(sp, static_cast<std::size_t>(std::min<std::uint64_t>(top - sp, 64 * 1024)));
        }
    }
    fillModules(in.modules);
    return in;
}

DWORD WINAPI dumpThread(void* param) {
    try {
        const DumpJob& job = *static_cast<const DumpJob*>(param);
        std::vector<std::uint8_t> dump = buildMinidump(collect(job));
        kbwin::UniqueHandle file(CreateFileW(job.path->c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        return file && WriteFile(file.get(), dump.data(), static_cast<DWORD>(dump.size()), &done, nullptr) &&
                       done == dump.size()
                   ? 0
                   : 1;
    } catch (...) {
        return 1;
    }
}

// The dump is written from a thread of its own: the crashed thread's stack
// may be nearly exhausted, and the dump shows that thread as it stood.
const NT_TIB* currentTib() {
    // gcc 12 misreads the segment-register read in NtCurrentTeb as an array access.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    return reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
#pragma GCC diagnostic pop
}

void writeDump(const std::wstring& path, EXCEPTION_POINTERS* ep) {
    DumpJob job{&path, ep, GetCurrentThreadId(), currentTib()};
    kbwin::UniqueHandle worker(CreateThread(nullptr, 0, dumpThread, &job, 0, nullptr));
    if (worker) WaitForSingleObject(worker.get(), 10000);
}

void prune(const std::wstring& folder) {
    std::vector<std::string> stems;
    WIN32_FIND_DATAW fd;
    kbwin::UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &fd));
    if (find) {
        do {
            std::wstring name = fd.cFileName;
            auto dot = name.rfind(L'.');
            if (dot != std::wstring::npos) stems.push_back(narrow(name.substr(0, dot)));
        } while (FindNextFileW(find.get(), &fd));
    }
    for (const std::string& stem : stemsToRemove(stems)) {
        std::wstring base = folder + L"\\" + widen(stem);
        DeleteFileW((base + L".txt").c_str());
        DeleteFileW((base + L".dmp").c_str());
    }
}

bool fatal(DWORD code) {
    // Errors only: C++ exceptions, debug strings and thread names are not crashes.
    return (code & 0xF0000000u) == 0xC0000000u;
}

bool insideModule(HMODULE module, const void* address) {
    HMODULE owner = nullptr;
    return module && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<LPCWSTR>(address), &owner) &&
           owner == module;
}

[[noreturn]] void reportAndEnd(EXCEPTION_POINTERS* ep) {
    // A second crash while writing (another thread, or the writer itself) just ends.
    if (g_writing.exchange(1) == 0) (void)writeReport(ep);
    TerminateProcess(GetCurrentProcess(), ep ? ep->ExceptionRecord->ExceptionCode : 1);
    for (;;) Sleep(INFINITE);
}

LONG WINAPI processFilter(EXCEPTION_POINTERS* ep) { reportAndEnd(ep); }

LONG CALLBACK moduleFilter(EXCEPTION_POINTERS* ep) {
    if (!t_guarded || !ep || !ep->ExceptionRecord) return EXCEPTION_CONTINUE_SEARCH;
    if (!fatal(ep->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    if (!insideModule(g_guardedModule.load(), ep->ExceptionRecord->ExceptionAddress))
        return EXCEPTION_CONTINUE_SEARCH;
    reportAndEnd(ep);
}

}  // namespace

void setIdentity(const char* product, const char* version) noexcept {
    if (product) lstrcpynA(g_product, product, sizeof g_product);
    if (version) lstrcpynA(g_version, version, sizeof g_version);
}

void installProcessHandler() noexcept { SetUnhandledExceptionFilter(processFilter); }

void installModuleGuard(HMODULE module) noexcept {
    g_guardedModule = module;
    if (!g_vectoredHandler) g_vectoredHandler = AddVectoredExceptionHandler(0, moduleFilter);
}

void removeModuleGuard() noexcept {
    if (g_vectoredHandler) RemoveVectoredExceptionHandler(g_vectoredHandler);
    g_vectoredHandler = nullptr;
    g_guardedModule = nullptr;
}

ThreadGuard::ThreadGuard() noexcept { t_guarded = true; }
ThreadGuard::~ThreadGuard() { t_guarded = false; }

std::wstring reportFolder() {
    wchar_t base[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
        return {};
    return std::wstring(base) + L"\\KbPanel\\Crashes";
}

std::wstring writeReport(EXCEPTION_POINTERS* ep) noexcept {
    try {
        std::wstring folder = reportFolder();
        if (folder.empty()) return {};
        CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
        CreateDirectoryW(folder.c_str(), nullptr);

        Moment when = now();
        std::wstring base = folder + L"\\" + widen(reportStem(when, GetCurrentProcessId()));
        DWORD code = ep && ep->ExceptionRecord ? ep->ExceptionRecord->ExceptionCode : 0;
        const void* address = ep && ep->ExceptionRecord ? ep->ExceptionRecord->ExceptionAddress : nullptr;
        std::string module;
        std::uint64_t offset = 0;
        HMODULE owner = nullptr;
        if (address && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                          static_cast<LPCWSTR>(address), &owner)) {
            wchar_t path[MAX_PATH];
            DWORD n = GetModuleFileNameW(owner, path, MAX_PATH);
            if (n > 0 && n < MAX_PATH) {
                std::wstring p(path, n);
                module = narrow(p.substr(p.find_last_of(L"\\/") + 1));
            }
            offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(owner);
        }

        std::wstring summary = base + L".txt";
        {
            kbwin::UniqueHandle file(CreateFileW(summary.c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file || !writeAll(file.get(), summaryLine(when, g_product, g_version, code, module,
                                                           offset) + "\r\n"))
                summary.clear();
        }
        prune(folder);
        writeDump(base + L".dmp", ep);
        return summary;
    } catch (...) {
        return {};
    }
}

std::wstring latestReport() {
    std::wstring folder = reportFolder();
    if (folder.empty()) return {};
    std::string newest;
    WIN32_FIND_DATAW fd;
    kbwin::UniqueFindHandle find(FindFirstFileW((folder + L"\\*.txt").c_str(), &fd));
    if (!find) return {};
    do {
        std::wstring name = fd.cFileName;
        std::string stem = narrow(name.substr(0, name.rfind(L'.')));
        if (isReportStem(stem) && stem > newest) newest = stem;
    } while (FindNextFileW(find.get(), &fd));
    return newest.empty() ? std::wstring() : folder + L"\\" + widen(newest) + L".txt";
}

}  // namespace kb::crash
