#include "profile_record.h"

#include <algorithm>
#include <cstring>

namespace kb {

KeyEntry ProfileRecord::entry(int slot) const noexcept {
    if (slot < 0 || slot >= kSlotCount) return {};
    const std::uint8_t* p = &bytes_[kEntriesOffset + static_cast<std::size_t>(slot) * kKeyEntrySize];
    return {readU16(p), readU16(p + 2), readU32(p + 4)};
}

void ProfileRecord::setEntry(int slot, const KeyEntry& e) noexcept {
    if (slot < 0 || slot >= kSlotCount) return;
    std::uint8_t* p = &bytes_[kEntriesOffset + static_cast<std::size_t>(slot) * kKeyEntrySize];
    writeU16(p, e.type);
    writeU16(p + 2, e.macroKeyCode);
    writeU32(p + 4, e.parameter);
}

void ProfileRecord::setParameter(int slot, std::uint32_t parameter) noexcept {
    if (slot < 0 || slot >= kSlotCount) return;
    writeU32(&bytes_[kEntriesOffset + static_cast<std::size_t>(slot) * kKeyEntrySize + 4], parameter);
}

std::uint8_t headerChecksum(const std::uint8_t* header) noexcept {
    unsigned sum = 0;
    for (std::size_t i = 0; i < FileHeader::kChecksum; ++i) sum += header[i];
    return static_cast<std::uint8_t>(sum);
}

void ProfileRecord::fillHeader(std::uint16_t macroCount, std::uint32_t poolSize,
                               std::uint8_t defaultMark) noexcept {
    std::uint8_t* h = bytes_.data();
    std::fill(h, h + kFileHeaderSize, std::uint8_t{0});
    h[0] = 'P';
    h[1] = 'X';
    writeU16(h + FileHeader::kHeaderSize, static_cast<std::uint16_t>(kFileHeaderSize));
    writeU16(h + FileHeader::kVersion, FileHeader::kVersionValue);
    writeU16(h + FileHeader::kRevision, FileHeader::kRevisionValue);
    writeU32(h + FileHeader::kFileSize,
             static_cast<std::uint32_t>(kProfileRecordSize + std::size_t{macroCount} * kMacroRecordSize) +
                 poolSize);
    writeU16(h + FileHeader::kSlotCount, static_cast<std::uint16_t>(kSlotCount));
    writeU16(h + FileHeader::kMacroCount, macroCount);
    writeU32(h + FileHeader::kPoolSize, poolSize);
    h[FileHeader::kDefaultMark] = defaultMark;
    h[FileHeader::kChecksum] = headerChecksum(h);
}

void writeDeviceHeader(ProfileRecord& record) noexcept {
    std::uint8_t* d = record.data() + kFileHeaderSize;
    std::fill(d, d + kDeviceHeaderSize, std::uint8_t{0});
    d[0] = 'K';
    d[1] = 'H';
    writeU16(d + 2, static_cast<std::uint16_t>(kDeviceHeaderSize));
    writeU32(d + 4, static_cast<std::uint32_t>(kDeviceHeaderSize + kSlotCount * kKeyEntrySize));
    writeU16(d + 8, 4);
    writeU16(d + 10, static_cast<std::uint16_t>(kSlotsPerDevice));
    writeU16(d + 16, 0x04D9);
    writeU16(d + 18, 0x2819);
    writeU16(d + 20, 0x1C4F);
    writeU16(d + 22, 0x000E);
}

ProfileRecord buildDefaultProfile(std::uint8_t defaultMark) {
    ProfileRecord r;
    r.fillHeader(0, 0, defaultMark);
    writeDeviceHeader(r);
    for (int s = kFirstMacroKeySlot; s < kFirstMacroKeySlot + kMacroKeySlotCount; ++s) {
        r.setEntry(s, {0, macroKeyCodeOfSlot(s), 0});
    }
    return r;
}

int slotOf(int device, WinMakeCode code) noexcept {
    return device * kSlotsPerDevice + catalogueIndex(code);
}

std::uint16_t macroKeyCodeOfSlot(int slot) noexcept {
    if (!isMacroKeySlot(slot)) return 0;
    const int n = slot - kFirstMacroKeySlot;
    return static_cast<std::uint16_t>(n < 5 ? 0x1302 + n : 0x2302 + (n - 5));
}

namespace {

constexpr std::array<WinMakeCode, kKeyboardKeyCount> kKeyboardKeys = {
    // A to Z
    0x01E, 0x030, 0x02E, 0x020, 0x012, 0x021, 0x022, 0x023, 0x017, 0x024, 0x025, 0x026, 0x032,
    0x031, 0x018, 0x019, 0x010, 0x013, 0x01F, 0x014, 0x016, 0x02F, 0x011, 0x02D, 0x015, 0x02C,
    // 1 to 9, 0
    0x002, 0x003, 0x004, 0x005, 0x006, 0x007, 0x008, 0x009, 0x00A, 0x00B,
    // Enter Esc Backspace Tab Space
    0x01C, 0x001, 0x00E, 0x00F, 0x039,
    // - = [ ] \ ; ' ` , . /
    0x00C, 0x00D, 0x01A, 0x01B, 0x02B, 0x027, 0x028, 0x029, 0x033, 0x034, 0x035,
    // F1 to F12
    0x03B, 0x03C, 0x03D, 0x03E, 0x03F, 0x040, 0x041, 0x042, 0x043, 0x044, 0x057, 0x058,
    // Print Screen, Pause, Insert, Delete, Home, End, Page Up, Page Down, arrows
    0x137, 0x045, 0x152, 0x153, 0x147, 0x14F, 0x149, 0x151, 0x148, 0x150, 0x14B, 0x14D,
    // Scroll Lock, Caps Lock, App, Ctrl, right Ctrl, Shift, right Shift, Alt, right Alt, Win, right Win
    0x046, 0x03A, 0x15D, 0x01D, 0x11D, 0x02A, 0x036, 0x038, 0x138, 0x15B, 0x15C,
};

constexpr std::array<WinMakeCode, kKeypadKeyCount> kKeypadKeys = {
    0x03E, 0x03F, 0x040, 0x03B, 0x03C, 0x03D,  // F4 F5 F6 F1 F2 F3
    0x04F, 0x050, 0x051, 0x04B, 0x04C, 0x04D, 0x047, 0x048, 0x049, 0x052,  // Num 1..9, 0
    0x145, 0x11C, 0x053, 0x135, 0x037, 0x04A, 0x04E,
};

template <std::size_t N>
int positionOf(const std::array<WinMakeCode, N>& keys, int slot, int device) noexcept {
    for (std::size_t i = 0; i < N; ++i) {
        if (slotOf(device, keys[i]) == slot) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

const std::array<WinMakeCode, kKeyboardKeyCount>& keyboardKeys() noexcept { return kKeyboardKeys; }
const std::array<WinMakeCode, kKeypadKeyCount>& keypadKeys() noexcept { return kKeypadKeys; }
int keyboardKeyOfSlot(int slot) noexcept { return positionOf(kKeyboardKeys, slot, kDeviceKeyboard); }
int keypadKeyOfSlot(int slot) noexcept { return positionOf(kKeypadKeys, slot, kDeviceKeypad); }

const std::u16string& SlotTexts::text(int slot) const noexcept {
    static const std::u16string empty;
    return valid(slot) ? texts_[static_cast<std::size_t>(slot)] : empty;
}

namespace {

// Four units at a time: texts can be long and usually hold no zero.
bool hasZeroUnit(std::u16string_view text) noexcept {
    constexpr std::uint64_t kLow = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
    std::size_t i = 0;
    for (; i + 4 <= text.size(); i += 4) {
        std::uint64_t v;
        std::memcpy(&v, text.data() + i, sizeof v);
        if (((v - kLow) & ~v & kHigh) != 0) return true;
    }
    for (; i < text.size(); ++i) {
        if (text[i] == 0) return true;
    }
    return false;
}

}  // namespace

void SlotTexts::set(int slot, std::u16string_view text) {
    if (!valid(slot)) return;
    if (hasZeroUnit(text)) text = text.substr(0, text.find(u'\0'));
    clear(slot);
    texts_[static_cast<std::size_t>(slot)].assign(text);
    const auto size = static_cast<std::uint32_t>(2 * text.size() + 2);
    sizes_[static_cast<std::size_t>(slot)] = size;
    total_ += size;
}

void SlotTexts::adopt(int slot, std::u16string text) {
    if (!valid(slot)) return;
    clear(slot);
    const auto size = static_cast<std::uint32_t>(2 * text.size() + 2);
    texts_[static_cast<std::size_t>(slot)] = std::move(text);
    sizes_[static_cast<std::size_t>(slot)] = size;
    total_ += size;
}

void SlotTexts::clear(int slot) noexcept {
    if (!valid(slot)) return;
    const auto s = static_cast<std::size_t>(slot);
    total_ -= sizes_[s];
    sizes_[s] = 0;
    std::u16string().swap(texts_[s]);
}

void SlotTexts::clearAll() noexcept {
    for (int s = 0; s < kSlotCount; ++s) clear(s);
    total_ = 0;
}

}  // namespace kb
