#include "px3_text.h"

#include "key_tables.h"

namespace kb::px3 {

std::string tablesText(const ProfileContent& content) {
    ActiveCopy active;
    active.record = content.record;
    active.pool = layOutTextPool(active.record, content.texts);
    std::array<std::int64_t, kKeyboardRecords> keyboardEvents{};
    std::array<std::int64_t, kKeypadRecords> keypadEvents{};
    for (int i = 0; i < kKeyboardRecords; ++i) keyboardEvents[static_cast<std::size_t>(i)] = i + 1;
    for (int i = 0; i < kKeypadRecords; ++i) keypadEvents[static_cast<std::size_t>(i)] = i + 1;
    std::array<std::uint8_t, kKeyboardTableSize> keyboard{};
    std::array<std::uint8_t, kKeypadTableSize> keypad{};
    buildKeyboardTable(keyboard, active.record, keyboardEvents);
    buildKeypadTable(keypad, active.record, keypadEvents);
    std::string out = "keyboard " + std::to_string(kKeyboardRecords) + "\n";
    for (int i = 0; i < kKeyboardRecords; ++i) out += hexBytes(keyboard.data() + i * kKeyRecordSize, kKeyRecordSize) + "\n";
    out += "keypad " + std::to_string(kKeypadRecords) + "\n";
    for (int i = 0; i < kKeypadRecords; ++i) out += hexBytes(keypad.data() + i * kKeyRecordSize, kKeyRecordSize) + "\n";
    return out;
}

}  // namespace kb::px3
