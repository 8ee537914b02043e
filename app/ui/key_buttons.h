// The 115 key buttons of the main window: which control stands for which key,
// slot and skin entry, and the rules that pick a button's slot, look and
// caption. Portable: the window only applies what these functions decide.
#pragma once

#include "key_catalogue.h"

#include <array>
#include <string>

namespace kb::ui {

enum class KeyGroup { MacroKey, Keyboard, Keypad };

struct KeyButton {
    int id = 0;
    KeyGroup group = KeyGroup::Keyboard;
    int index = 0;             // position within its group (macro key 0..4, fixed key order)
    WinMakeCode makeCode = 0;  // 0 for the macro keys
    int skinKey = 0;           // the number in "KEY_%03X"
};

inline constexpr int kMacroKeyButtonCount = 5;
inline constexpr int kKeyButtonCount = 115;
inline constexpr int kFirstKeyButtonId = 1000;
inline constexpr int kLastKeyButtonId = 1120;
inline constexpr int kEnterButtonId = 1070;
inline constexpr int kEnterUpperButtonId = 1057;  // hidden upper part of the L-shaped Enter
inline constexpr int kRightBracketButtonId = 1055;

// Every key button, group by group, each group in its fixed order.
[[nodiscard]] const std::array<KeyButton, kKeyButtonCount>& keyButtons() noexcept;
[[nodiscard]] const KeyButton* keyButtonById(int id) noexcept;
// The button that shows this slot in the given macro bank; none for other slots.
[[nodiscard]] const KeyButton* keyButtonBySlot(int slot, int bank) noexcept;

// The slot a button edits and marks in the given macro bank.
[[nodiscard]] int slotOfButton(const KeyButton& b, int bank) noexcept;
// Device group for the key function dialog: 0 keyboard (and macro keys), 1 keypad.
[[nodiscard]] int deviceGroupOfButton(const KeyButton& b) noexcept;
// "KEY_%03X" of the button's skin key.
[[nodiscard]] std::u16string skinEntryName(const KeyButton& b);
// "A1".."A5" in bank 0, "B1".."B5" in bank 1.
[[nodiscard]] std::u16string macroKeyCaption(int bank, int index);

// Which faces a key button wears, by the status images of the main window.
// S5 is the dimmed face of a layer's key that the base's function shows
// through; it comes after the arrow strip among the window's pictures.
enum class StatusImage { S1, S2, S3, S4, S1b, S2b, S3b, S4b, S5 = 9 };
struct FaceSet {
    StatusImage normal, hover, pressed, disabled, marked;
};
[[nodiscard]] FaceSet normalFaces(KeyGroup group) noexcept;
// While the key function dialog edits the key: the hover face everywhere.
[[nodiscard]] FaceSet editFaces(KeyGroup group) noexcept;

}  // namespace kb::ui
