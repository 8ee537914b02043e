// Layers and the two key functions that only this program knows (layer keys,
// tap/hold keys). They live in a block after the text pool that readers of
// the base format never look at; the ordinary entries keep a fallback so such
// a reader still does something sensible with those keys.
#pragma once

#include "profile_record.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace kb {

inline constexpr int kMaxLayers = 3;
inline constexpr std::uint16_t kMinTermMs = 50, kMaxTermMs = 1000, kDefaultTermMs = 200;

enum class LayerMode : std::uint8_t { Momentary = 0, Toggle = 1 };
enum class ExtKeyKind : std::uint8_t { Layer = 1, TapHold = 2 };

// The new function of one ordinary key on the base. A layer that leaves the
// key transparent keeps it: that is how the key works on every layer.
struct ExtKey {
    int slot = 0;
    ExtKeyKind kind = ExtKeyKind::Layer;
    std::uint8_t layer = 1;  // layer key: the layer it turns on
    LayerMode mode = LayerMode::Momentary;
    WinMakeCode tap = 0;          // tap/hold key
    WinMakeCode hold = 0;         // held key when holdLayer is 0
    std::uint8_t holdLayer = 0;   // 1..3: holds that layer instead
    std::uint16_t termMs = kDefaultTermMs;
    friend bool operator==(const ExtKey&, const ExtKey&) = default;
};

// A layer's own function for a key; the entry's macroKeyCode is always 0.
struct LayerEntry {
    KeyEntry entry;
    std::u16string text;  // types 3 and 6
    friend bool operator==(const LayerEntry&, const LayerEntry&) = default;
};

// Keys not listed are transparent: they do what the base says.
struct Layer {
    std::map<int, LayerEntry> keys;
    friend bool operator==(const Layer&, const Layer&) = default;
};

struct ProfileExtension {
    std::vector<Layer> layers;  // layer n is layers[n - 1]
    std::vector<ExtKey> keys;   // ascending slots, one per slot
    [[nodiscard]] bool empty() const noexcept { return layers.empty() && keys.empty(); }
    [[nodiscard]] const ExtKey* keyOf(int slot) const noexcept;
    friend bool operator==(const ProfileExtension&, const ProfileExtension&) = default;
};

// The keyboard's 87 and the keypad's 23 keys; macro keys have no layers.
[[nodiscard]] bool layerableSlot(int slot) noexcept;

// What is wrong with the content (one line naming the place), empty when
// nothing: the block is written only when this is empty.
[[nodiscard]] std::string extensionProblem(const ProfileExtension& ext);

// The ordinary entry a reader of the base format sees for the key: "another
// key" with the tap key, or "no function" for a layer key.
[[nodiscard]] KeyEntry fallbackEntry(const ExtKey& key) noexcept;
void writeFallbacks(ProfileRecord& record, const ProfileExtension& ext) noexcept;

// Block layout, little-endian: header {magic "PXLY", u16 version 1, u16
// header size 16, u32 body size, u32 CRC-32 of the body}, then records
// {u16 tag, u16 0, u32 length, payload}:
//   tag 1, a layer (in layer order): u16 layer number, u16 entry count,
//     count x {u16 slot, u16 type, u32 parameter}, u32 pool size, pool
//     (the layer's texts, laid out as the base pool is);
//   tag 2, a layer key: u16 slot, u8 layer, u8 mode;
//   tag 3, a tap/hold key: u16 slot, u16 tap, u16 hold, u8 hold layer, u8 0, u16 term.
// Records of other tags are skipped.
inline constexpr std::size_t kExtensionHeaderSize = 16;
// Read after the text pool at most: a longer tail comes out cut, so damaged.
inline constexpr std::size_t kMaxExtensionBytes = std::size_t{256} << 20;
inline constexpr std::uint16_t kExtensionVersion = 1;

// The block for the content; no bytes when the content is empty. Throws
// std::length_error when the content has a problem (extensionProblem).
[[nodiscard]] std::vector<std::uint8_t> encodeExtension(const ProfileExtension& ext);

enum class ExtensionRead { None, Read, Damaged };
// Reads the bytes after the described end of a file. None when there are no
// bytes or they do not begin as a block does; Damaged (with the reason, and
// `out` left empty) when they are not a whole, consistent block.
[[nodiscard]] ExtensionRead decodeExtension(std::span<const std::uint8_t> bytes, ProfileExtension& out,
                                            std::string& reason);

[[nodiscard]] std::uint32_t crc32(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace kb
