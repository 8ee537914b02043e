// heart_bench: how fast the running heart (kbhost) answers the simulated keyboard,
// and what it costs while idle. Talks to the stand-in driver directly.
//   heart_bench profile OUT.json         the profile the measurements need (px3tool JSON)
//   heart_bench floor [--presses N]      with no program running: a probe waiting on the key's
//                                        named event injects one record when it is signalled
//   heart_bench latency [--presses N]    macro, text and HID macro key latency, the long macro,
//                                        the stop key (the program must be running)
//   heart_bench idle [--seconds S] [--program NAME.exe]
//                                        CPU time and private bytes of the running program
// Exit status: 0 measured, 1 a measurement went wrong (missed or extra records), 2 usage or setup.
#include <windows.h>
#include <mmsystem.h>
#include <tlhelp32.h>

#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"
#include "heart_bench_core.h"
#include "kbsim/sieve_ioctl.h"
#include "key_catalogue.h"
#include "key_events.h"
#include "key_tables.h"
#include "profile_record.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
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

    void queueReport(std::uint16_t code) {
        const std::uint8_t report[2] = {static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(code >> 8)};
        if (!control(KBS_SIM_QUEUE_REPORT, report, sizeof report, nullptr, 0, nullptr))
            setupFail(lastError("queueing the macro-key report failed"));
    }

    // What a program's injection of one key record sends.
    [[nodiscard]] bool injectKey(std::uint16_t code, std::uint16_t direction) {
        const std::uint16_t scan = kb::driverScanCode(code);
        const std::uint16_t flags = kb::driverKeyFlags(code, direction);
        std::uint8_t record[KBS_INJECT_SIZE] = {static_cast<std::uint8_t>(scan), static_cast<std::uint8_t>(scan >> 8),
                                                static_cast<std::uint8_t>(flags), static_cast<std::uint8_t>(flags >> 8)};
        return control(KBS_IOCTL_INJECT, record, sizeof record, nullptr, 0, nullptr);
    }

    // Installs a keyboard table on this handle; it lasts until the handle closes.
    void installKeyboardTable(std::span<const std::uint8_t> table) {
        const std::uint8_t selector[KBS_SELECTOR_SIZE] = {2, 0, 0, 0, 0xD9, 0x04, 0, 0, 0x19, 0x28, 0, 0, 0, 0, 0, 0};
        if (!control(KBS_IOCTL_SELECT, selector, sizeof selector, nullptr, 0, nullptr) ||
            !control(KBS_IOCTL_TABLE, table.data(), static_cast<DWORD>(table.size()), nullptr, 0, nullptr))
            setupFail(lastError("installing the probe's table failed"));
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

// Between two reads of the output log: none for the first 20 ms after a
// press, so a result is seen within one log read (about 0.15 ms here); then
// a millisecond, so a lost result does not keep the driver busy for 2 s.
void pollPause(double msSincePress) {
    if (msSincePress < 20) {
        SwitchToThread();
    } else {
        Sleep(1);
    }
}

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void report(const std::string& label, const std::vector<double>& samples) {
    printLine(label + ": " + kb::bench::formatSummary(kb::bench::summarize(samples)));
}

struct Series {
    std::vector<double> latency;
    std::vector<double> keyCall;  // how long the simulated press itself took
    int missed = 0;
    int extra = 0;
};

// What a press is waited for: the first typed character, or an injected key
// record with this code and direction.
struct Expect {
    bool text = false;
    std::uint16_t code = kb::bench::kMacroStepCode;
    std::uint16_t direction = kb::bench::kMacroStepDirection;
};

// Presses `presses` times. Each press waits for its result (or a time-out),
// then is released and left alone for a random 60-160 ms, so the heart has
// taken the release before the next press and the presses fall at random
// points. Results are seen by reading the driver's log (see pollPause), the
// same way for every series, the floor included.
Series pressSeries(Driver& driver, const std::function<void()>& press, const std::function<void()>& release,
                   const Expect& expect, int presses, std::mt19937& random) {
    const std::uint16_t stepScan = kb::driverScanCode(expect.code);
    const std::uint16_t stepFlags = kb::driverKeyFlags(expect.code, expect.direction);
    std::uniform_int_distribution<int> gap(60, 160);
    Series s;
    (void)driver.takeLog();
    for (int i = 0; i < presses; ++i) {
        TypeTarget::pump(gap(random));
        if (expect.text) {
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
        press();
        s.keyCall.push_back(msSince(t0, now()));

        bool seen = false;
        if (expect.text) {
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
                if (!seen) pollPause(msSince(t0, now()));
            }
        }
        if (!seen) ++s.missed;
        release();
    }
    TypeTarget::pump(200);
    if (expect.text) {
        s.extra += g_typed.imeChars;
        g_typed = {};
    } else {
        for (const auto& r : driver.takeLog()) s.extra += r.origin == KBS_ORIGIN_INJECTED;
    }
    return s;
}

std::function<void()> keyPress(Driver& driver, const BenchKey& key) {
    return [&driver, &key] {
        if (driver.key(key.code, false) != KBS_SIGNALLED)
            setupFail(std::string("key ") + key.name + " is not assigned in the installed table");
    };
}

std::function<void()> keyRelease(Driver& driver, const BenchKey& key) {
    return [&driver, &key] { (void)driver.key(key.code, true); };
}

bool reportSeries(const std::string& label, const Series& s) {
    report(label, s.latency);
    report("       the simulated press call itself", s.keyCall);
    if (s.missed || s.extra) {
        printLine("       FAULT: " + std::to_string(s.missed) + " presses without a result within 2 s, " +
                  std::to_string(s.extra) + " unexpected results");
        return false;
    }
    return true;
}

const BenchKey& keyWithRole(KeyRole role) {
    static const std::vector<BenchKey> keys = kb::bench::benchKeys();
    for (const BenchKey& k : keys) {
        if (k.role == role) return k;
    }
    setupFail("no bench key for a role");
}

void waitForKeyboardTable(Driver& driver) {
    const std::int64_t deadline = now() + static_cast<std::int64_t>(20000 * g_ticksPerMs);
    while (!driver.keyboardTableInstalled()) {
        if (now() > deadline) setupFail("no keyboard table is installed; is the program running with the bench profile?");
        Sleep(50);
    }
}

// The floor: what any program must pay between a key press and its first
// injected record. A probe thread waits on the key's named press event (the
// name the program uses, with the program not running) and injects the
// macro's step the moment it is signalled: press request + wake + inject request.
int floorProbe(int presses) {
    Driver driver;
    if (driver.keyboardTableInstalled()) setupFail("a keyboard table is installed; stop the program before the floor");
    const BenchKey& key = keyWithRole(KeyRole::Macro);
    const std::u16string name = kb::keyboardEventName(key.pressEvent + 1);
    UniqueHandle pressEvent(CreateEventW(nullptr, FALSE, FALSE, kbtext::asWide(name)));
    if (!pressEvent || GetLastError() == ERROR_ALREADY_EXISTS)
        setupFail("cannot create the key's press event for the probe alone; is a program running?");
    UniqueHandle releaseEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    UniqueHandle quit(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!releaseEvent || !quit) setupFail(lastError("cannot create the probe's events"));

    kb::ProfileRecord record;
    record.setEntry(key.slot, {static_cast<std::uint16_t>(kb::FunctionType::TypeText), 0, 0});
    std::array<std::int64_t, kb::kKeyboardRecords> events{};
    events[static_cast<std::size_t>(key.pressEvent)] = reinterpret_cast<std::intptr_t>(pressEvent.get());
    events[static_cast<std::size_t>(key.releaseEvent)] = reinterpret_cast<std::intptr_t>(releaseEvent.get());
    std::array<std::uint8_t, kb::kKeyboardTableSize> table{};
    kb::buildKeyboardTable(table, record, events);
    driver.installKeyboardTable(table);

    std::atomic<int> injectFailures{0};
    std::thread probe([&] {
        Driver own;  // the program injects on its own handle too
        const HANDLE waits[2] = {pressEvent.get(), quit.get()};
        while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
            if (!own.injectKey(kb::bench::kMacroStepCode, kb::bench::kMacroStepDirection)) ++injectFailures;
        }
    });
    timeBeginPeriod(1);
    TypeTarget target;
    std::mt19937 random(11);
    const Series s = pressSeries(driver, keyPress(driver, key), keyRelease(driver, key), Expect{}, presses, random);
    timeEndPeriod(1);
    SetEvent(quit.get());
    probe.join();
    char label[200];
    std::snprintf(label, sizeof label,
                  "floor  probe on the named press event of %s, press to injected record (press + wake + inject)",
                  key.name);
    const bool clean = reportSeries(label, s) && injectFailures.load() == 0;
    if (injectFailures.load() != 0) printLine("       FAULT: the probe's injection failed");
    // What one more thread on the path costs: an event set here, the time a
    // thread waiting on it takes to run.
    {
        UniqueHandle go(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        UniqueHandle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!go || !done) setupFail(lastError("cannot create the wake events"));
        std::atomic<std::int64_t> woke{0};
        std::atomic<bool> stopWaker{false};
        std::thread waker([&] {
            while (WaitForSingleObject(go.get(), INFINITE) == WAIT_OBJECT_0 && !stopWaker.load()) {
                woke = now();
                SetEvent(done.get());
            }
        });
        std::vector<double> wakes;
        std::uniform_int_distribution<int> gap(5, 25);
        for (int i = 0; i < presses; ++i) {
            Sleep(static_cast<DWORD>(gap(random)));
            const std::int64_t t0 = now();
            SetEvent(go.get());
            if (WaitForSingleObject(done.get(), 2000) != WAIT_OBJECT_0) setupFail("the waiting thread did not wake");
            wakes.push_back(msSince(t0, woke.load()));
        }
        stopWaker = true;
        SetEvent(go.get());
        waker.join();
        report("floor  one thread waking another through an event (each extra hop on a path)", wakes);
    }
    // The text action types from a thread of its own, started and waited for
    // on every press: its start and end are on the text key's path.
    {
        std::vector<double> starts;
        for (int i = 0; i < presses; ++i) {
            const std::int64_t t0 = now();
            UniqueHandle t(CreateThread(nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, nullptr));
            if (!t || WaitForSingleObject(t.get(), 2000) != WAIT_OBJECT_0) setupFail("the probe thread did not run");
            starts.push_back(msSince(t0, now()));
        }
        report("floor  starting a thread and waiting for its end (the text action's typing thread)", starts);
    }
    std::vector<double> trips;
    std::uint8_t out[6];
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t t0 = now();
        DWORD got = 0;
        if (!driver.control(KBS_SIM_READ_STATUS, nullptr, 0, out, sizeof out, &got))
            setupFail(lastError("the status request failed"));
        trips.push_back(msSince(t0, now()));
    }
    report("floor  one DeviceIoControl round trip (status request)", trips);
    return clean ? 0 : 1;
}

