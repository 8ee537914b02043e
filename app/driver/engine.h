// The engine lock and what it guards: the active copy of the profile that the
// driver tables and the worker threads read, the driver tables themselves,
// the per-key event handles and the key latches. Where the profile lock is
// needed as well, it is taken first.
#pragma once

#include "contracts/kinsetc_device.h"
#include "profile_model.h"
#include "profile_record.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kb {

inline constexpr std::size_t kKeyRecordSize = KB_KEY_RECORD_SIZE;
inline constexpr int kKeyboardRecords = 2 * kKeyboardKeyCount;  // 174
inline constexpr int kKeypadRecords = 2 * kKeypadKeyCount;      // 46
static_assert(kKeyboardRecords == KB_KEYBOARD_RECORDS && kKeypadRecords == KB_KEYPAD_RECORDS);
inline constexpr std::size_t kKeyboardTableSize = kKeyboardRecords * kKeyRecordSize;
inline constexpr std::size_t kKeypadTableSize = kKeypadRecords * kKeyRecordSize;

// Made at each apply; replaced whole.
struct ActiveCopy {
    ProfileRecord record;
    std::vector<std::uint8_t> pool;
    MacroTable playTable;
};

class Engine {
public:
    [[nodiscard]] ModelLock& lock() noexcept { return lock_; }

    // All below only with lock() held, except the latches (written by their
    // event thread and by the table build).
    std::unique_ptr<ActiveCopy> active;  // null: keys carry out nothing
    std::array<std::uint8_t, kKeyboardTableSize> keyboardTable{};
    std::array<std::uint8_t, kKeypadTableSize> keypadTable{};
    // Per-key event handles as the driver records carry them, press events first.
    std::array<std::int64_t, kKeyboardRecords> keyboardEvents{};
    std::array<std::int64_t, kKeypadRecords> keypadEvents{};
    std::array<std::atomic<std::uint32_t>, kKeyboardKeyCount> keyboardLatches{};
    std::array<std::atomic<std::uint32_t>, kKeypadKeyCount> keypadLatches{};

private:
    ModelLock lock_;
};

}  // namespace kb
