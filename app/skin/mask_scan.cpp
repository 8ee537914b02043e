#include "mask_scan.h"

#include <algorithm>
#include <cstring>

namespace kbskin {

std::uint32_t PixelView::at(int x, int y) const {
    const int row = bottomUp ? height - 1 - y : y;
    std::uint32_t pixel;
    std::memcpy(&pixel, bits + static_cast<std::size_t>(row) * strideBytes + static_cast<std::size_t>(x) * 4, 4);
    return pixel;
}

bool IsTransparent(std::uint32_t pixel, std::uint32_t key, std::uint32_t tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t p = (pixel >> shift) & 0xFF;
        const std::uint32_t low = (key >> shift) & 0xFF;
        const std::uint32_t high = std::min<std::uint32_t>(255, low + ((tolerance >> shift) & 0xFF));
        if (p < low || p > high) return false;
    }
    return true;
}

bool ScanMask(const PixelView& view, std::uint32_t key, std::uint32_t tolerance,
              const std::function<bool(std::span<const RunRect>)>& sink, std::size_t batch) {
    batch = std::max<std::size_t>(batch, 1);
    std::vector<RunRect> runs;
    runs.reserve(std::min<std::size_t>(batch, 100));
    const bool usable = view.bits != nullptr && view.width > 0 && view.height > 0 &&
                        view.strideBytes >= static_cast<std::size_t>(view.width) * 4;
    for (int y = 0; usable && y < view.height; ++y) {
        int x = 0;
        while (x < view.width) {
            while (x < view.width && IsTransparent(view.at(x, y), key, tolerance)) ++x;
            if (x >= view.width) break;
            const int x0 = x;
            while (x < view.width && !IsTransparent(view.at(x, y), key, tolerance)) ++x;
            runs.push_back({x0, y, x, y + 1});
            if (runs.size() == batch) {
                if (!sink(runs)) return false;
                runs.clear();
            }
        }
    }
    return sink(runs);
}

}  // namespace kbskin
