#include "picture_check.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace kbskin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Byte by byte: GCC 12's bounds warnings misfire on inserted initializer lists.
void add(Bytes& b, std::initializer_list<int> bytes) {
    for (int v : bytes) b.push_back(std::uint8_t(v));
}
void fill(Bytes& b, std::size_t n, std::uint8_t v) {
    for (std::size_t i = 0; i < n; ++i) b.push_back(v);
}

void segment(Bytes& b, std::uint8_t marker, std::size_t payload) {
    add(b, {0xFF, marker, int((payload + 2) >> 8), int((payload + 2) & 0xFF)});
    fill(b, payload, 0x11);
}

// SOI, APP0, DQT, SOF0, DHT, SOS, entropy data with a stuffed byte and a
// restart marker, EOI: the shape of a baseline JPEG.
Bytes jpeg() {
    Bytes b;
    add(b, {0xFF, 0xD8});
    segment(b, 0xE0, 14);
    segment(b, 0xDB, 65);
    segment(b, 0xC0, 15);
    segment(b, 0xC4, 30);
    segment(b, 0xDA, 10);
    add(b, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0x78});
    add(b, {0xFF, 0xD9});
    return b;
}

Bytes bmp(int width, int height, int bits) {
    const std::uint32_t stride = ((width * bits + 31) / 32) * 4;
    const std::uint32_t off = 14 + 40 + (bits <= 8 ? (4u << bits) : 0);
    const std::uint32_t size = off + stride * std::uint32_t(height < 0 ? -height : height);
    Bytes b(size, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, size);
    put32(10, off);
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));
    b[26] = 1;
    b[28] = std::uint8_t(bits);
    return b;
}

Bytes gif() {
    Bytes b;
    add(b, {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0});
    fill(b, 6, 0x00);                                   // global table of 2 colours
    add(b, {0x21, 0xF9, 4, 0, 0, 0, 0, 0});            // graphic control extension
    add(b, {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0});         // image descriptor
    add(b, {2, 3, 0x44, 0x01, 0x05, 0});               // LZW data in one sub-block
    b.push_back(0x3B);
    return b;
}

TEST(PictureCheck, WholeFilesOfEachKindPass) {
    EXPECT_EQ(SniffPicture(jpeg()), PictureKind::Jpeg);
    EXPECT_TRUE(PictureIsComplete(jpeg()));
    EXPECT_EQ(SniffPicture(bmp(3, 2, 24)), PictureKind::Bmp);
    EXPECT_TRUE(PictureIsComplete(bmp(3, 2, 24)));
    EXPECT_TRUE(PictureIsComplete(bmp(5, -4, 32)));  // top-down rows
    EXPECT_TRUE(PictureIsComplete(bmp(9, 9, 1)));    // mask with a two-colour palette
    EXPECT_EQ(SniffPicture(gif()), PictureKind::Gif);
    EXPECT_TRUE(PictureIsComplete(gif()));
}

TEST(PictureCheck, EveryTruncationIsDamage) {
    for (const Bytes& whole : {jpeg(), bmp(7, 3, 24), gif()}) {
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const Bytes cut(whole.begin(), whole.begin() + std::ptrdiff_t(n));
            EXPECT_FALSE(PictureIsComplete(cut)) << "kind " << int(SniffPicture(whole)) << " cut at " << n;
        }
    }
}

TEST(PictureCheck, LengthsThatPointOutsideTheFileAreDamage) {
    Bytes b = jpeg();
    b[5] = 0xF0;  // APP0 length far past the end
    EXPECT_FALSE(PictureIsComplete(b));

    Bytes noFrame;
    add(noFrame, {0xFF, 0xD8});
    segment(noFrame, 0xDA, 10);
    add(noFrame, {0x00, 0xFF, 0xD9});
    EXPECT_FALSE(PictureIsComplete(noFrame));  // a scan without a frame header

    Bytes big = bmp(4, 4, 24);
    big[18] = 0xFF, big[19] = 0xFF, big[20] = 0xFF, big[21] = 0x7F;  // width 2^31-1
    EXPECT_FALSE(PictureIsComplete(big));
    Bytes off = bmp(4, 4, 24);
    off[10] = 0xFF, off[11] = 0xFF;  // pixel array beyond the file
    EXPECT_FALSE(PictureIsComplete(off));
    Bytes depth = bmp(4, 4, 24);
    depth[28] = 7;
    EXPECT_FALSE(PictureIsComplete(depth));

    Bytes g = gif();
    g[g.size() - 6] = 0x40;  // sub-block claims more than there is
    EXPECT_FALSE(PictureIsComplete(g));
}

TEST(PictureCheck, OtherFilesAreNotPictures) {
    EXPECT_EQ(SniffPicture(Bytes{}), PictureKind::Unknown);
    const Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0};
    EXPECT_FALSE(PictureIsComplete(png));
    const Bytes text{'[', 'S', 'C', 'R', 'E', 'E', 'N', ']'};
    EXPECT_FALSE(PictureIsComplete(text));
    // Trailing bytes after the end marker are harmless.
    Bytes tail = jpeg();
    fill(tail, 16, 0x00);
    EXPECT_TRUE(PictureIsComplete(tail));
}

}  // namespace
}  // namespace kbskin
