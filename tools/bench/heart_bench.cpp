// heart_bench: how fast the running heart (kbhost) answers the simulated keyboard,
// and what it costs while idle. Talks to the stand-in driver directly.
//   heart_bench profile OUT.json         the profile the measurements need (px3tool JSON)
//   heart_bench latency [--presses N]    round-trip floor, wait quanta, macro and text latency
//   heart_bench idle [--seconds S]       CPU time of the running kbhost.exe with no key pressed
// Exit status: 0 measured, 1 a measurement went wrong (missed or extra records), 2 usage or setup.
#include <windows.h>
#include <mmsystem.h>
#include <tlhelp32.h>

#include "common/win/unique_handle.h"
#include "heart_bench_core.h"
#include "kbsim/sieve_ioctl.h"
#include "key_catalogue.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using kb::bench::BenchKey;
using kb::bench::KeyRole;
using kb::bench::Summary;
using kbwin::UniqueHandle;

struct SetupError {
    std::string message;
};

[[noreturn]] void setupFail(const std::string& message) { throw SetupError{message}; }

std::string lastError(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

// --- clock ----------------------------------------------------------------

double g_ticksPerMs = 0;

std::int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double msSince(std::int64_t start, std::int64_t end) { return static_cast<double>(end - start) / g_ticksPerMs; }

// --- the stand-in driver ----------------------------------------------------

class Driver {
public:
    Driver()
        : dev_(CreateFileW(KBS_DEVICE_PATH_W, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
        if (!dev_) setupFail(lastError("cannot open the simulated keyboard; is the driver installed?"));
        log_.resize(KBS_LOG_HEADER_SIZE + KBS_LOG_CAPACITY * KBS_LOG_ENTRY_SIZE);
    }

    [[nodiscard]] bool control(DWORD code, const void* in, DWORD inLen, void* out, DWORD outLen, DWORD* got) {
        DWORD n = 0;
        const BOOL ok = DeviceIoControl(dev_.get(), code, const_cast<void*>(in), inLen, out, outLen, &n, nullptr);
        if (got) *got = n;
        return ok != FALSE;
    }

    // Returns the outcome the driver reports for the key event.
    std::uint32_t key(std::uint16_t code, bool release) {
        const std::uint16_t scan = kb::driverScanCode(code);
        const std::uint16_t flags = kb::driverKeyFlags(code, release ? 1 : 0);
        const std::uint8_t in[KBS_SIM_KEY_SIZE] = {KBS_DEV_KEYBOARD, 0, 0, 0,
                                                   static_cast<std::uint8_t>(scan), static_cast<std::uint8_t>(scan >> 8),
                                                   static_cast<std::uint8_t>(flags), static_cast<std::uint8_t>(flags >> 8)};
        std::uint8_t out[4] = {};
        DWORD got = 0;
        if (!control(KBS_SIM_KEY, in, sizeof in, out, sizeof out, &got)) setupFail(lastError("the key event failed"));
        return got >= 4 ? static_cast<std::uint32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24))
                        : static_cast<std::uint32_t>(KBS_PASSED);
    }

    // Takes the records logged since the last call.
    std::vector<kb::bench::LogRecord> takeLog() {
        const std::uint8_t in[4] = {1, 0, 0, 0};
        DWORD got = 0;
        if (!control(KBS_SIM_READ_LOG, in, sizeof in, log_.data(), static_cast<DWORD>(log_.size()), &got))
            setupFail(lastError("reading the output log failed"));
        auto records = kb::bench::parseLogAnswer({log_.data(), got});
        if (!records) setupFail("the output log answer is malformed");
        return std::move(*records);
    }

    [[nodiscard]] bool keyboardTableInstalled() {
        const std::uint8_t in[4] = {KBS_DEV_KEYBOARD, 0, 0, 0};
        std::vector<std::uint8_t> out(4 + KBS_MAX_RECORDS * KBS_RECORD_SIZE);
        DWORD got = 0;
        if (!control(KBS_SIM_READ_TABLE, in, sizeof in, out.data(), static_cast<DWORD>(out.size()), &got) || got < 4)
            return false;
        return (out[0] | out[1] | out[2] | out[3]) != 0;
    }

private:
    UniqueHandle dev_;
    std::vector<std::uint8_t> log_;
};

