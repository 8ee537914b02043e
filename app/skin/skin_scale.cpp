#include "skin_scale.h"

#include <algorithm>
#include <cstdint>

namespace kbskin {

int ScaleFactor::apply(int v) const noexcept {
    if (den <= 0 || num == den) return v;
    const std::int64_t q = static_cast<std::int64_t>(v < 0 ? -v : v) * num;
    const std::int64_t r = (q + den / 2) / den;
    return static_cast<int>(v < 0 ? -r : r);
}

SkinSetChoice ChooseSkinSet(int dpi, std::span<const int> available) {
    dpi = std::max(dpi, kBaseDpi);
    int best = 0;      // smallest set at or above the scale
    int largest = 100;
    auto consider = [&](int percent) {
        if (percent < 100) return;
        largest = std::max(largest, percent);
        if (percent * kBaseDpi >= dpi * 100 && (best == 0 || percent < best)) best = percent;
    };
    consider(100);
    for (int p : available) consider(p);
    const int percent = best != 0 ? best : largest;
    const int setDpi = percent * kBaseDpi;  // in hundredths of a dot per inch
    ScaleFactor stretch{dpi * 100, setDpi};
    if (stretch.num == stretch.den) stretch = {};
    return {percent, stretch};
}

std::wstring SkinSetPath(std::wstring_view path, int percent) {
    if (percent == 100) return std::wstring(path);
    const auto slash = path.find_last_of(L"\\/");
    const std::size_t cut = slash == std::wstring_view::npos ? 0 : slash + 1;
    std::wstring out(path.substr(0, cut));
    out += std::to_wstring(percent);
    out += L'\\';
    out += path.substr(cut);
    return out;
}

SkinRect ScaleSkinRect(SkinRect r, ScaleFactor f) {
    if (f.identity()) return r;
    const int x = f.apply(r.x);
    const int y = f.apply(r.y);
    return ClampSkinRect({x, y, f.apply(r.x + r.w) - x, f.apply(r.y + r.h) - y});
}

std::vector<RunRect> ScaleRuns(std::span<const RunRect> runs, ScaleFactor f) {
    std::vector<RunRect> out;
    out.reserve(runs.size());
    for (const RunRect& r : runs) {
        const RunRect s{f.apply(r.left), f.apply(r.top), f.apply(r.right), f.apply(r.bottom)};
        if (s.left < s.right && s.top < s.bottom) out.push_back(s);
    }
    return out;
}

}  // namespace kbskin
