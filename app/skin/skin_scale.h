// Display scales and the skin set drawn for each. Portable: the rules are
// tested natively, the Win32 side only asks them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mask_scan.h"
#include "skin_values.h"

namespace kbskin {

// The skin's own pixels are meant for this many dots per inch.
inline constexpr int kBaseDpi = 96;
// Scales that may have a set of their own, in per cent. 100 is the skin folder
// itself; every other set lies in a subfolder named by its number.
inline constexpr int kSkinScales[] = {100, 125, 150, 175, 200};

// A rational factor, so that scaling by 144/96 is exact.
struct ScaleFactor {
    int num = 1;
    int den = 1;
    [[nodiscard]] bool identity() const noexcept { return num == den; }
    // v * num / den, halves away from zero.
    [[nodiscard]] int apply(int v) const noexcept;
    friend bool operator==(const ScaleFactor&, const ScaleFactor&) = default;
};

struct SkinSetChoice {
    int percent = 100;    // the set: 100 = the skin folder, else its subfolder
    ScaleFactor stretch;  // from the set's pixels to the display's; identity when the set fits
    friend bool operator==(const SkinSetChoice&, const SkinSetChoice&) = default;
};

// The set for `dpi` among `available` (per cent; 100 counts as present
// whether listed or not): the nearest at or above the display's scale, drawn
// scaled down to it when it is not exact; above the largest set, the largest,
// stretched up. Below 96 DPI the skin keeps its own pixels.
[[nodiscard]] SkinSetChoice ChooseSkinSet(int dpi, std::span<const int> available);

// The same file in a set: the set's folder goes before the file name
// ("...\Skins\Main.ini" at 150 gives "...\Skins\150\Main.ini"); 100 leaves the path.
[[nodiscard]] std::wstring SkinSetPath(std::wstring_view path, int percent);

// Scales the edges, not the sizes, so controls that meet still meet and a
// face offset stays on its face in a picture stretched by the same factor.
[[nodiscard]] SkinRect ScaleSkinRect(SkinRect r, ScaleFactor f);

// Runs of a mask scaled like its picture; runs that vanish are dropped.
[[nodiscard]] std::vector<RunRect> ScaleRuns(std::span<const RunRect> runs, ScaleFactor f);

}  // namespace kbskin
