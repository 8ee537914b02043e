#include "key_tables.h"

#include <array>
#include <cstddef>

namespace kb::kinset {
namespace {

using AkeyTable = std::array<Akey, 256>;

constexpr std::u16string_view kLowerLetters = u"abcdefghijklmnopqrstuvwxyz";
constexpr std::u16string_view kUpperLetters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// US layout, by set-1 scan code of each letter.
constexpr std::array<std::uint8_t, 26> kLetterScan = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

// The symbol keys: unshifted character, shifted character, scan code, virtual key.
struct SymbolKey {
    char16_t plain;
    char16_t shifted;
    std::uint8_t scan;
    std::uint8_t virtualKey;
};
constexpr SymbolKey kSymbolKeys[] = {
    {u'1', u'!', 0x02, 0x31}, {u'2', u'@', 0x03, 0x32}, {u'3', u'#', 0x04, 0x33},
    {u'4', u'$', 0x05, 0x34}, {u'5', u'%', 0x06, 0x35}, {u'6', u'^', 0x07, 0x36},
    {u'7', u'&', 0x08, 0x37}, {u'8', u'*', 0x09, 0x38}, {u'9', u'(', 0x0A, 0x39},
    {u'0', u')', 0x0B, 0x30}, {u'-', u'_', 0x0C, 0xBD}, {u'=', u'+', 0x0D, 0xBB},
    {u'[', u'{', 0x1A, 0xDB}, {u']', u'}', 0x1B, 0xDD}, {u';', u':', 0x27, 0xBA},
    {u'\'', u'"', 0x28, 0xDE}, {u'`', u'~', 0x29, 0xC0}, {u'\\', u'|', 0x2B, 0xDC},
    {u',', u'<', 0x33, 0xBC}, {u'.', u'>', 0x34, 0xBE}, {u'/', u'?', 0x35, 0xBF},
};

struct CodedAkey {
    std::uint8_t code;
    Akey key;
};
constexpr std::uint8_t E0 = kKindE0;
// Keys without a character, 0x81 to 0xE4.
constexpr CodedAkey kNamedAkeys[] = {
    {0x81, {1, 0x3B, 0, 0x70}}, {0x82, {1, 0x3C, 0, 0x71}}, {0x83, {1, 0x3D, 0, 0x72}},
    {0x84, {1, 0x3E, 0, 0x73}}, {0x85, {1, 0x3F, 0, 0x74}}, {0x86, {1, 0x40, 0, 0x75}},
    {0x87, {1, 0x41, 0, 0x76}}, {0x88, {1, 0x42, 0, 0x77}}, {0x89, {1, 0x43, 0, 0x78}},
    {0x8A, {1, 0x44, 0, 0x79}}, {0x8B, {1, 0x57, 0, 0x7A}}, {0x8C, {1, 0x58, 0, 0x7B}},
    {0x8D, {1, 0x45, 0, 0x90}}, {0x8E, {1, 0x3A, 0, 0x14}}, {0x8F, {1, 0x46, 0, 0x91}},
    {0x90, {1, 0x0E, 0, 0x08}}, {0x91, {1, 0x2A, 0, 0xA0}}, {0x92, {1, 0x1D, 0, 0xA2}},
    {0x93, {1, 0x38, 0, 0xA4}}, {0x94, {E0, 0x5B, 0, 0x5B}}, {0x95, {E0, 0x5D, 0, 0x5D}},
    {0x96, {E0, 0x52, 0, 0x2D}}, {0x97, {E0, 0x53, 0, 0x2E}}, {0x98, {E0, 0x47, 0, 0x24}},
    {0x99, {E0, 0x4F, 0, 0x23}}, {0x9A, {E0, 0x49, 0, 0x21}}, {0x9B, {E0, 0x51, 0, 0x22}},
    {0x9C, {E0, 0x48, 0, 0x26}}, {0x9D, {E0, 0x50, 0, 0x28}}, {0x9E, {E0, 0x4B, 0, 0x25}},
    {0x9F, {E0, 0x4D, 0, 0x27}}, {0xA0, {E0, 0x2A, 0x37, 0x2C}},
    {0xA1, {kKindE1, 0x1D, 0x45, 0x13}}, {0xA2, {E0, 0x5E, 0, 0xFF}},
    {0xA3, {E0, 0x5F, 0, 0x5F}}, {0xA4, {E0, 0x63, 0, 0xFF}}, {0xA5, {1, 0x2B, 0, 0xDC}},
    {0xA6, {1, 0x56, 0, 0xE2}}, {0xA7, {1, 0x7B, 0, 0xEB}}, {0xA8, {1, 0x79, 0, 0xFF}},
    {0xA9, {1, 0x70, 0, 0xFF}}, {0xAA, {1, 0x7D, 0, 0xFF}}, {0xAB, {1, 0x73, 0, 0xC1}},
    {0xAC, {1, 0x7E, 0, 0xC2}}, {0xAD, {3, 0x71, 0, 0xE9}}, {0xAE, {3, 0x72, 0, 0xFF}},
    {0xAF, {1, 0x54, 0, 0x2C}}, {0xB0, {E0, 0x46, 0, 0x03}}, {0xB1, {E0, 0x19, 0, 0xB0}},
    {0xB2, {E0, 0x10, 0, 0xB1}}, {0xB3, {E0, 0x24, 0, 0xB2}}, {0xB4, {E0, 0x22, 0, 0xB3}},
    {0xB5, {E0, 0x20, 0, 0xAD}}, {0xB6, {E0, 0x30, 0, 0xAF}}, {0xB7, {E0, 0x2E, 0, 0xAE}},
    {0xB8, {E0, 0x6D, 0, 0xB5}}, {0xB9, {E0, 0x6C, 0, 0xB4}}, {0xBA, {E0, 0x21, 0, 0xB7}},
    {0xBB, {E0, 0x6B, 0, 0xB6}}, {0xBC, {E0, 0x65, 0, 0xAA}}, {0xBD, {E0, 0x32, 0, 0xAC}},
    {0xBE, {E0, 0x6A, 0, 0xA6}}, {0xBF, {E0, 0x69, 0, 0xA7}}, {0xC0, {E0, 0x68, 0, 0xA9}},
    {0xC1, {E0, 0x67, 0, 0xA8}}, {0xC2, {E0, 0x66, 0, 0xAB}},
    {0xDA, {1, 0x37, 0, 0x6A}}, {0xDB, {1, 0x4E, 0, 0x6B}}, {0xDC, {1, 0x4A, 0, 0x6D}},
    {0xDD, {E0, 0x1C, 0, 0x0D}}, {0xDE, {4, 0x53, 0, 0x6E}}, {0xDF, {E0, 0x35, 0, 0x6F}},
    {0xE1, {1, 0x36, 0, 0xA1}}, {0xE2, {E0, 0x1D, 0, 0xA3}}, {0xE3, {E0, 0x38, 0, 0xA5}},
    {0xE4, {E0, 0x5C, 0, 0x5C}},
};

// Keypad 0 to 9 (Akey 0xD0 to 0xD9).
constexpr std::array<std::uint8_t, 10> kKeypadScan = {0x52, 0x4F, 0x50, 0x51, 0x4B,
                                                      0x4C, 0x4D, 0x47, 0x48, 0x49};

constexpr AkeyTable buildAkeys() {
    AkeyTable t{};
    t[0x09] = {kKindPlain, 0x0F, 0, 0x09};
    t[0x0D] = {kKindPlain, 0x1C, 0, 0x0D};
    t[0x1B] = {kKindPlain, 0x01, 0, 0x1B};
    t[0x20] = {kKindPlain, 0x39, 0, 0x20};
    for (std::size_t i = 0; i < 26; ++i) {
        const auto vk = static_cast<std::uint8_t>(u'A' + i);
        t[u'a' + i] = {kKindPlain, kLetterScan[i], 0, vk};
        t[u'A' + i] = {kKindShifted, kLetterScan[i], 0, vk};
    }
    for (const SymbolKey& s : kSymbolKeys) {
        t[s.plain] = {kKindPlain, s.scan, 0, s.virtualKey};
        t[s.shifted] = {kKindShifted, s.scan, 0, s.virtualKey};
    }
    for (const CodedAkey& c : kNamedAkeys) {
        t[c.code] = c.key;
    }
    for (std::size_t i = 0; i < 10; ++i) {
        t[0xD0 + i] = {kKindKeypad, kKeypadScan[i], 0, static_cast<std::uint8_t>(0x60 + i)};
    }
    return t;
}

constexpr AkeyTable kAkeys = buildAkeys();

constexpr std::uint16_t makeCodeOf(const Akey& k) {
    switch (k.kind) {
        case kKindE0:
            return static_cast<std::uint16_t>((k.scan2 != 0 ? k.scan2 : k.scan1) + 0x100);
        case kKindE1:
            return 0x45;
        default:
            return k.scan1 == 0x45 ? 0x145 : k.scan1;
    }
}

// Table position of a win make code; -1 for codes the table does not hold.
constexpr int positionOf(std::uint16_t code) {
    if (code < 0x80) {
        return code;
    }
    if (code >= 0x100 && code < 0x180) {
        return code - 0x80;
    }
    return -1;
}

struct NamedCode {
    std::uint16_t code;
    std::u16string_view primary;
    std::uint8_t nameKind;
    std::u16string_view alternative;
};

constexpr NamedCode kNames[] = {
    {0x001, u"Esc", 0, {}},
    {0x00E, u"BackSpace", 0, {}},
    {0x00F, u"Tab", 0, {}},
    {0x01C, u"Enter", 0, {}},
    {0x01D, u"Ctrl", 0, {}},
    {0x02A, u"Shift", 0, {}},
    {0x036, u"Right Shift", 0, {}},
    {0x037, u"Num *", 0, {}},
    {0x038, u"Alt", 0, {}},
    {0x039, u"Space", 0, {}},
    {0x03A, u"Caps Lock", 0, {}},
    {0x03B, u"F1", 0, {}}, {0x03C, u"F2", 0, {}}, {0x03D, u"F3", 0, {}},
    {0x03E, u"F4", 0, {}}, {0x03F, u"F5", 0, {}}, {0x040, u"F6", 0, {}},
    {0x041, u"F7", 0, {}}, {0x042, u"F8", 0, {}}, {0x043, u"F9", 0, {}},
    {0x044, u"F10", 0, {}},
    {0x045, u"Pause", 0, {}},
    {0x046, u"Scroll Lock", 0, {}},
    {0x047, u"Num 7", 3, u"Num Home"},
    {0x048, u"Num 8", 3, u"Num Up"},
    {0x049, u"Num 9", 3, u"Num PageUp"},
    {0x04A, u"Num -", 0, {}},
    {0x04B, u"Num 4", 3, u"Num Left"},
    {0x04C, u"Num 5", 3, u"Num 5"},
    {0x04D, u"Num 6", 3, u"Num Right"},
    {0x04E, u"Num +", 0, {}},
    {0x04F, u"Num 1", 3, u"Num End"},
    {0x050, u"Num 2", 3, u"Num Down"},
    {0x051, u"Num 3", 3, u"Num PageDn"},
    {0x052, u"Num 0", 3, u"Num Insert"},
    {0x053, u"Num .", 3, u"Num Del"},
    {0x054, u"Sys Req", 0, {}},
    {0x056, u"K45", 0, {}},
    {0x057, u"F11", 0, {}},
    {0x058, u"F12", 0, {}},
    {0x070, u"ROMA (133)", 0, {}},
    {0x071, u"KL", 0, {}},
    {0x072, u"KR", 0, {}},
    {0x073, u"K56", 0, {}},
    {0x079, u"CHG (132)", 0, {}},
    {0x07B, u"N-CHG (131)", 0, {}},
    {0x07D, u"K14", 0, {}},
    {0x07E, u"K107", 0, {}},
    {0x110, u"Previous Track", 0, {}},
    {0x119, u"Next Track", 0, {}},
    {0x11C, u"Num Enter", 0, {}},
    {0x11D, u"Right Ctrl", 0, {}},
    {0x120, u"Mute", 0, {}},
    {0x121, u"Calculator", 0, {}},
    {0x122, u"Play/Pause", 0, {}},
    {0x124, u"Stop", 0, {}},
    {0x12E, u"Volume -", 0, {}},
    {0x130, u"Volume +", 0, {}},
    {0x132, u"WWW Home", 0, {}},
    {0x135, u"Num /", 0, {}},
    {0x137, u"Print Screen", 0, {}},
    {0x138, u"Right Alt", 0, {}},
    {0x145, u"Num Lock", 0, {}},
    {0x146, u"Break", 0, {}},
    {0x147, u"Home", 0, {}},
    {0x148, u"Up", 0, {}},
    {0x149, u"Page Up", 0, {}},
    {0x14B, u"Left", 0, {}},
    {0x14D, u"Right", 0, {}},
    {0x14F, u"End", 0, {}},
    {0x150, u"Down", 0, {}},
    {0x151, u"Page Down", 0, {}},
    {0x152, u"Insert", 0, {}},
    {0x153, u"Delete", 0, {}},
    {0x15B, u"Windows", 0, {}},
    {0x15C, u"Right Windows", 0, {}},
    {0x15D, u"Application", 0, {}},
    {0x15E, u"Power", 0, {}},
    {0x15F, u"Sleep", 0, {}},
    {0x163, u"Wake", 0, {}},
    {0x165, u"WWW Search", 0, {}},
    {0x166, u"WWW Favorites", 0, {}},
    {0x167, u"WWW Refresh", 0, {}},
    {0x168, u"WWW Stop", 0, {}},
    {0x169, u"WWW Forward", 0, {}},
    {0x16A, u"WWW Back", 0, {}},
    {0x16B, u"My Computer", 0, {}},
    {0x16C, u"Mail", 0, {}},
    {0x16D, u"Media", 0, {}},
};

using NameTable = std::array<KeyNameEntry, 256>;

// Single-character names of the symbol keys, in the order of kSymbolKeys.
constexpr std::u16string_view kPlainSymbols = u"1234567890-=[];'`\\,./";
constexpr std::u16string_view kShiftedSymbols = u"!@#$%^&*()_+{}:\"~|<>?";
static_assert(kPlainSymbols.size() == std::size(kSymbolKeys));
static_assert(kShiftedSymbols.size() == std::size(kSymbolKeys));
constexpr bool symbolNamesMatchKeys() {
    for (std::size_t i = 0; i < std::size(kSymbolKeys); ++i) {
        if (kPlainSymbols[i] != kSymbolKeys[i].plain || kShiftedSymbols[i] != kSymbolKeys[i].shifted) {
            return false;
        }
    }
    return true;
}
static_assert(symbolNamesMatchKeys());

constexpr NameTable buildNames() {
    NameTable t{};
    for (const NamedCode& n : kNames) {
        t[static_cast<std::size_t>(positionOf(n.code))] = {0, n.primary, n.nameKind, n.alternative};
    }
    for (std::size_t i = 0; i < 26; ++i) {
        t[kLetterScan[i]] = {0, kUpperLetters.substr(i, 1), kNameLetter, kLowerLetters.substr(i, 1)};
    }
    for (std::size_t i = 0; i < std::size(kSymbolKeys); ++i) {
        t[kSymbolKeys[i].scan] = {0, kPlainSymbols.substr(i, 1), kNameShiftSymbol,
                                  kShiftedSymbols.substr(i, 1)};
    }
    // Each entry sends the lowest unshifted Akey with its win make code.
    for (int code = 255; code >= 1; --code) {
        const Akey& k = kAkeys[static_cast<std::size_t>(code)];
        if (k.kind == kKindNone || k.kind == kKindShifted) {
            continue;
        }
        const int pos = positionOf(makeCodeOf(k));
        if (pos >= 0) {
            t[static_cast<std::size_t>(pos)].akey = static_cast<std::uint8_t>(code);
        }
    }
    return t;
}

constexpr NameTable kNameTable = buildNames();

// Consistency of the two tables, checked when the library is compiled.
static_assert(kNameTable[0x10].akey == u'q');
static_assert(kNameTable[0x02].akey == u'1');
static_assert(kNameTable[0x47].akey == 0xD7);
static_assert(kNameTable[0xC7].akey == 0x98);  // 0x147 Home
static_assert(kNameTable[0x2B].akey == u'\\');
static_assert(kNameTable[0xB7].akey == 0xA0);  // 0x137 Print Screen
static_assert(kNameTable[0x45].akey == 0xA1);  // Pause
static_assert(kNameTable[0xC5].akey == 0x8D);  // 0x145 Num Lock

constexpr std::array<std::uint8_t, 256> buildVirtualKeyIndex() {
    std::array<std::uint8_t, 256> index{};
    for (int code = 255; code >= 1; --code) {
        const Akey& k = kAkeys[static_cast<std::size_t>(code)];
        if (k.kind != kKindNone && k.virtualKey != 0 && k.virtualKey != 0xFF) {
            index[k.virtualKey] = static_cast<std::uint8_t>(code);
        }
    }
    return index;
}

constexpr std::array<std::uint8_t, 256> kVirtualKeyIndex = buildVirtualKeyIndex();

const KeyNameEntry kNoEntry{};

}  // namespace

const Akey& akeyEntry(std::uint8_t akey) noexcept {
    return kAkeys[akey];
}

std::uint16_t winMakeCodeOfAkey(std::uint8_t akey) noexcept {
    return makeCodeOf(kAkeys[akey]);
}

std::uint16_t winMakeCodeOfRecord(std::uint16_t makeCode, std::uint16_t flags) noexcept {
    if ((flags & 2) != 0) {
        return static_cast<std::uint16_t>(makeCode | 0x100);
    }
    if ((flags & 4) != 0) {
        return 0x45;
    }
    return makeCode == 0x45 ? 0x145 : makeCode;
}

std::uint8_t akeyOfVirtualKey(std::uint8_t virtualKey) noexcept {
    switch (virtualKey) {
        case 0x10:  // generic keys are their left-hand keys
            virtualKey = 0xA0;
            break;
        case 0x11:
            virtualKey = 0xA2;
            break;
        case 0x12:
            virtualKey = 0xA4;
            break;
        default:
            break;
    }
    return kVirtualKeyIndex[virtualKey];
}

const KeyNameEntry& keyNameEntry(std::uint16_t winMakeCode) noexcept {
    const int pos = positionOf(winMakeCode);
    return pos < 0 ? kNoEntry : kNameTable[static_cast<std::size_t>(pos)];
}

std::uint8_t akeyOfWinMakeCode(std::uint16_t winMakeCode) noexcept {
    return keyNameEntry(winMakeCode).akey;
}

bool writeKeyName(std::uint16_t winMakeCode, std::uint32_t status, char16_t* out,
                  std::uint16_t capacity) noexcept {
    if (out == nullptr || capacity == 0) {
        return false;
    }
    const KeyNameEntry& e = keyNameEntry(winMakeCode);
    const bool shift = (status & kStatusShiftMask) != 0;
    const bool caps = (status & kStatusCapsLock) != 0;
    const bool numLock = (status & kStatusNumLock) != 0;
    std::u16string_view name = e.primary;
    switch (e.nameKind) {
        case kNameLetter:
            name = shift != caps ? e.primary : e.alternative;
            break;
        case kNameShiftSymbol:
            name = shift ? e.alternative : e.primary;
            break;
        case kNameKeypad:
            name = numLock && !shift ? e.primary : e.alternative;
            break;
        default:
            break;
    }
    char16_t unknown[32];
    if (name.empty()) {
        constexpr std::u16string_view prefix = u"Unknown key: ";
        constexpr char16_t hex[] = u"0123456789abcdef";
        std::size_t n = prefix.copy(unknown, prefix.size());
        int digits = winMakeCode > 0xFFF ? 4 : 3;
        for (int d = digits - 1; d >= 0; --d) {
            unknown[n++] = hex[(winMakeCode >> (4 * d)) & 0xF];
        }
        name = std::u16string_view(unknown, n);
    }
    const std::size_t len = name.size() + 2 <= capacity ? name.size() : capacity - 1u;
    name.copy(out, len);
    out[len] = u'\0';
    return true;
}

}  // namespace kb::kinset