// The long macro, `runs` times: from the key press to each of its 100 records.
bool longMacro(Driver& driver, int runs) {
    const BenchKey& key = keyWithRole(KeyRole::Long);
    const std::uint16_t scan = kb::driverScanCode(kb::bench::kLongCode);
    std::vector<double> toLast, firstToLast;
    int faults = 0;
    for (int run = 0; run < runs; ++run) {
        TypeTarget::pump(200);
        (void)driver.takeLog();
        const std::int64_t t0 = now();
        keyPress(driver, key)();
        keyRelease(driver, key)();
        int seen = 0;
        double first = 0, last = 0;
        while (seen < kb::bench::kLongSteps && msSince(t0, now()) < 5000) {
            const auto records = driver.takeLog();
            const double t = msSince(t0, now());
            for (const auto& r : records) {
                if (r.origin != KBS_ORIGIN_INJECTED || r.scan != scan) continue;
                if (seen == 0) first = t;
                ++seen;
                last = t;
            }
            Sleep(1);
        }
        if (seen != kb::bench::kLongSteps) {
            ++faults;
            continue;
        }
        toLast.push_back(last);
        firstToLast.push_back(last - first);
    }
    report("long   100 steps of 10 ms, key press to last record (ideal 1000 + the press latency)", toLast);
    report("       first record to last (ideal 990)", firstToLast);
    if (faults) printLine("       FAULT: " + std::to_string(faults) + " runs without all 100 records within 5 s");
    return faults == 0;
}

