// The heart bench's layers: a layer key's press to the new table in the
// driver, a tap/hold key's hold against its term, and a key remapped on a
// layer against one remapped on the base (both the driver's own work).
#include "heart_bench_rig.h"

namespace heart_bench {
namespace {

constexpr std::uint16_t kLayerKey = 0x03A;      // Caps: layer 1 while held
constexpr std::uint16_t kLayerRemapped = 0x01E;  // A: Left on layer 1
constexpr std::uint16_t kBaseRemapped = 0x020;   // D: Right on the base
constexpr std::uint16_t kTapHold = 0x024;        // J: taps J, holds Shift
constexpr std::uint16_t kLeft = 0x14B, kRight = 0x14D, kShift = 0x02A;
constexpr int kTermMs = 200;

// The action byte of a key's press record in the installed keyboard table.
int pressAction(Driver& driver, std::uint16_t code) {
    const std::uint8_t in[4] = {KBS_DEV_KEYBOARD, 0, 0, 0};
    static std::vector<std::uint8_t> out(4 + KBS_MAX_RECORDS * KBS_RECORD_SIZE);
    DWORD got = 0;
    if (!driver.control(KBS_SIM_READ_TABLE, in, sizeof in, out.data(), static_cast<DWORD>(out.size()), &got)) return -1;
    const std::uint16_t scan = kb::driverScanCode(code);
    const std::uint16_t flags = kb::driverKeyFlags(code, 0);
    for (std::size_t at = 4; at + KBS_RECORD_SIZE <= got; at += KBS_RECORD_SIZE) {
        const std::uint8_t* r = out.data() + at;
        if ((r[4] | (r[5] << 8)) == scan && (r[6] | (r[7] << 8)) == flags) return r[1];
    }
    return -1;
}

// The keyboard's table requests so far, and the performance counter when the
// last took effect, as the driver stamped them.
struct TableStamp {
    std::uint32_t requests = 0;
    std::int64_t at = 0;
};
TableStamp keyboardStamp(Driver& driver) {
    const std::uint32_t device = KBS_DEV_KEYBOARD;
    std::uint8_t out[KBS_TABLE_STAMP_SIZE] = {};
    DWORD got = 0;
    TableStamp s;
    if (!driver.control(KBS_SIM_TABLE_STAMP, &device, sizeof device, out, sizeof out, &got) || got != sizeof out)
        setupFail(lastError("the driver gives no table stamp"));
    std::memcpy(&s.requests, out, 4);
    std::memcpy(&s.at, out + 8, 8);
    return s;
}

// Waits until a keyboard table request after `before` has put the key's press
// action at `action`; when that request took effect, or 0. The driver's stamp
// gives the time, so this wait may sleep and keeps off the path it measures.
std::int64_t waitForTable(Driver& driver, const TableStamp& before, std::uint16_t code, int action, std::int64_t since) {
    while (msSince(since, now()) < kRecordTimeoutMs) {
        const TableStamp s = keyboardStamp(driver);
        if (s.requests != before.requests && pressAction(driver, code) == action) return s.at;
        Sleep(1);
    }
    return 0;
}

// Polls the log until a record of this origin, key and direction; when, or
// 0. Polled without pause from `expectedMs` on, as right after a press.
std::int64_t waitForRecord(Driver& driver, std::uint8_t origin, std::uint16_t code, std::uint16_t direction,
                           std::int64_t since, double expectedMs = 0) {
    const std::uint16_t scan = kb::driverScanCode(code);
    const std::uint16_t flags = kb::driverKeyFlags(code, direction);
    while (msSince(since, now()) < kRecordTimeoutMs + expectedMs) {
        for (const auto& r : driver.takeLog()) {
            if (r.origin == origin && r.kind == 0 && r.scan == scan && r.flags == flags) return now();
        }
        const double early = expectedMs - msSince(since, now());
        if (early > 2) Sleep(static_cast<DWORD>(early - 1));
        else pollPause(std::max(0.0, -early));
    }
    return 0;
}

}  // namespace

std::string layersProfileJson() {
    char json[1024];
    std::snprintf(json, sizeof json,
                  R"({"header": {"defaultMark": 0},
 "slots": [{"slot": %d, "type": 2, "macroKeyCode": 0, "parameter": %d}], "macros": [],
 "extension": {"layers": [{"slots": [{"slot": %d, "type": 2, "macroKeyCode": 0, "parameter": %d}]}],
   "keys": [{"slot": %d, "kind": "tapHold", "tap": %d, "hold": %d, "holdLayer": 0, "termMs": %d},
            {"slot": %d, "kind": "layer", "layer": 1, "mode": "momentary"}]}}
)",
                  kBaseRemapped, kRight, kLayerRemapped, kLeft, kTapHold, kTapHold, kShift, kTermMs, kLayerKey);
    return json;
}

int layers(int presses) {
    Driver driver;
    waitForKeyboardTable(driver);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gap(30, 80);
    std::vector<double> toLayer, toBase, hold, onLayer, onBase;
    int missed = 0;
    const auto pause = [&] { Sleep(static_cast<DWORD>(gap(random))); };
    for (int i = 0; i < presses; ++i) {
        pause();
        TableStamp before = keyboardStamp(driver);
        std::int64_t t0 = now();
        (void)driver.key(kLayerKey, false);
        std::int64_t t1 = waitForTable(driver, before, kLayerRemapped, KB_ACTION_REPLACE, t0);
        t1 != 0 ? toLayer.push_back(msSince(t0, t1)) : (void)++missed;

        // The driver's own work: the key call returns once the record is out.
        (void)driver.takeLog();
        t0 = now();
        (void)driver.key(kLayerRemapped, false);
        (void)driver.key(kLayerRemapped, true);
        onLayer.push_back(msSince(t0, now()) / 2);
        if (waitForRecord(driver, 0, kLeft, 1, t0) == 0) ++missed;

        before = keyboardStamp(driver);
        t0 = now();
        (void)driver.key(kLayerKey, true);
        t1 = waitForTable(driver, before, kLayerRemapped, KB_ACTION_PASS, t0);
        t1 != 0 ? toBase.push_back(msSince(t0, t1)) : (void)++missed;

        (void)driver.takeLog();
        t0 = now();
        (void)driver.key(kBaseRemapped, false);
        (void)driver.key(kBaseRemapped, true);
        onBase.push_back(msSince(t0, now()) / 2);
        if (waitForRecord(driver, 0, kRight, 1, t0) == 0) ++missed;
    }
    for (int i = 0; i < presses; ++i) {
        pause();
        (void)driver.takeLog();
        const std::int64_t t0 = now();
        (void)driver.key(kTapHold, false);
        const std::int64_t t1 = waitForRecord(driver, 1, kShift, 0, t0, kTermMs);
        t1 != 0 ? hold.push_back(msSince(t0, t1) - kTermMs) : (void)++missed;
        (void)driver.key(kTapHold, true);
        if (waitForRecord(driver, 1, kShift, 1, now()) == 0) ++missed;
    }
    report("layer key press to layer 1's keyboard table in the driver", toLayer);
    report("layer key release to the base's keyboard table in the driver", toBase);
    report("tap/hold key held: Shift injected after its 200 ms term, beyond the term", hold);
    report("key remapped on layer 1, per key event (the driver alone)", onLayer);
    report("key remapped on the base, per key event (the driver alone)", onBase);
    if (missed > 0) printLine("missed: " + std::to_string(missed));
    return missed == 0 ? 0 : 1;
}

}  // namespace heart_bench
