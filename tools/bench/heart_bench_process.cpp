// The heart bench's cost of the running program: idle CPU and wake-ups,
// private bytes over many presses, how deep each thread's stack was used.
#include "heart_bench_rig.h"

namespace heart_bench {

// --- idle cost -----------------------------------------------------------------

DWORD findHost(const std::wstring& program) {
    UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) setupFail(lastError("cannot list processes"));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    int count = 0;
    for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, program.c_str()) == 0) {
            found = entry.th32ProcessID;
            ++count;
        }
    }
    const std::string name(program.begin(), program.end());  // ASCII program names
    if (count == 0) setupFail(name + " is not running");
    if (count > 1) setupFail("more than one " + name + " is running");
    return found;
}

// Committed private memory walked region by region: what Windows calls the
// program's private bytes. Wine reports PrivateUsage from the Linux swap
// figure, so the counter alone reads zero there.
struct PrivateWalk {
    std::uint64_t privateBytes = 0;  // MEM_PRIVATE, committed
    std::uint64_t imageWritable = 0; // committed copy-on-write pages of loaded modules
    std::vector<std::uint64_t> regions;  // committed private region sizes, largest first
    bool ok = false;
};

PrivateWalk walkPrivate(HANDLE process) {
    PrivateWalk walk;
    MEMORY_BASIC_INFORMATION info{};
    std::uintptr_t at = 0;
    while (VirtualQueryEx(process, reinterpret_cast<LPCVOID>(at), &info, sizeof info) == sizeof info) {
        walk.ok = true;
        const std::uint64_t size = info.RegionSize;
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) {
            walk.privateBytes += size;
            walk.regions.push_back(size);
        } else if (info.State == MEM_COMMIT && info.Type == MEM_IMAGE &&
                   (info.Protect & (PAGE_WRITECOPY | PAGE_READWRITE | PAGE_EXECUTE_WRITECOPY | PAGE_EXECUTE_READWRITE))) {
            walk.imageWritable += size;
        }
        const std::uintptr_t next = reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    std::sort(walk.regions.begin(), walk.regions.end(), std::greater<>());
    walk.regions.resize(std::max<std::size_t>(walk.regions.size(), 3));
    return walk;
}

int threadCount(DWORD pid) {
    UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snap) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL ok = Thread32First(snap.get(), &entry); ok; ok = Thread32Next(snap.get(), &entry)) {
        if (entry.th32OwnerProcessID == pid) ++n;
    }
    return n;
}

