#include "key_buttons.h"

#include "generated/control_ids.h"
#include "profile_record.h"

#include <iterator>

namespace kb::ui {

namespace {

namespace gen = kb::res::main_window;
static_assert(std::size(gen::kKeyboardKeys) == kKeyboardKeyCount);
static_assert(std::size(gen::kKeypadKeys) == kKeypadKeyCount);

std::array<KeyButton, kKeyButtonCount> buildButtons() noexcept {
    std::array<KeyButton, kKeyButtonCount> all{};
    int n = 0;
    for (int i = 0; i < kMacroKeyButtonCount; ++i) {
        all[n++] = KeyButton{gen::kMacroKeys[i].id, KeyGroup::MacroKey, i, 0, 0x100 + i};
    }
    const auto& keyboard = keyboardKeys();
    for (int i = 0; i < kKeyboardKeyCount; ++i) {
        const WinMakeCode code = keyboard[static_cast<std::size_t>(i)];
        all[n++] = KeyButton{gen::kKeyboardKeys[i].id, KeyGroup::Keyboard, i, code,
                             catalogueIndex(code)};
    }
    const auto& keypad = keypadKeys();
    for (int i = 0; i < kKeypadKeyCount; ++i) {
        const WinMakeCode code = keypad[static_cast<std::size_t>(i)];
        all[n++] = KeyButton{gen::kKeypadKeys[i].id, KeyGroup::Keypad, i, code,
                             0x200 + catalogueIndex(code)};
    }
    return all;
}

}  // namespace

const std::array<KeyButton, kKeyButtonCount>& keyButtons() noexcept {
    static const std::array<KeyButton, kKeyButtonCount> all = buildButtons();
    return all;
}

const KeyButton* keyButtonById(int id) noexcept {
    for (const KeyButton& b : keyButtons()) {
        if (b.id == id) return &b;
    }
    return nullptr;
}

const KeyButton* keyButtonBySlot(int slot, int bank) noexcept {
    // Macro keys of the live bank first, then the keyboard, then the keypad.
    for (const KeyButton& b : keyButtons()) {
        if (slotOfButton(b, bank) == slot) return &b;
    }
    return nullptr;
}

int slotOfButton(const KeyButton& b, int bank) noexcept {
    switch (b.group) {
    case KeyGroup::MacroKey:
        return kFirstMacroKeySlot + (bank != 0 ? 5 : 0) + b.index;
    case KeyGroup::Keyboard:
        return slotOf(kDeviceKeyboard, b.makeCode);
    case KeyGroup::Keypad:
        return slotOf(kDeviceKeypad, b.makeCode);
    }
    return -1;
}

int deviceGroupOfButton(const KeyButton& b) noexcept { return b.group == KeyGroup::Keypad ? 1 : 0; }

std::u16string skinEntryName(const KeyButton& b) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string name = u"KEY_";
    name += kHex[(b.skinKey >> 8) & 0xF];
    name += kHex[(b.skinKey >> 4) & 0xF];
    name += kHex[b.skinKey & 0xF];
    return name;
}

std::u16string macroKeyCaption(int bank, int index) {
    std::u16string caption;
    caption += bank != 0 ? u'B' : u'A';
    caption += static_cast<char16_t>(u'1' + index);
    return caption;
}

FaceSet normalFaces(KeyGroup group) noexcept {
    using enum StatusImage;
    if (group == KeyGroup::Keypad) return {S1b, S2b, S3b, S1b, S4b};
    return {S1, S2, S3, S1, S4};
}

FaceSet editFaces(KeyGroup group) noexcept {
    using enum StatusImage;
    if (group == KeyGroup::Keypad) return {S2b, S2b, S3b, S1b, S2b};
    return {S2, S2, S3, S1, S2};
}

}  // namespace kb::ui
