// The driver's key tables computed from the active copy, the apply procedure
// that makes the working profile active, and the sends and withdrawals.
#pragma once

#include "control_device.h"
#include "engine.h"

#include <cstdint>
#include <span>

namespace kb {

// Key record field offsets.
struct KeyRecordField {
    static constexpr std::size_t kHandler = KB_REC_HANDLER, kAction = KB_REC_ACTION, kScanCode = KB_REC_SCAN,
                                 kFlags = KB_REC_FLAGS, kTargetScanCode = KB_REC_TARGET_SCAN,
                                 kTargetFlags = KB_REC_TARGET_FLAGS, kEvent = KB_REC_EVENT;
};
inline constexpr std::uint8_t kActionPass = KB_ACTION_PASS, kActionReplace = KB_ACTION_REPLACE,
                              kActionSwallow = KB_ACTION_SWALLOW;

// Writes one record in place from the key and its entry. Fields the entry's
// type does not set keep their previous value.
void buildKeyRecord(std::span<std::uint8_t, kKeyRecordSize> record, WinMakeCode key, const KeyEntry& entry,
                    std::uint16_t base, std::int64_t event, bool blockedByDefault) noexcept;

// Rebuild a whole table in place from a record (press records first).
void buildKeyboardTable(std::span<std::uint8_t, kKeyboardTableSize> table, const ProfileRecord& record,
                        std::span<const std::int64_t, kKeyboardRecords> events) noexcept;
void buildKeypadTable(std::span<std::uint8_t, kKeypadTableSize> table, const ProfileRecord& record,
                      std::span<const std::int64_t, kKeypadRecords> events) noexcept;

// Each does nothing when the device cannot be opened. Sends build their
// table from the active copy under the engine lock and clear that device's
// latches. True when the table went out (for the keypad: to either model).
bool sendKeyboardTable(Engine& engine, ControlDevice& device);
bool sendKeypadTables(Engine& engine, ControlDevice& device);
// A table as given: the keyboard's, or the keypad's to both keypad models.
// Nothing else (the latches are the caller's). True as the sends above.
bool installKeyboardTable(ControlDevice& device, std::span<const std::uint8_t> table);
bool installKeypadTables(ControlDevice& device, std::span<const std::uint8_t> table);
void withdrawKeyboardTable(ControlDevice& device);
void withdrawKeypadTables(ControlDevice& device);

// Makes the working profile active: a new active copy, text pool and play
// table. False when memory runs out or there is no working record, in which
// case no active copy remains and the driver keeps its previous tables.
[[nodiscard]] bool makeActiveCopy(ProfileModel& model, Engine& engine);
// makeActiveCopy, then both tables are sent.
[[nodiscard]] bool applyProfile(ProfileModel& model, Engine& engine, ControlDevice& device);

}  // namespace kb