// --- the window the text keys type into --------------------------------------

struct TypedChars {
    std::int64_t first = 0;  // when the first WM_IME_CHAR or WM_CHAR of a press came
    int imeChars = 0;
};

TypedChars g_typed;
WNDPROC g_editProc = nullptr;

LRESULT CALLBACK editHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IME_CHAR || message == WM_CHAR) {
        if (g_typed.first == 0) g_typed.first = now();
        if (message == WM_IME_CHAR) ++g_typed.imeChars;
    }
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

class TypeTarget {
public:
    TypeTarget() {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = frameProc;
        wc.hInstance = instance;
        wc.lpszClassName = L"KbHeartBenchTarget";
        RegisterClassW(&wc);
        frame_ = CreateWindowExW(0, wc.lpszClassName, L"heart bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 320,
                                 160, nullptr, nullptr, instance, nullptr);
        if (!frame_) setupFail(lastError("cannot create the bench window"));
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 300, 120, frame_, nullptr,
                                instance, nullptr);
        if (!edit_) setupFail(lastError("cannot create the edit control"));
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&editHook)));
        SetForegroundWindow(frame_);
        SetFocus(edit_);
        pump(200);
        if (GetForegroundWindow() != frame_) setupFail("the bench window did not become the foreground window");
    }
    ~TypeTarget() {
        if (frame_) DestroyWindow(frame_);
    }
    TypeTarget(const TypeTarget&) = delete;
    TypeTarget& operator=(const TypeTarget&) = delete;

    void clear() { SetWindowTextW(edit_, L""); }

    // Answers messages (the typing is sent to us) for up to `ms`, or until a
    // typed character has been seen when `untilTyped`.
    static void pump(double ms, bool untilTyped = false) {
        const std::int64_t start = now();
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (untilTyped && g_typed.first != 0) return;
            const double left = ms - msSince(start, now());
            if (left <= 0) return;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
        }
    }

private:
    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
};

// --- measurements -------------------------------------------------------------

constexpr double kRecordTimeoutMs = 2000;

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void report(const char* label, const std::vector<double>& samples) {
    printLine(std::string(label) + ": " + kb::bench::formatSummary(kb::bench::summarize(samples)));
}

void measureFloor(Driver& driver) {
    std::vector<double> trips;
    std::uint8_t out[6];
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t t0 = now();
        DWORD got = 0;
        if (!driver.control(KBS_SIM_READ_STATUS, nullptr, 0, out, sizeof out, &got))
            setupFail(lastError("the status request failed"));
        trips.push_back(msSince(t0, now()));
    }
    report("floor  DeviceIoControl round trip (status request)", trips);
}

// What the host's waits really last here: a 64-handle wait with the 15 ms
// time-out, the playback thread's 50 ms idle sleep and its 15 ms slice.
void measureWaitQuanta() {
    std::vector<UniqueHandle> owned;
    std::vector<HANDLE> events;
    for (int i = 0; i < 64; ++i) {
        owned.emplace_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!owned.back()) setupFail(lastError("cannot create an event"));
        events.push_back(owned.back().get());
    }
    std::vector<double> group, idle, slice;
    for (int i = 0; i < 100; ++i) {
        const std::int64_t t0 = now();
        (void)WaitForMultipleObjects(64, events.data(), FALSE, 15);
        group.push_back(msSince(t0, now()));
    }
    for (int i = 0; i < 40; ++i) {
        const std::int64_t t0 = now();
        Sleep(50);
        idle.push_back(msSince(t0, now()));
    }
    for (int i = 0; i < 100; ++i) {
        const std::int64_t t0 = now();
        Sleep(15);
        slice.push_back(msSince(t0, now()));
    }
    report("quanta one 64-event group wait, 15 ms time-out", group);
    report("quanta playback idle poll, Sleep(50)", idle);
    report("quanta playback slice, Sleep(15)", slice);
}

struct Series {
    std::vector<double> latency;
    std::vector<double> keyCall;  // how long the simulated press itself took
    int missed = 0;
    int extra = 0;
};

