// What the heart bench's commands share: set-up failures, the clock, the
// stand-in driver, the window the text keys type into and the bench keys.
#pragma once

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
#include <span>

namespace heart_bench {

using kb::bench::BenchKey;
using kb::bench::KeyRole;
using kb::bench::Summary;
using kbwin::UniqueHandle;

struct SetupError {
    std::string message;
};

[[noreturn]] void setupFail(const std::string& message);
std::string lastError(const char* what);

// --- clock ----------------------------------------------------------------

extern double g_ticksPerMs;
std::int64_t now();
double msSince(std::int64_t start, std::int64_t end);

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
extern TypedChars g_typed;

class TypeTarget {
public:
    TypeTarget();
    ~TypeTarget();
    TypeTarget(const TypeTarget&) = delete;
    TypeTarget& operator=(const TypeTarget&) = delete;

    void clear() { SetWindowTextW(edit_, L""); }

    // Answers messages (the typing is sent to us) for up to `ms`, or until a
    // typed character has been seen when `untilTyped`.
    static void pump(double ms, bool untilTyped = false);

private:
    HWND frame_ = nullptr;
    HWND edit_ = nullptr;
};

// --- measuring ------------------------------------------------------------------

inline constexpr double kRecordTimeoutMs = 2000;

// Between two reads of the output log: none for the first 20 ms after a
// press, so a result is seen within one log read (about 0.15 ms here); then
// a millisecond, so a lost result does not keep the driver busy for 2 s.
void pollPause(double msSincePress);
void printLine(const std::string& line);
void report(const std::string& label, const std::vector<double>& samples);
std::function<void()> keyPress(Driver& driver, const BenchKey& key);
std::function<void()> keyRelease(Driver& driver, const BenchKey& key);
const BenchKey& keyWithRole(KeyRole role);
void waitForKeyboardTable(Driver& driver);

// --- the commands (exit status as the program's) --------------------------------

int floorProbe(int presses);
int latency(int presses);
int idle(int seconds, const std::wstring& program);
int growth(int presses, const std::wstring& program);
int stacks(const std::wstring& program);
// The layers (the program must run with layersProfileJson's profile).
int layers(int presses);
std::string layersProfileJson();

}  // namespace heart_bench
