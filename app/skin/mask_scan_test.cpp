#include "mask_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>

namespace kbskin {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kInk = 0x203040;

struct Mask {
    int width, height;
    std::vector<std::uint32_t> pixels;  // top row first
    Mask(int w, int h, std::uint32_t fill = kWhite) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}
    void set(int x, int y, std::uint32_t p) { pixels[std::size_t(y) * width + x] = p; }
    // As a bottom-up 32-bit DIB holds it, with a padded stride.
    std::vector<std::uint8_t> bottomUp(std::size_t stride) const {
        std::vector<std::uint8_t> bytes(stride * height, 0xEE);
        for (int y = 0; y < height; ++y)
            std::memcpy(&bytes[stride * (height - 1 - y)], &pixels[std::size_t(y) * width], std::size_t(width) * 4);
        return bytes;
    }
};

using Pixels = std::set<std::pair<int, int>>;

struct Scan {
    std::vector<std::vector<RunRect>> batches;
    Pixels covered;
    std::size_t rects = 0;
};

Scan scan(const Mask& m, std::size_t batch = kRegionBatch, std::uint32_t tolerance = 0) {
    const std::size_t stride = std::size_t(m.width) * 4 + 8;
    const auto bytes = m.bottomUp(stride);
    Scan s;
    const PixelView view{bytes.data(), m.width, m.height, stride, true};
    EXPECT_TRUE(ScanMask(view, kWhite, tolerance, [&](std::span<const RunRect> runs) {
        s.batches.emplace_back(runs.begin(), runs.end());
        for (const auto& r : runs) {
            EXPECT_EQ(r.bottom, r.top + 1);
            EXPECT_LT(r.left, r.right);
            for (int x = r.left; x < r.right; ++x) EXPECT_TRUE(s.covered.insert({x, r.top}).second);
            ++s.rects;
        }
        return true;
    }, batch));
    return s;
}

Pixels opaque(const Mask& m) {
    Pixels p;
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            if ((m.pixels[std::size_t(y) * m.width + x] & 0xFFFFFF) != kWhite) p.insert({x, y});
    return p;
}

TEST(MaskScan, FullRowsGiveOneRunPerRow) {
    const Mask m(7, 5, kInk);
    const Scan s = scan(m);
    ASSERT_EQ(s.batches.size(), 1u);
    ASSERT_EQ(s.rects, 5u);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(s.batches[0][y], (RunRect{0, y, 7, y + 1}));
}

TEST(MaskScan, HolesSplitRowsAndTopRowComesFirst) {
    Mask m(6, 3, kInk);
    m.set(2, 0, kWhite);  // hole inside the top row
    m.set(0, 2, kWhite);
    m.set(5, 2, kWhite);
    for (int x = 0; x < 6; ++x) m.set(x, 1, kWhite);  // a fully transparent row
    const Scan s = scan(m);
    ASSERT_EQ(s.batches.size(), 1u);
    const std::vector<RunRect> expected{{0, 0, 2, 1}, {3, 0, 6, 1}, {1, 2, 5, 3}};
    EXPECT_EQ(s.batches[0], expected);
    EXPECT_EQ(s.covered, opaque(m));
}

TEST(MaskScan, OnlyPureWhiteIsTransparentAndTheFourthByteIsIgnored) {
    Mask m(4, 1, kWhite);
    m.set(0, 0, 0xFFFFFE);     // nearly white is still window
    m.set(1, 0, 0xFF000000 | kWhite);  // white with a set top byte is a hole
    m.set(3, 0, 0xFEFFFF);
    const Scan s = scan(m);
    EXPECT_EQ(s.covered, (Pixels{{0, 0}, {3, 0}}));
    EXPECT_TRUE(IsTransparent(0xF0F0F0, 0xF0F0F0, 0x0F0F0F));
    EXPECT_TRUE(IsTransparent(0xFFFFFF, 0xF0F0F0, 0x808080));  // high end capped at 255
    EXPECT_FALSE(IsTransparent(0xEFF0F0, 0xF0F0F0, 0x0F0F0F));
}

TEST(MaskScan, NoOpaquePixelGivesOneEmptyBatch) {
    const Scan s = scan(Mask(9, 4, kWhite));
    ASSERT_EQ(s.batches.size(), 1u);
    EXPECT_TRUE(s.batches[0].empty());
}

TEST(MaskScan, ManyRunsAreBatchedAndCoverTheSamePixelsAsOneRequest) {
    // A checkerboard of 101 x 60 has 51 runs in even rows and 50 in odd rows: 3030 runs.
    Mask m(101, 60, kWhite);
    for (int y = 0; y < m.height; ++y)
        for (int x = (y % 2); x < m.width; x += 2) m.set(x, y, kInk);
    const Scan batched = scan(m);
    EXPECT_EQ(batched.rects, 3030u);
    ASSERT_EQ(batched.batches.size(), 2u);
    EXPECT_EQ(batched.batches[0].size(), kRegionBatch);
    EXPECT_EQ(batched.batches[1].size(), 1030u);
    const Scan single = scan(m, 1000000);
    ASSERT_EQ(single.batches.size(), 1u);
    EXPECT_EQ(batched.covered, single.covered);
    EXPECT_EQ(batched.covered, opaque(m));
}

TEST(MaskScan, ExactMultipleOfTheBatchEndsWithAnEmptyRequest) {
    Mask m(8, 3, kWhite);
    for (int y = 0; y < 3; ++y) m.set(1, y, kInk), m.set(5, y, kInk);
    const Scan s = scan(m, 3);
    ASSERT_EQ(s.batches.size(), 3u);
    EXPECT_EQ(s.batches[0].size(), 3u);
    EXPECT_EQ(s.batches[1].size(), 3u);
    EXPECT_TRUE(s.batches[2].empty());
    EXPECT_EQ(s.covered, opaque(m));
}

TEST(MaskScan, StopsWhenTheSinkFailsAndRejectsBadViews) {
    Mask m(4, 4, kInk);
    const auto bytes = m.bottomUp(16);
    int calls = 0;
    EXPECT_FALSE(ScanMask({bytes.data(), 4, 4, 16, true}, kWhite, 0, [&](auto) { return ++calls, false; }, 2));
    EXPECT_EQ(calls, 1);
    // A stride too short for the width is not read past; nothing opaque is reported.
    std::size_t runs = 0;
    EXPECT_TRUE(ScanMask({bytes.data(), 4, 4, 8, true}, kWhite, 0, [&](auto r) { return runs += r.size(), true; }));
    EXPECT_EQ(runs, 0u);
}

}  // namespace
}  // namespace kbskin