// Presses `key` `presses` times. Each press waits for its result (or a
// time-out), then the key is released and left alone for a random 60-160 ms,
// so the heart has taken the release before the next press and the presses
// fall at random points of its wait cycles.
Series pressSeries(Driver& driver, const BenchKey& key, int presses, std::mt19937& random) {
    const std::uint16_t stepScan = kb::driverScanCode(kb::bench::kMacroStepCode);
    const std::uint16_t stepFlags = kb::driverKeyFlags(kb::bench::kMacroStepCode, kb::bench::kMacroStepDirection);
    std::uniform_int_distribution<int> gap(60, 160);
    Series s;
    (void)driver.takeLog();
    for (int i = 0; i < presses; ++i) {
        TypeTarget::pump(gap(random));
        if (key.role == KeyRole::Text) {
            // Whatever arrived late belongs to an earlier press.
            const int late = g_typed.imeChars;
            s.extra += late;
            g_typed = {};
        } else {
            for (const auto& r : driver.takeLog()) {
                if (r.origin == KBS_ORIGIN_INJECTED) ++s.extra;
            }
        }

        const std::int64_t t0 = now();
        const std::uint32_t outcome = driver.key(key.code, false);
        s.keyCall.push_back(msSince(t0, now()));
        if (outcome != KBS_SIGNALLED) setupFail(std::string("key ") + key.name + " is not assigned in the installed table");

        bool seen = false;
        if (key.role == KeyRole::Text) {
            TypeTarget::pump(kRecordTimeoutMs, true);
            if (g_typed.first != 0) {
                s.latency.push_back(msSince(t0, g_typed.first));
                seen = true;
                // The one character of the text; anything more is extra.
                TypeTarget::pump(0);
                if (g_typed.imeChars > 1) s.extra += g_typed.imeChars - 1;
                g_typed.imeChars = 0;
            }
        } else {
            while (!seen && msSince(t0, now()) < kRecordTimeoutMs) {
                const auto records = driver.takeLog();
                const std::int64_t t = now();
                std::size_t found = kb::bench::countInjectedKey(records, stepScan, stepFlags);
                std::size_t injected = 0;
                for (const auto& r : records) injected += r.origin == KBS_ORIGIN_INJECTED;
                if (found > 0) {
                    s.latency.push_back(msSince(t0, t));
                    seen = true;
                }
                s.extra += static_cast<int>(injected - (found > 0 ? 1 : 0));
                if (!seen) Sleep(1);
            }
        }
        if (!seen) ++s.missed;
        (void)driver.key(key.code, true);
    }
    TypeTarget::pump(200);
    if (key.role == KeyRole::Text) {
        s.extra += g_typed.imeChars;
        g_typed = {};
    } else {
        for (const auto& r : driver.takeLog()) s.extra += r.origin == KBS_ORIGIN_INJECTED;
    }
    return s;
}

int latency(int presses) {
    Driver driver;
    const std::int64_t deadline = now() + static_cast<std::int64_t>(20000 * g_ticksPerMs);
    while (!driver.keyboardTableInstalled()) {
        if (now() > deadline) setupFail("no keyboard table is installed; is kbhost running with the bench profile?");
        Sleep(50);
    }
    printLine("design keyboard event thread: 174 events waited on in groups of 64/64/46, 15 ms time-out each "
              "(a press may wait up to ~30 ms while the other groups are polled)");
    printLine("design playback thread: idle poll 50 ms, delays in 15 ms slices; keypad thread: no time-out");
    measureFloor(driver);
    measureWaitQuanta();

    // Sleep(1) between log polls means 1 ms, as it does under Wine.
    timeBeginPeriod(1);
    TypeTarget target;
    std::mt19937 random(7);
    bool clean = true;
    for (const BenchKey& key : kb::bench::benchKeys()) {
        target.clear();
        const Series s = pressSeries(driver, key, presses, random);
        char label[200];
        std::snprintf(label, sizeof label, "%s key %s (press event %d, group %d; release event %d, group %d)",
                      key.role == KeyRole::Macro ? "macro  press to output-log record," :
                                                   "text   press to first character,",
                      key.name, key.pressEvent, key.pressGroup, key.releaseEvent,
                      key.releaseEvent / kb::bench::kEventGroupSize);
        report(label, s.latency);
        report("       the simulated press call itself", s.keyCall);
        if (s.missed || s.extra) {
            printLine("       FAULT: " + std::to_string(s.missed) + " presses without a result within 2 s, " +
                      std::to_string(s.extra) + " unexpected results");
            clean = false;
        }
    }
    timeEndPeriod(1);
    return clean ? 0 : 1;
}

