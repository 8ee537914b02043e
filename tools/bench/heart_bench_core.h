// The portable half of the heart benchmark: which keys it presses, the profile
// it needs, reading the driver's output log answer, and summing up timings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kb::bench {

// Macro: plays the one-step macro; Text: types kTypedText; Long: plays the
// 100-step macro; Hold: plays the macro that holds a key; Stop: stops playback.
enum class KeyRole { Macro, Text, Long, Hold, Stop };

// A keyboard key the benchmark presses, with where its press and release
// events sit in the event array the keyboard thread waits on.
struct BenchKey {
    const char* name;
    std::uint16_t code;  // win make code
    KeyRole role;
    int pressEvent;      // index in the 174 keyboard events
    int releaseEvent;
    int pressGroup;      // which 64-handle wait holds the press event
    int slot;            // profile slot of the key
};

inline constexpr int kEventGroupSize = 64;

// The step the macro keys play and the text the text keys type.
inline constexpr std::uint16_t kMacroStepCode = 0x030;  // B
inline constexpr std::uint16_t kMacroStepDirection = 1;   // a release: nothing stays down
inline constexpr std::uint16_t kMacroId = 1;
inline constexpr char16_t kTypedText[] = u"x";

// The long macro: kLongSteps steps of kLongDelayMs each, alternately pressing
// and releasing kLongCode (so nothing stays down).
inline constexpr std::uint16_t kLongMacroId = 2;
inline constexpr std::uint16_t kLongCode = 0x031;  // N
inline constexpr int kLongSteps = 100;
inline constexpr std::uint32_t kLongDelayMs = 10;

// The held macro: presses kHoldCode at once and releases it after kHoldDelayMs,
// unless a stop comes first (the release then comes from the stop).
inline constexpr std::uint16_t kHoldMacroId = 3;
inline constexpr std::uint16_t kHoldCode = 0x02D;  // X
inline constexpr std::uint32_t kHoldDelayMs = 10000;

// The keyboard's macro key 1 (slot 256 in bank 0) plays kMacroId.
inline constexpr int kHidMacroSlot = 256;
inline constexpr std::uint16_t kHidMacroKeyReport = 0x1302;

// Keys in event groups 0 and 1, one macro key and one text key in each, then
// the long, hold and stop keys.
[[nodiscard]] std::vector<BenchKey> benchKeys();

// The profile (px3tool's JSON form) that assigns benchKeys().
[[nodiscard]] std::string benchProfileJson();

struct LogRecord {
    std::uint8_t origin = 0;  // 0 physical, 1 injected
    std::uint8_t kind = 0;    // 0 key, 1 mouse
    std::uint16_t scan = 0;
    std::uint16_t flags = 0;
};

// Parses a KBS_SIM_READ_LOG answer of `size` bytes; nothing when it is short
// or its count does not fit.
[[nodiscard]] std::optional<std::vector<LogRecord>> parseLogAnswer(std::span<const std::uint8_t> answer);

// Injected key records in `records` with this driver scan code and flags.
[[nodiscard]] std::size_t countInjectedKey(std::span<const LogRecord> records, std::uint16_t scan,
                                           std::uint16_t flags) noexcept;

struct Summary {
    std::size_t count = 0;
    double min = 0, median = 0, p95 = 0, p99 = 0, worst = 0, mean = 0;
};

// Median of the middle two for an even count; p95 and p99 by nearest rank.
[[nodiscard]] Summary summarize(std::vector<double> samples);

// "n=200 min 1.20 median 3.40 p95 9.00 p99 11.00 worst 12.30 mean 4.00 ms"
[[nodiscard]] std::string formatSummary(const Summary& s);

}  // namespace kb::bench
