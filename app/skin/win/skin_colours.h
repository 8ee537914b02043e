// The skin's colours for the system controls of one window (edit fields,
// combo boxes, report lists), read from its INI file; the system's colours
// where a key is absent, so a skin without them looks as before.
#pragma once

#include <windows.h>

#include <array>

#include "gdi_owner.h"
#include "skin_values.h"

namespace kbskin {

class ReportList;

class SkinColours {
public:
    SkinColours();
    // Reads section COLOURS of the file; keys it lacks keep the system's colour.
    void load(const wchar_t* iniPath);
    [[nodiscard]] COLORREF get(SkinColour c) const noexcept { return colours_[index(c)]; }
    [[nodiscard]] bool fromSkin(SkinColour c) const noexcept { return fromSkin_[index(c)]; }
    // The answer to a field's WM_CTLCOLOREDIT / WM_CTLCOLORLISTBOX, or to the
    // WM_CTLCOLORSTATIC of a disabled one.
    [[nodiscard]] LRESULT paintField(HDC dc, bool enabled) const noexcept;
    // Gives a report list its text, background, selection and header colours.
    void dress(ReportList& list) const;

private:
    static std::size_t index(SkinColour c) noexcept { return static_cast<std::size_t>(c); }
    static constexpr std::size_t kCount = static_cast<std::size_t>(SkinColour::Count);

    std::array<COLORREF, kCount> colours_{};
    std::array<bool, kCount> fromSkin_{};
    UniqueBrush fieldBrush_;
};

}  // namespace kbskin
