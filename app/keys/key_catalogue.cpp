#include "key_catalogue.h"

#include <array>

namespace kb {
namespace {

struct NamedKey {
    std::uint16_t listCode;
    WinMakeCode code;
    const char16_t* name;
};

// Ordered by list code.
constexpr NamedKey kNamedKeys[] = {
    {0x00, 0x01E, u"A"}, {0x01, 0x030, u"B"}, {0x02, 0x02E, u"C"}, {0x03, 0x020, u"D"},
    {0x04, 0x012, u"E"}, {0x05, 0x021, u"F"}, {0x06, 0x022, u"G"}, {0x07, 0x023, u"H"},
    {0x08, 0x017, u"I"}, {0x09, 0x024, u"J"}, {0x0A, 0x025, u"K"}, {0x0B, 0x026, u"L"},
    {0x0C, 0x032, u"M"}, {0x0D, 0x031, u"N"}, {0x0E, 0x018, u"O"}, {0x0F, 0x019, u"P"},
    {0x10, 0x010, u"Q"}, {0x11, 0x013, u"R"}, {0x12, 0x01F, u"S"}, {0x13, 0x014, u"T"},
    {0x14, 0x016, u"U"}, {0x15, 0x02F, u"V"}, {0x16, 0x011, u"W"}, {0x17, 0x02D, u"X"},
    {0x18, 0x015, u"Y"}, {0x19, 0x02C, u"Z"},
    {0x1A, 0x002, u"1"}, {0x1B, 0x003, u"2"}, {0x1C, 0x004, u"3"}, {0x1D, 0x005, u"4"},
    {0x1E, 0x006, u"5"}, {0x1F, 0x007, u"6"}, {0x20, 0x008, u"7"}, {0x21, 0x009, u"8"},
    {0x22, 0x00A, u"9"}, {0x23, 0x00B, u"0"},
    {0x24, 0x01C, u"Enter"}, {0x25, 0x001, u"Esc"}, {0x26, 0x00E, u"退格"},
    {0x27, 0x00F, u"Tab"}, {0x28, 0x039, u"空格"},
    {0x29, 0x00C, u"-"}, {0x2A, 0x00D, u"="}, {0x2B, 0x01A, u"["}, {0x2C, 0x01B, u"]"},
    {0x2D, 0x02B, u"\\"}, {0x2E, 0x027, u";"}, {0x2F, 0x028, u"'"}, {0x30, 0x029, u"`"},
    {0x31, 0x033, u","}, {0x32, 0x034, u"."}, {0x33, 0x035, u"/"},
    {0x34, 0x03B, u"F1"}, {0x35, 0x03C, u"F2"}, {0x36, 0x03D, u"F3"}, {0x37, 0x03E, u"F4"},
    {0x38, 0x03F, u"F5"}, {0x39, 0x040, u"F6"}, {0x3A, 0x041, u"F7"}, {0x3B, 0x042, u"F8"},
    {0x3C, 0x043, u"F9"}, {0x3D, 0x044, u"F10"}, {0x3E, 0x057, u"F11"}, {0x3F, 0x058, u"F12"},
    {0x40, 0x137, u"Print Screen"}, {0x41, 0x054, u"Sys Req"}, {0x42, 0x045, u"Pause"},
    {0x43, 0x146, u"Break"},
    {0x44, 0x152, u"Insert"}, {0x45, 0x153, u"Delete"}, {0x46, 0x147, u"Home"},
    {0x47, 0x14F, u"End"}, {0x48, 0x149, u"Page Up"}, {0x49, 0x151, u"Page Down"},
    {0x4A, 0x148, u"↑"}, {0x4B, 0x150, u"↓"}, {0x4C, 0x14B, u"←"}, {0x4D, 0x14D, u"→"},
    {0x4E, 0x046, u"Scroll Lock"}, {0x4F, 0x03A, u"Caps Lock"}, {0x50, 0x145, u"Num Lock"},
    {0x51, 0x135, u"Num /"}, {0x52, 0x037, u"Num *"}, {0x53, 0x04A, u"Num -"},
    {0x54, 0x04E, u"Num +"}, {0x55, 0x11C, u"Num Enter"}, {0x56, 0x04F, u"Num 1"},
    {0x57, 0x050, u"Num 2"}, {0x58, 0x051, u"Num 3"}, {0x59, 0x04B, u"Num 4"},
    {0x5A, 0x04C, u"Num 5"}, {0x5B, 0x04D, u"Num 6"}, {0x5C, 0x047, u"Num 7"},
    {0x5D, 0x048, u"Num 8"}, {0x5E, 0x049, u"Num 9"}, {0x5F, 0x052, u"Num 0"},
    {0x60, 0x053, u"Num ."},
    {0x61, 0x07D, u"K14"}, {0x62, 0x056, u"K45"}, {0x63, 0x073, u"K56"}, {0x64, 0x07E, u"K107"},
    {0x65, 0x07B, u"N-CHG (131)"}, {0x66, 0x079, u"CHG (132)"}, {0x67, 0x070, u"ROMA (133)"},
    {0x68, 0x071, u"KL"}, {0x69, 0x072, u"KR"},
    {0x6A, 0x16B, u"我的电脑"}, {0x6B, 0x121, u"计算器"}, {0x6C, 0x16C, u"邮件"},
    {0x6D, 0x16D, u"媒体播放器"}, {0x6E, 0x122, u"播放/暂停"}, {0x6F, 0x124, u"停止播放"},
    {0x70, 0x110, u"上一曲"}, {0x71, 0x119, u"下一曲"}, {0x72, 0x130, u"音量加"},
    {0x73, 0x12E, u"音量减"}, {0x74, 0x120, u"静音"}, {0x75, 0x132, u"主页"},
    {0x76, 0x167, u"刷新"}, {0x77, 0x168, u"停止"}, {0x78, 0x16A, u"后退"},
    {0x79, 0x169, u"前进"}, {0x7A, 0x166, u"收藏夹"}, {0x7B, 0x165, u"搜索"},
    {0x7C, 0x15D, u"App"}, {0x7D, 0x01D, u"Ctrl"}, {0x7E, 0x02A, u"Shift"}, {0x7F, 0x038, u"Alt"},
    {0x80, 0x15B, u"Win"}, {0x81, 0x11D, u"右边 Ctrl"}, {0x82, 0x036, u"右边 Shift"},
    {0x83, 0x138, u"右边 Alt"}, {0x84, 0x15C, u"右边 Win"},
    {0x8001, 0x15E, u"电源"}, {0x8002, 0x15F, u"睡眠"}, {0x8003, 0x163, u"唤醒"},
};

struct Entry {
    std::uint16_t listCode;
    const char16_t* name;
};

constexpr std::uint8_t indexOf(WinMakeCode code) {
    return code < 0x100 ? static_cast<std::uint8_t>(code)
                        : static_cast<std::uint8_t>((code & 0xFF) - 0x80);
}

constexpr std::array<Entry, kCatalogueSize> buildTable() {
    std::array<Entry, kCatalogueSize> table{};
    for (int i = 0; i < kCatalogueSize; ++i) {
        // The trailing eighteen empty entries carry 0, the others 0xFFFF.
        table[static_cast<std::size_t>(i)] = {i >= 0xEE ? std::uint16_t{0} : kEmptyListCode, nullptr};
    }
    for (const NamedKey& k : kNamedKeys) table[indexOf(k.code)] = {k.listCode, k.name};
    return table;
}

constexpr std::array<Entry, kCatalogueSize> kTable = buildTable();

constexpr int countNamed() {
    int n = 0;
    for (const Entry& e : kTable) n += e.name != nullptr;
    return n;
}
static_assert(countNamed() == 136, "every named key must land on its own index");

// Codes above 0x17F are no keys; the index rule would fold them onto real ones.
const Entry& entryOf(WinMakeCode code) {
    static constexpr Entry kNone{kEmptyListCode, nullptr};
    return code > 0x17F ? kNone : kTable[indexOf(code)];
}

std::size_t copyCut(std::u16string_view text, char16_t* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    for (std::size_t i = 0; i < n; ++i) out[i] = text[i];
    out[n] = u'\0';
    return n;
}

}  // namespace

std::uint8_t catalogueIndex(WinMakeCode code) noexcept { return indexOf(code); }

WinMakeCode makeCodeOfIndex(std::uint8_t index) noexcept {
    return index < 0x80 ? index : static_cast<WinMakeCode>(index + 0x80);
}

std::uint16_t listCodeOfKey(WinMakeCode code) noexcept { return entryOf(code).listCode; }

WinMakeCode keyOfListCode(std::uint16_t listCode) noexcept {
    for (int i = 0; i < kCatalogueSize; ++i) {
        if (kTable[static_cast<std::size_t>(i)].listCode == listCode) {
            return makeCodeOfIndex(static_cast<std::uint8_t>(i));
        }
    }
    return 0;
}

std::u16string_view nameOfListCode(std::uint16_t listCode) noexcept {
    for (const Entry& e : kTable) {
        if (e.listCode == listCode) return e.name ? std::u16string_view{e.name} : std::u16string_view{};
    }
    return {};
}

std::size_t keyName(WinMakeCode code, char16_t* out, std::size_t capacity) noexcept {
    const Entry& e = entryOf(code);
    if (e.name != nullptr && e.name[0] != u'\0') return copyCut(e.name, out, capacity);
    // "未知按键: %03x"
    char16_t text[16] = u"未知按键: ";
    std::size_t n = std::u16string_view{text}.size();
    char16_t digits[8];
    std::size_t d = 0;
    unsigned v = code;
    do {
        digits[d++] = static_cast<char16_t>(u"0123456789abcdef"[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    while (d < 3) digits[d++] = u'0';
    while (d > 0) text[n++] = digits[--d];
    return copyCut(std::u16string_view{text, n}, out, capacity);
}

bool isSingleEventKey(WinMakeCode code) noexcept {
    return code == 0x054 || code == 0x071 || code == 0x072 || code == 0x137;
}

std::uint8_t driverScanCode(WinMakeCode code) noexcept {
    if (code == 0x145) return 0x45;
    if (code == 0x045) return 0x1D;
    return static_cast<std::uint8_t>(code & 0xFF);
}

std::uint16_t driverKeyFlags(WinMakeCode code, std::uint16_t base) noexcept {
    if (code == 0x045) return static_cast<std::uint16_t>(base + 4);
    if ((code & 0x100) != 0 && code != 0x145) return static_cast<std::uint16_t>(base + 2);
    return base;
}

}  // namespace kb
