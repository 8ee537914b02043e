// The profile record: 2048 eight-byte key entries behind a file header and a
// device header, kept as the exact 16448 bytes that the profile file stores.
#pragma once

#include "key_catalogue.h"
#include "macro_record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kb {

enum class FunctionType : std::uint16_t {
    Default = 0,
    None = 1,
    OtherKey = 2,
    LaunchProgram = 3,
    PlayMacro = 4,
    StopMacro = 5,
    TypeText = 6,
};
inline constexpr std::uint16_t kMaxFunctionType = 6;

[[nodiscard]] constexpr bool carriesText(std::uint16_t type) noexcept {
    return type == static_cast<std::uint16_t>(FunctionType::LaunchProgram) ||
           type == static_cast<std::uint16_t>(FunctionType::TypeText);
}

inline constexpr int kSlotCount = 2048;
inline constexpr int kSlotsPerDevice = 512;
inline constexpr int kDeviceKeyboard = 0;
inline constexpr int kDeviceKeypad = 1;
inline constexpr int kFirstMacroKeySlot = 256;
inline constexpr int kMacroKeySlotCount = 10;
inline constexpr std::size_t kMaxProgramPathChars = 259;

inline constexpr std::size_t kFileHeaderSize = 32;
inline constexpr std::size_t kDeviceHeaderSize = 32;
inline constexpr std::size_t kKeyEntrySize = 8;
inline constexpr std::size_t kEntriesOffset = kFileHeaderSize + kDeviceHeaderSize;
inline constexpr std::size_t kProfileRecordSize = kEntriesOffset + kSlotCount * kKeyEntrySize;
static_assert(kProfileRecordSize == 16448);

struct KeyEntry {
    std::uint16_t type = 0;
    std::uint16_t macroKeyCode = 0;
    std::uint32_t parameter = 0;
    friend bool operator==(const KeyEntry&, const KeyEntry&) = default;
};

// File header fields (offsets within the record).
struct FileHeader {
    static constexpr std::size_t kMagic = 0, kHeaderSize = 2, kVersion = 4, kRevision = 6,
                                 kFileSize = 8, kSlotCount = 12, kMacroCount = 14, kPoolSize = 16,
                                 kDefaultMark = 30, kChecksum = 31;
    static constexpr std::uint16_t kVersionValue = 3, kRevisionValue = 1;
};

class ProfileRecord {
public:
    ProfileRecord() noexcept { bytes_.fill(0); }

    [[nodiscard]] KeyEntry entry(int slot) const noexcept;  // zero entry for a slot out of range
    void setEntry(int slot, const KeyEntry& e) noexcept;     // ignored out of range
    void setParameter(int slot, std::uint32_t parameter) noexcept;

    // Writes the constant header fields, the file size for the counts, the
    // default mark and the checksum; reserved bytes are zeroed.
    void fillHeader(std::uint16_t macroCount, std::uint32_t poolSize, std::uint8_t defaultMark) noexcept;

    [[nodiscard]] std::uint16_t macroCount() const noexcept {
        return readU16(&bytes_[FileHeader::kMacroCount]);
    }
    [[nodiscard]] std::uint32_t poolSize() const noexcept { return readU32(&bytes_[FileHeader::kPoolSize]); }
    [[nodiscard]] std::uint32_t fileSize() const noexcept { return readU32(&bytes_[FileHeader::kFileSize]); }

    [[nodiscard]] const std::uint8_t* data() const noexcept { return bytes_.data(); }
    [[nodiscard]] std::uint8_t* data() noexcept { return bytes_.data(); }
    [[nodiscard]] static constexpr std::size_t size() noexcept { return kProfileRecordSize; }
    friend bool operator==(const ProfileRecord&, const ProfileRecord&) = default;

private:
    std::array<std::uint8_t, kProfileRecordSize> bytes_;
};

[[nodiscard]] std::uint8_t headerChecksum(const std::uint8_t* header) noexcept;

// The fixed device header of every record the program builds.
void writeDeviceHeader(ProfileRecord& record) noexcept;

[[nodiscard]] ProfileRecord buildDefaultProfile(std::uint8_t defaultMark);

[[nodiscard]] int slotOf(int device, WinMakeCode code) noexcept;
// 0x1302..0x1306 for slots 256..260, 0x2302..0x2306 for 261..265, else 0.
[[nodiscard]] std::uint16_t macroKeyCodeOfSlot(int slot) noexcept;
[[nodiscard]] constexpr bool isMacroKeySlot(int slot) noexcept {
    return slot >= kFirstMacroKeySlot && slot < kFirstMacroKeySlot + kMacroKeySlotCount;
}

// The keyboard's 87 ordinary keys and the keypad's 23 keys in the fixed order
// of the driver tables.
inline constexpr int kKeyboardKeyCount = 87;
inline constexpr int kKeypadKeyCount = 23;
inline constexpr int kKeypadFunctionKeyCount = 6;  // F4 F5 F6 F1 F2 F3 lead the keypad order
[[nodiscard]] const std::array<WinMakeCode, kKeyboardKeyCount>& keyboardKeys() noexcept;
[[nodiscard]] const std::array<WinMakeCode, kKeypadKeyCount>& keypadKeys() noexcept;
// Position in the fixed order of the key that owns the slot, or -1.
[[nodiscard]] int keyboardKeyOfSlot(int slot) noexcept;
[[nodiscard]] int keypadKeyOfSlot(int slot) noexcept;

// Texts of the launch-program and text-block slots. A slot's size is the
// text's byte size with terminator, 0 when the slot has no text.
class SlotTexts {
public:
    SlotTexts() : texts_(kSlotCount), sizes_(kSlotCount, 0) {}

    [[nodiscard]] bool has(int slot) const noexcept { return valid(slot) && sizes_[slot] != 0; }
    [[nodiscard]] const std::u16string& text(int slot) const noexcept;
    [[nodiscard]] std::uint32_t size(int slot) const noexcept { return valid(slot) ? sizes_[slot] : 0; }
    [[nodiscard]] std::uint64_t total() const noexcept { return total_; }

    // Replaces the slot's text (ignored for a slot out of range). The text ends at its first zero unit.
    void set(int slot, std::u16string_view text);
    // Takes over a text already read up to its terminator (no zero unit inside).
    void adopt(int slot, std::u16string text);
    void clear(int slot) noexcept;
    void clearAll() noexcept;

private:
    static bool valid(int slot) noexcept { return slot >= 0 && slot < kSlotCount; }
    std::vector<std::u16string> texts_;
    std::vector<std::uint32_t> sizes_;
    std::uint64_t total_ = 0;
};

}  // namespace kb