std::uint64_t ticks100ns(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

int idle(int seconds, const std::wstring& program) {
    const DWORD pid = findHost(program);
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE,
                    FALSE, pid));
    if (!process) setupFail(lastError("cannot open the program"));
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel0, &user0))
        setupFail(lastError("cannot read the program's times"));
    const std::int64_t t0 = now();
    // Wakes early only if the host ends.
    if (WaitForSingleObject(process.get(), static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0)
        setupFail("the program ended during the idle measurement");
    const double wallMs = msSince(t0, now());
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel1, &user1))
        setupFail(lastError("cannot read the program's times"));
    const double userMs = static_cast<double>(ticks100ns(user1) - ticks100ns(user0)) / 1e4;
    const double kernelMs = static_cast<double>(ticks100ns(kernel1) - ticks100ns(kernel0)) / 1e4;
    char line[300];
    if (ticks100ns(user0) == 0 && ticks100ns(kernel0) == 0 && ticks100ns(user1) == 0 && ticks100ns(kernel1) == 0) {
        // A running program has used some time; all zero means the system does
        // not report it for other processes (Wine), not that the host is free.
        std::snprintf(line, sizeof line,
                      "idle   %ls CPU over %.1f s: not reported by the system (user and kernel time read as zero "
                      "before and after)",
                      program.c_str(), wallMs / 1000);
    } else {
        std::snprintf(line, sizeof line,
                      "idle   %ls CPU over %.1f s with no key pressed: user %.1f ms, kernel %.1f ms, total %.1f ms "
                      "(%.3f %% of one core)%s",
                      program.c_str(), wallMs / 1000, userMs, kernelMs, userMs + kernelMs, 100 * (userMs + kernelMs) / wallMs,
                      // Wine's figures for another process can stay flat while its
                      // threads run; a zero here is no proof of a free host.
                      userMs + kernelMs == 0 ? "; no time reported, compare a view from outside the system" : "");
    }
    printLine(line);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        std::snprintf(line, sizeof line,
                      "memory private bytes %.2f MB, working set %.2f MB (the system's view of the program)",
                      static_cast<double>(memory.PrivateUsage) / 1048576.0,
                      static_cast<double>(memory.WorkingSetSize) / 1048576.0);
        printLine(line);
    } else {
        printLine(lastError("memory private bytes not reported by the system"));
    }
    if (const PrivateWalk walk = walkPrivate(process.get()); walk.ok) {
        std::snprintf(line, sizeof line,
                      "memory private bytes %.2f MB by region walk (committed private regions; largest %.2f, %.2f, "
                      "%.2f MB), plus %.2f MB writable module pages",
                      static_cast<double>(walk.privateBytes) / 1048576.0,
                      static_cast<double>(walk.regions[0]) / 1048576.0,
                      static_cast<double>(walk.regions[1]) / 1048576.0,
                      static_cast<double>(walk.regions[2]) / 1048576.0,
                      static_cast<double>(walk.imageWritable) / 1048576.0);
        printLine(line);
    } else {
        printLine(lastError("memory region walk not possible"));
    }
    // For scale: this bench program, one thread of its own and no window,
    // walked the same way; and the program's thread count, since under Wine
    // every thread holds its whole stack committed.
    if (const PrivateWalk own = walkPrivate(GetCurrentProcess()); own.ok) {
        // The same walk with eight more idle threads of a given stack reserve.
        const auto perThread = [](SIZE_T reserve) {
            const PrivateWalk before = walkPrivate(GetCurrentProcess());
            UniqueHandle quit(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            std::vector<UniqueHandle> threads;
            for (int i = 0; i < 8 && quit; ++i) {
                threads.emplace_back(CreateThread(
                    nullptr, reserve,
                    [](void* q) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(q), INFINITE); }, quit.get(),
                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
            }
            Sleep(100);
            const PrivateWalk more = walkPrivate(GetCurrentProcess());
            if (quit) SetEvent(quit.get());
            for (auto& t : threads) {
                if (t) WaitForSingleObject(t.get(), 2000);
            }
            return static_cast<double>(more.privateBytes - std::min(more.privateBytes, before.privateBytes)) / 8 /
                   1048576.0;
        };
        const double mib = perThread(1 << 20);
        // A small reserve tells whether a thread's cost there is its stack.
        const double small = perThread(64 << 10);
        std::snprintf(line, sizeof line,
                      "memory for scale: %d threads in %ls; this bench program walked the same way %.2f MB, "
                      "%.2f MB per extra idle thread of a 1 MiB stack reserve, %.2f MB of a 64 KiB one",
                      threadCount(pid), program.c_str(), static_cast<double>(own.privateBytes) / 1048576.0, mib, small);
        printLine(line);
    }
    return 0;
}

// --- memory over many presses -------------------------------------------------

// Private bytes by region walk before and after `presses` presses, taken in
// turn from the macro key, the text key and the HID macro key; each press
// waits for its result, so nothing piles up in the program's queues.
int growth(int presses, const std::wstring& program) {
    const DWORD pid = findHost(program);
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) setupFail(lastError("cannot open the program"));
    Driver driver;
    waitForKeyboardTable(driver);
    timeBeginPeriod(1);
    TypeTarget target;
    const BenchKey& macro = keyWithRole(KeyRole::Macro);
    const BenchKey& text = keyWithRole(KeyRole::Text);
    const std::uint16_t stepScan = kb::driverScanCode(kb::bench::kMacroStepCode);
    const std::uint16_t stepFlags = kb::driverKeyFlags(kb::bench::kMacroStepCode, kb::bench::kMacroStepDirection);
    TypeTarget::pump(200);
    (void)driver.takeLog();
    const PrivateWalk before = walkPrivate(process.get());
    const int threadsBefore = threadCount(pid);
    int missed = 0;
    const std::int64_t start = now();
    for (int i = 0; i < presses; ++i) {
        const int kind = i % 3;
        g_typed = {};
        const std::int64_t t0 = now();
        if (kind == 0) keyPress(driver, macro)();
        if (kind == 1) keyPress(driver, text)();
        if (kind == 2) driver.queueReport(kb::bench::kHidMacroKeyReport);
        bool seen = false;
        if (kind == 1) {
            TypeTarget::pump(kRecordTimeoutMs, true);
            seen = g_typed.first != 0;
        } else {
            while (!seen && msSince(t0, now()) < kRecordTimeoutMs) {
                seen = kb::bench::countInjectedKey(driver.takeLog(), stepScan, stepFlags) > 0;
                if (!seen) pollPause(msSince(t0, now()));
            }
        }
        missed += seen ? 0 : 1;
        if (kind == 0) keyRelease(driver, macro)();
        if (kind == 1) keyRelease(driver, text)();
        if (kind == 2) driver.queueReport(0);
        // Time for the release to be taken before the next press.
        TypeTarget::pump(2);
        if (i % 500 == 499) target.clear();
    }
    const double seconds = msSince(start, now()) / 1000;
    TypeTarget::pump(1000);
    const PrivateWalk after = walkPrivate(process.get());
    const int threadsAfter = threadCount(pid);
    // The system's pool lets an idle thread go after a few seconds (5 under Wine).
    TypeTarget::pump(7000);
    const PrivateWalk settled = walkPrivate(process.get());
    timeEndPeriod(1);
    if (!before.ok || !after.ok || !settled.ok) setupFail(lastError("memory region walk not possible"));
    const auto mb = [](std::uint64_t bytes) { return static_cast<double>(bytes) / 1048576.0; };
    char line[400];
    std::snprintf(line, sizeof line,
                  "memory over %d presses (macro, text and HID macro key in turn, %.0f s): private bytes by region "
                  "walk %.2f MB before, %.2f MB 1 s after (%+.2f MB, threads %d then %d), %.2f MB 8 s after "
                  "(%+.2f MB, threads %d)",
                  presses, seconds, mb(before.privateBytes), mb(after.privateBytes),
                  mb(after.privateBytes) - mb(before.privateBytes), threadsBefore, threadsAfter,
                  mb(settled.privateBytes), mb(settled.privateBytes) - mb(before.privateBytes), threadCount(pid));
    printLine(line);
    if (missed) printLine("       FAULT: " + std::to_string(missed) + " presses without a result within 2 s");
    return missed == 0 ? 0 : 1;
}

