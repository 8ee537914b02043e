// Run-length scan of a window mask into one-pixel-high rectangles, in batches
// small enough for one region request each. Portable; the Win32 side turns each
// batch into a region and unites them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace kbskin {

struct RunRect {
    int left, top, right, bottom;
    friend bool operator==(const RunRect&, const RunRect&) = default;
};

// Rectangles per region request: large requests fail on some systems.
inline constexpr std::size_t kRegionBatch = 2000;

// 32-bit pixels 0x00RRGGBB (as a 32-bit DIB holds them: blue in the low byte);
// the top byte is ignored. Rows are `strideBytes` apart. `bottomUp` means the
// first row in memory is the picture's last row.
struct PixelView {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::size_t strideBytes = 0;
    bool bottomUp = false;
    [[nodiscard]] std::uint32_t at(int x, int y) const;
};

// A pixel is transparent when each colour channel lies in key .. min(255, key + tolerance).
[[nodiscard]] bool IsTransparent(std::uint32_t pixel, std::uint32_t key, std::uint32_t tolerance);

// Scans rows top to bottom; hands over each batch of at most `batch` runs (the
// last possibly empty, so a fully transparent mask still yields one empty batch).
// Stops and returns false when `sink` returns false.
[[nodiscard]] bool ScanMask(const PixelView& view, std::uint32_t key, std::uint32_t tolerance,
                            const std::function<bool(std::span<const RunRect>)>& sink,
                            std::size_t batch = kRegionBatch);

}  // namespace kbskin
