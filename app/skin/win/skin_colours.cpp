#include "skin_colours.h"

#include "report_list.h"
#include "skin_ini.h"

namespace kbskin {
namespace {

int systemColourIndex(SkinColour c) {
    switch (c) {
    case SkinColour::FieldText: return COLOR_WINDOWTEXT;
    case SkinColour::FieldBack: return COLOR_WINDOW;
    case SkinColour::FieldDisabledText: return COLOR_GRAYTEXT;
    case SkinColour::ListText: return COLOR_WINDOWTEXT;
    case SkinColour::ListBack: return COLOR_WINDOW;
    case SkinColour::ListSelectedText: return COLOR_HIGHLIGHTTEXT;
    case SkinColour::ListSelectedBack: return COLOR_HIGHLIGHT;
    case SkinColour::ListShade: return COLOR_GRAYTEXT;
    case SkinColour::HeaderText: return COLOR_BTNTEXT;
    case SkinColour::HeaderBack: return COLOR_BTNFACE;
    case SkinColour::Count: break;
    }
    return COLOR_WINDOW;
}

}  // namespace

SkinColours::SkinColours() {
    for (std::size_t i = 0; i < kCount; ++i) colours_[i] = GetSysColor(systemColourIndex(static_cast<SkinColour>(i)));
}

void SkinColours::load(const wchar_t* iniPath) {
    SkinIniFile file;
    file.SetPath(iniPath);
    for (std::size_t i = 0; i < kCount; ++i) {
        const auto c = static_cast<SkinColour>(i);
        const auto value = ParseSkinColour(file.ReadString(kColourSection, SkinColourKey(c), L""));
        fromSkin_[i] = value.has_value();
        colours_[i] = value ? static_cast<COLORREF>(*value) : GetSysColor(systemColourIndex(c));
    }
    fieldBrush_.reset(fromSkin(SkinColour::FieldBack) ? CreateSolidBrush(get(SkinColour::FieldBack)) : nullptr);
}

LRESULT SkinColours::paintField(HDC dc, bool enabled) const noexcept {
    SetTextColor(dc, get(enabled ? SkinColour::FieldText : SkinColour::FieldDisabledText));
    SetBkColor(dc, get(SkinColour::FieldBack));
    const HBRUSH brush = fieldBrush_ ? fieldBrush_.get() : GetSysColorBrush(COLOR_WINDOW);
    return reinterpret_cast<LRESULT>(brush);
}

void SkinColours::dress(ReportList& list) const {
    ReportList::Colours c;
    c.text = get(SkinColour::ListText);
    c.back = get(SkinColour::ListBack);
    if (fromSkin(SkinColour::ListSelectedText) || fromSkin(SkinColour::ListSelectedBack)) {
        c.selectedText = get(SkinColour::ListSelectedText);
        c.selectedBack = get(SkinColour::ListSelectedBack);
    }
    if (fromSkin(SkinColour::HeaderText) || fromSkin(SkinColour::HeaderBack)) {
        c.headerText = get(SkinColour::HeaderText);
        c.headerBack = get(SkinColour::HeaderBack);
    }
    list.SetColours(c);
}

}  // namespace kbskin