// --- how deep each thread's stack has been used ---------------------------------

struct ThreadBasics {
    LONG exitStatus;
    void* teb;
    void* clientProcess;
    void* clientThread;
    ULONG_PTR affinity;
    LONG priority;
    LONG basePriority;
};

struct StackUse {
    DWORD thread = 0;
    std::uint64_t reserve = 0;  // from the bottom of the reservation to the base
    std::uint64_t deepest = 0;  // from the base to the lowest byte ever written
};

// A stack's untouched pages are still the zeros they were made with, so the
// lowest non-zero word is the deepest the thread has been. Windows commits
// only touched pages; Wine commits the whole stack, zeroed, so one scan of
// the reservation finds it there too.
std::vector<StackUse> stackUse(HANDLE process, DWORD pid) {
    using QueryThread = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    if (query == nullptr) setupFail("NtQueryInformationThread not found");
    std::vector<StackUse> out;
    UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snap) setupFail(lastError("cannot list threads"));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Thread32First(snap.get(), &entry); ok; ok = Thread32Next(snap.get(), &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        ThreadBasics basics{};
        if (!thread || query(thread.get(), 0 /* ThreadBasicInformation */, &basics, sizeof basics, nullptr) != 0) continue;
        // x64 TEB: StackBase at 0x08, DeallocationStack at 0x1478.
        std::uint64_t base = 0, bottom = 0;
        const auto* teb = static_cast<const std::uint8_t*>(basics.teb);
        if (!ReadProcessMemory(process, teb + 0x08, &base, sizeof base, nullptr) ||
            !ReadProcessMemory(process, teb + 0x1478, &bottom, sizeof bottom, nullptr) || base <= bottom)
            continue;
        StackUse use;
        use.thread = entry.th32ThreadID;
        use.reserve = base - bottom;
        // Read the committed parts from the bottom up; the first non-zero word ends the scan.
        std::vector<std::uint64_t> page(4096 / 8);
        for (std::uint64_t at = bottom; at < base && use.deepest == 0; at += 4096) {
            MEMORY_BASIC_INFORMATION info{};
            if (VirtualQueryEx(process, reinterpret_cast<void*>(at), &info, sizeof info) != sizeof info) break;
            if (info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD) != 0 ||
                !ReadProcessMemory(process, reinterpret_cast<void*>(at), page.data(), 4096, nullptr))
                continue;
            for (std::size_t i = 0; i < page.size(); ++i) {
                if (page[i] != 0) {
                    use.deepest = base - (at + i * 8);
                    break;
                }
            }
        }
        out.push_back(use);
    }
    return out;
}

int stacks(const std::wstring& program) {
    const DWORD pid = findHost(program);
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) setupFail(lastError("cannot open the program"));
    const std::vector<StackUse> uses = stackUse(process.get(), pid);
    if (uses.empty()) setupFail("no thread stack could be read");
    std::string line = "stacks " + std::string(program.begin(), program.end()) +
                       ", deepest use of each thread's stack since it started (KiB of its reserve, in thread order):";
    for (const StackUse& u : uses) {
        char part[80];
        std::snprintf(part, sizeof part, " %.1f/%llu", static_cast<double>(u.deepest) / 1024,
                      static_cast<unsigned long long>(u.reserve / 1024));
        line += part;
    }
    printLine(line);
    return 0;
}

}  // namespace heart_bench
