#include "picture_check.h"

#include <cstddef>

namespace kbskin {
namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t le16(Bytes b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t le32(Bytes b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Walks marker segments; after each scan, the entropy-coded data up to the next
// real marker. Complete only when EOI is reached inside the file after a frame
// header and at least one scan.
bool jpegComplete(Bytes b) {
    std::size_t p = 2;
    bool frame = false, scan = false;
    while (p + 2 <= b.size()) {
        if (b[p] != 0xFF) return false;
        std::uint8_t m = b[p + 1];
        if (m == 0xFF) {  // fill byte
            ++p;
            continue;
        }
        p += 2;
        if (m == 0xD9) return frame && scan;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;  // no length
        if (p + 2 > b.size()) return false;
        const std::size_t length = (b[p] << 8) | b[p + 1];
        if (length < 2 || p + length > b.size()) return false;
        if ((m >= 0xC0 && m <= 0xCF) && m != 0xC4 && m != 0xC8 && m != 0xCC) frame = true;
        p += length;
        if (m == 0xDA) {
            if (!frame) return false;
            scan = true;
            // Entropy data: FF 00 is a stuffed byte, FF D0..D7 a restart marker.
            while (p + 1 < b.size()) {
                if (b[p] == 0xFF && b[p + 1] != 0x00 && !(b[p + 1] >= 0xD0 && b[p + 1] <= 0xD7) && b[p + 1] != 0xFF) break;
                ++p;
            }
            if (p + 1 >= b.size()) return false;
        }
    }
    return false;
}

bool bmpComplete(Bytes b) {
    if (b.size() < 14 + 12) return false;
    const std::uint64_t offBits = le32(b, 10);
    const std::uint32_t header = le32(b, 14);
    std::int64_t width, height;
    std::uint32_t bits, compression = 0, sizeImage = 0;
    if (header == 12) {
        width = le16(b, 18);
        height = static_cast<std::int16_t>(le16(b, 20));
        bits = le16(b, 24);
    } else {
        if (header < 40 || 14 + static_cast<std::uint64_t>(header) > b.size()) return false;
        width = static_cast<std::int32_t>(le32(b, 18));
        height = static_cast<std::int32_t>(le32(b, 22));
        bits = le16(b, 28);
        compression = le32(b, 30);
        sizeImage = le32(b, 34);
    }
    if (width <= 0 || height == 0 || width > 65535 || height > 65535 || height < -65535) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (offBits < 14 + static_cast<std::uint64_t>(header) || offBits > b.size()) return false;
    std::uint64_t need;
    if (compression == 0 || compression == 3) {  // plain or bit fields
        const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
        need = stride * static_cast<std::uint64_t>(height < 0 ? -height : height);
    } else if (compression == 1 || compression == 2) {  // run-length: trust only a stated size
        if (sizeImage == 0) return false;
        need = sizeImage;
    } else {
        return false;
    }
    return offBits + need <= b.size();
}

bool skipSubBlocks(Bytes b, std::size_t& p) {
    while (true) {
        if (p >= b.size()) return false;
        const std::size_t n = b[p++];
        if (n == 0) return true;
        if (p + n > b.size()) return false;
        p += n;
    }
}

bool gifComplete(Bytes b) {
    if (b.size() < 13) return false;
    std::size_t p = 13;
    const std::uint8_t flags = b[10];
    if (flags & 0x80) p += 3u << ((flags & 7) + 1);
    bool image = false;
    while (p < b.size()) {
        const std::uint8_t block = b[p++];
        if (block == 0x3B) return image;
        if (block == 0x21) {
            if (p >= b.size()) return false;
            ++p;  // label
            if (!skipSubBlocks(b, p)) return false;
        } else if (block == 0x2C) {
            if (p + 9 > b.size()) return false;
            const std::uint8_t local = b[p + 8];
            p += 9;
            if (local & 0x80) p += 3u << ((local & 7) + 1);
            if (p >= b.size()) return false;
            ++p;  // LZW minimum code size
            if (!skipSubBlocks(b, p)) return false;
            image = true;
        } else {
            return false;
        }
    }
    return false;
}

}  // namespace

PictureKind SniffPicture(std::span<const std::uint8_t> b) {
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return PictureKind::Jpeg;
    if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') return PictureKind::Bmp;
    if (b.size() >= 6 && b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8' &&
        (b[4] == '7' || b[4] == '9') && b[5] == 'a')
        return PictureKind::Gif;
    return PictureKind::Unknown;
}

bool PictureIsComplete(std::span<const std::uint8_t> bytes) {
    switch (SniffPicture(bytes)) {
    case PictureKind::Jpeg: return jpegComplete(bytes);
    case PictureKind::Bmp: return bmpComplete(bytes);
    case PictureKind::Gif: return gifComplete(bytes);
    default: return false;
    }
}

}  // namespace kbskin