// The stop key while the hold macro waits out its delay: from the stop key's
// press to the last record the stop brings (the held key's release).
bool stopKey(Driver& driver, int runs, std::mt19937& random) {
    const BenchKey& hold = keyWithRole(KeyRole::Hold);
    const BenchKey& stop = keyWithRole(KeyRole::Stop);
    const std::uint16_t scan = kb::driverScanCode(kb::bench::kHoldCode);
    const std::uint16_t down = kb::driverKeyFlags(kb::bench::kHoldCode, 0);
    const std::uint16_t up = kb::driverKeyFlags(kb::bench::kHoldCode, 1);
    std::uniform_int_distribution<int> wait(5, 40);
    std::vector<double> latency;
    int faults = 0, extra = 0;
    for (int run = 0; run < runs; ++run) {
        TypeTarget::pump(100);
        (void)driver.takeLog();
        const std::int64_t t0 = now();
        keyPress(driver, hold)();
        keyRelease(driver, hold)();
        bool pressed = false;
        while (!pressed && msSince(t0, now()) < kRecordTimeoutMs) {
            pressed = kb::bench::countInjectedKey(driver.takeLog(), scan, down) > 0;
            if (!pressed) pollPause(msSince(t0, now()));
        }
        if (!pressed) {
            ++faults;
            continue;
        }
        Sleep(static_cast<DWORD>(wait(random)));
        const std::int64_t s0 = now();
        keyPress(driver, stop)();
        bool released = false;
        double last = 0;
        // After the release, 30 ms more for anything else the stop sends.
        while (msSince(s0, now()) < kRecordTimeoutMs && (!released || msSince(s0, now()) < last + 30)) {
            const auto records = driver.takeLog();
            const double t = msSince(s0, now());
            for (const auto& r : records) {
                if (r.origin != KBS_ORIGIN_INJECTED) continue;
                last = t;
                if (r.scan == scan && r.flags == up) {
                    released = true;
                } else {
                    ++extra;
                }
            }
            pollPause(released ? 20 : msSince(s0, now()));
        }
        keyRelease(driver, stop)();
        if (!released) {
            ++faults;
            continue;
        }
        latency.push_back(last);
    }
    report("stop   stop key press to the last record of the stopped macro", latency);
    if (faults || extra)
        printLine("       FAULT: " + std::to_string(faults) + " runs without the held key's release, " +
                  std::to_string(extra) + " other records");
    return faults == 0;
}

