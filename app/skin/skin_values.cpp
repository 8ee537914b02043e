#include "skin_values.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iterator>

namespace kbskin {
namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

// One number as the C library's %d reads it: blanks, sign, digits. Saturates
// instead of overflowing so damaged values cannot wrap into plausible ones.
bool readNumber(std::wstring_view text, std::size_t& pos, int& out) {
    std::size_t p = pos;
    while (p < text.size() && isBlank(text[p])) ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == L'+' || text[p] == L'-')) {
        negative = text[p] == L'-';
        ++p;
    }
    if (p >= text.size() || text[p] < L'0' || text[p] > L'9') return false;
    long long value = 0;
    for (; p < text.size() && text[p] >= L'0' && text[p] <= L'9'; ++p) {
        value = std::min<long long>(value * 10 + (text[p] - L'0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) value = -value;
    out = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    pos = p;
    return true;
}

}  // namespace

SkinRect ParseSkinRect(std::wstring_view text) {
    int values[4] = {1, 1, 1, 1};
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != L',') break;
            ++pos;
        }
        if (!readNumber(text, pos, values[i])) break;
    }
    return ClampSkinRect({values[0], values[1], values[2], values[3]});
}

SkinRect ClampSkinRect(SkinRect r) {
    r.x = std::clamp(r.x, -kMaxSkinExtent, kMaxSkinExtent);
    r.y = std::clamp(r.y, -kMaxSkinExtent, kMaxSkinExtent);
    r.w = std::clamp(r.w, 0, kMaxSkinExtent);
    r.h = std::clamp(r.h, 0, kMaxSkinExtent);
    return r;
}

std::wstring KeyButtonName(unsigned number) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"KEY_%03X", number);
    return buffer;
}

unsigned SkinKeyIndex(unsigned winMakeCode) {
    return winMakeCode < 0x100 ? winMakeCode : ((winMakeCode - 0x80) & 0xFF);
}

std::wstring ArrowFrameKey(ArrowSide side, bool flipOn, int frame) {
    std::wstring key = flipOn ? L"UP_ARROW_" : L"DOWN_ARROW_";
    key += side == ArrowSide::Left ? L"LEFT" : L"RIGHT";
    key += std::to_wstring(frame + 1);
    return key;
}

std::optional<std::wstring> JoinSkinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (!name.empty()) {
        if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
        path += name;
    }
    if (path.size() + 1 > static_cast<std::size_t>(kSkinPathChars)) return std::nullopt;
    return path;
}

const wchar_t* SkinColourKey(SkinColour colour) noexcept {
    static constexpr const wchar_t* kKeys[] = {
        L"FIELD_TEXT", L"FIELD_BACK", L"FIELD_DISABLED_TEXT",
        L"LIST_TEXT", L"LIST_BACK", L"LIST_SELECTED_TEXT", L"LIST_SELECTED_BACK", L"LIST_SHADE",
        L"HEADER_TEXT", L"HEADER_BACK",
    };
    static_assert(std::size(kKeys) == static_cast<std::size_t>(SkinColour::Count));
    const auto i = static_cast<std::size_t>(colour);
    return i < std::size(kKeys) ? kKeys[i] : L"";
}

std::optional<std::uint32_t> ParseSkinColour(std::wstring_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.size() != 7 || text[0] != L'#') return std::nullopt;
    std::uint32_t rgb = 0;
    for (wchar_t c : text.substr(1)) {
        int digit;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        else return std::nullopt;
        rgb = rgb << 4 | static_cast<std::uint32_t>(digit);
    }
    // The system's colour values hold red in the low byte.
    return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

}  // namespace kbskin
