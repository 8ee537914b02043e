// The heart bench's key latencies: the floor (a probe on the key's own event),
// macro, text and HID macro key presses, the long macro and the stop key.
#include "heart_bench_rig.h"

namespace heart_bench {

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

}  // namespace heart_bench