int latency(int presses) {
    Driver driver;
    waitForKeyboardTable(driver);
    printLine("design key events: every event waited on at all times (waiting threads of 63 events each for the "
              "keyboard); playback: woken by an event, steps at absolute deadlines");

    // Sleep(1) between log polls means 1 ms, as it does under Wine.
    timeBeginPeriod(1);
    TypeTarget target;
    std::mt19937 random(7);
    bool clean = true;
    for (const BenchKey& key : kb::bench::benchKeys()) {
        if (key.role != KeyRole::Macro && key.role != KeyRole::Text) continue;
        target.clear();
        Expect expect;
        expect.text = key.role == KeyRole::Text;
        const Series s = pressSeries(driver, keyPress(driver, key), keyRelease(driver, key), expect, presses, random);
        char label[200];
        std::snprintf(label, sizeof label, "%s key %s (press event %d, group %d; release event %d, group %d)",
                      key.role == KeyRole::Macro ? "macro  press to output-log record," :
                                                   "text   press to first character,",
                      key.name, key.pressEvent, key.pressEvent / 63, key.releaseEvent, key.releaseEvent / 63);
        clean = reportSeries(label, s) && clean;
    }

    const Series hid = pressSeries(
        driver, [&] { driver.queueReport(kb::bench::kHidMacroKeyReport); },
        [&] { driver.queueReport(0); }, Expect{}, presses, random);
    clean = reportSeries("hid    macro key 1 report to output-log record", hid) && clean;

    clean = longMacro(driver, 10) && clean;
    clean = stopKey(driver, std::max(10, presses / 4), random) && clean;
    timeEndPeriod(1);
    return clean ? 0 : 1;
}

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
        // The same walk with eight more idle threads of a 1 MiB reserve each.
        UniqueHandle quit(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::vector<UniqueHandle> threads;
        for (int i = 0; i < 8 && quit; ++i) {
            threads.emplace_back(CreateThread(
                nullptr, 1 << 20, [](void* q) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(q), INFINITE); },
                quit.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        }
        Sleep(100);
        const PrivateWalk more = walkPrivate(GetCurrentProcess());
        if (quit) SetEvent(quit.get());
        for (auto& t : threads) {
            if (t) WaitForSingleObject(t.get(), 2000);
        }
        std::snprintf(line, sizeof line,
                      "memory for scale: %d threads in %ls; this bench program walked the same way %.2f MB, "
                      "%.2f MB per extra idle thread",
                      threadCount(pid), program.c_str(), static_cast<double>(own.privateBytes) / 1048576.0,
                      static_cast<double>(more.privateBytes - std::min(more.privateBytes, own.privateBytes)) / 8 /
                          1048576.0);
        printLine(line);
    }
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
    std::fputs("usage: heart_bench profile OUT.json | floor [--presses N] | latency [--presses N] | "
               "idle [--seconds S] [--program NAME.exe]\n",
               stderr);
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
        if (command == L"floor" && (argc == 2 || (argc == 4 && std::wstring(argv[2]) == L"--presses")))
            return floorProbe(argc == 4 ? number(argv[3], 1, 100000) : 200);
        if (command == L"idle") {
            int seconds = 60;
            std::wstring program = L"kbhost.exe";
            for (int i = 2; i < argc; i += 2) {
                const std::wstring option = argv[i];
                if (i + 1 >= argc) return usage();
                if (option == L"--seconds") {
                    seconds = number(argv[i + 1], 1, 3600);
                } else if (option == L"--program") {
                    program = argv[i + 1];
                } else {
                    return usage();
                }
            }
            return idle(seconds, program);
        }
        return usage();
    } catch (const SetupError& e) {
        std::fprintf(stderr, "heart_bench: %s\n", e.message.c_str());
        return 2;
    } catch (...) {
        std::fputs("heart_bench: unexpected failure\n", stderr);
        return 2;
    }
}
