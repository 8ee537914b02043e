// Structure check of a skin picture file before it reaches the system decoder,
// which paints a truncated file grey instead of failing. Portable.
#pragma once

#include <cstdint>
#include <span>

namespace kbskin {

enum class PictureKind { Unknown, Jpeg, Bmp, Gif };

// The kind named by the file's signature.
[[nodiscard]] PictureKind SniffPicture(std::span<const std::uint8_t> bytes);

// True when the bytes hold a whole JPEG, BMP or GIF: every segment, header and
// block lies inside the file and the end marker (JPEG EOI, GIF trailer, BMP
// pixel array) is present. Anything else is damaged.
[[nodiscard]] bool PictureIsComplete(std::span<const std::uint8_t> bytes);

}  // namespace kbskin
