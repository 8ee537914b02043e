// Value grammars of the skin INI files and the names built from them.
// Portable: no Windows headers, so the rules are tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kbskin {

// A control's place in its window's client area; also the face offset in the
// status images.
struct SkinRect {
    int x = 1;
    int y = 1;
    int w = 1;
    int h = 1;
    friend bool operator==(const SkinRect&, const SkinRect&) = default;
};

// Text read for a missing key: a one-pixel control at (1,1).
inline constexpr wchar_t kDefaultRectText[] = L"1,1,1,1,x";
// Buffer sizes of the private-profile reads.
inline constexpr int kRectTextChars = 260;
inline constexpr int kPictureNameChars = 2047;  // 2046 characters and the terminator
inline constexpr int kSkinPathChars = 260;

// Largest extent and offset a placement accepts; beyond this a value is damage,
// not a layout, and would make the system refuse or stall on the window.
inline constexpr int kMaxSkinExtent = 8192;

// Parses "x,y,w,h": blanks before each number, an optional sign, text after the
// fourth number ignored. A number that does not parse keeps 1 (as in the default),
// and so do all after it. Out-of-range numbers saturate before clamping.
[[nodiscard]] SkinRect ParseSkinRect(std::wstring_view text);

// Keeps a rectangle drawable: sizes in 0..kMaxSkinExtent (negative becomes 0),
// offsets in -kMaxSkinExtent..kMaxSkinExtent. A negative offset stays negative, so
// a control may still sit partly outside its window.
[[nodiscard]] SkinRect ClampSkinRect(SkinRect r);

// "KEY_%03X" for a key-button number (0x100..0x104 macro keys, key index,
// 0x200 + key index for the second set).
[[nodiscard]] std::wstring KeyButtonName(unsigned number);
// Key index of a win make code: itself below 0x100, else (code - 0x80) & 0xFF.
[[nodiscard]] unsigned SkinKeyIndex(unsigned winMakeCode);

enum class ArrowSide { Left = 0, Right = 1 };
// Frame key of an arrow: UP_/DOWN_ stem by the Flip setting, then frame + 1.
[[nodiscard]] std::wstring ArrowFrameKey(ArrowSide side, bool flipOn, int frame);

// Joins the skin folder and a picture name the way the system builds paths
// (a backslash between them unless the folder ends with one; an empty name leaves
// the folder). Nothing when the result does not fit kSkinPathChars with terminator.
[[nodiscard]] std::optional<std::wstring> JoinSkinPath(std::wstring_view folder,
                                                       std::wstring_view name);

// Colours of the system controls in a skinned window (edit fields, combo
// boxes, report lists), section COLOURS of the window's INI file. A key that
// is absent or does not parse leaves the system's colour.
inline constexpr wchar_t kColourSection[] = L"COLOURS";
enum class SkinColour {
    FieldText, FieldBack, FieldDisabledText,
    ListText, ListBack, ListSelectedText, ListSelectedBack, ListShade,
    HeaderText, HeaderBack,
    Count
};
[[nodiscard]] const wchar_t* SkinColourKey(SkinColour colour) noexcept;
// "#RRGGBB", blanks around it ignored, as 0x00BBGGRR; nothing for anything else.
[[nodiscard]] std::optional<std::uint32_t> ParseSkinColour(std::wstring_view text);

}  // namespace kbskin
