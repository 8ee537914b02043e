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
    std::string out;
    auto block = [&out](const char* name, const std::uint8_t* records, int count) {
        out.append(name).append(" ").append(std::to_string(count)).append("\n");
        for (int i = 0; i < count; ++i) out.append(hexBytes(records + i * kKeyRecordSize, kKeyRecordSize)).append("\n");
    };
    block("keyboard", keyboard.data(), kKeyboardRecords);
    block("keypad", keypad.data(), kKeypadRecords);
    return out;
}

}  // namespace kb::px3