// --- idle cost -----------------------------------------------------------------

DWORD findHost() {
    UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) setupFail(lastError("cannot list processes"));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    int count = 0;
    for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"kbhost.exe") == 0) {
            found = entry.th32ProcessID;
            ++count;
        }
    }
    if (count == 0) setupFail("kbhost.exe is not running");
    if (count > 1) setupFail("more than one kbhost.exe is running");
    return found;
}

std::uint64_t ticks100ns(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

int idle(int seconds) {
    const DWORD pid = findHost();
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
    if (!process) setupFail(lastError("cannot open kbhost.exe"));
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel0, &user0))
        setupFail(lastError("cannot read kbhost's times"));
    const std::int64_t t0 = now();
    // Wakes early only if the host ends.
    if (WaitForSingleObject(process.get(), static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0)
        setupFail("kbhost.exe ended during the idle measurement");
    const double wallMs = msSince(t0, now());
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel1, &user1))
        setupFail(lastError("cannot read kbhost's times"));
    const double userMs = static_cast<double>(ticks100ns(user1) - ticks100ns(user0)) / 1e4;
    const double kernelMs = static_cast<double>(ticks100ns(kernel1) - ticks100ns(kernel0)) / 1e4;
    char line[300];
    if (ticks100ns(user0) == 0 && ticks100ns(kernel0) == 0 && ticks100ns(user1) == 0 && ticks100ns(kernel1) == 0) {
        // A running program has used some time; all zero means the system does
        // not report it for other processes (Wine), not that the host is free.
        std::snprintf(line, sizeof line,
                      "idle   kbhost CPU over %.1f s: not reported by the system (user and kernel time read as zero "
                      "before and after)",
                      wallMs / 1000);
    } else {
        std::snprintf(line, sizeof line,
                      "idle   kbhost CPU over %.1f s with no key pressed: user %.1f ms, kernel %.1f ms, total %.1f ms "
                      "(%.3f %% of one core)%s",
                      wallMs / 1000, userMs, kernelMs, userMs + kernelMs, 100 * (userMs + kernelMs) / wallMs,
                      // Wine's figures for another process can stay flat while its
                      // threads run; a zero here is no proof of a free host.
                      userMs + kernelMs == 0 ? "; no time reported, compare a view from outside the system" : "");
    }
    printLine(line);
    return 0;
}

int writeProfile(const wchar_t* path) {
    const std::string json = kb::bench::benchProfileJson();
    UniqueHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) setupFail(lastError("cannot create the profile file"));
    DWORD written = 0;
    if (!WriteFile(file.get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr) ||
        written != json.size())
        setupFail(lastError("cannot write the profile file"));
    return 0;
}

int number(const wchar_t* text, int low, int high) {
    wchar_t* end = nullptr;
    const long v = std::wcstol(text, &end, 10);
    if (end == text || *end != 0 || v < low || v > high) setupFail("not a number in range");
    return static_cast<int>(v);
}

int usage() {
    std::fputs("usage: heart_bench profile OUT.json | latency [--presses N] | idle [--seconds S]\n", stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        g_ticksPerMs = static_cast<double>(f.QuadPart) / 1000.0;
        if (argc < 2) return usage();
        const std::wstring command = argv[1];
        if (command == L"profile" && argc == 3) return writeProfile(argv[2]);
        if (command == L"latency" && (argc == 2 || (argc == 4 && std::wstring(argv[2]) == L"--presses")))
            return latency(argc == 4 ? number(argv[3], 1, 100000) : 200);
        if (command == L"idle" && (argc == 2 || (argc == 4 && std::wstring(argv[2]) == L"--seconds")))
            return idle(argc == 4 ? number(argv[3], 1, 3600) : 60);
        return usage();
    } catch (const SetupError& e) {
        std::fprintf(stderr, "heart_bench: %s\n", e.message.c_str());
        return 2;
    } catch (...) {
        std::fputs("heart_bench: unexpected failure\n", stderr);
        return 2;
    }
}
