#include "profile_layers.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

namespace kb {
namespace {

constexpr std::uint8_t kMagic[4] = {'P', 'X', 'L', 'Y'};
constexpr std::uint16_t kTagLayer = 1, kTagLayerKey = 2, kTagTapHold = 3;
constexpr std::size_t kLayerKeySize = 4, kTapHoldSize = 10, kLayerEntrySize = 8;

constexpr std::array<std::uint32_t, 256> crcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto kCrcTable = crcTable();

bool targetKey(WinMakeCode code) noexcept { return code != 0 && listCodeOfKey(code) != kEmptyListCode; }

std::string at(const char* what, int slot) { return std::string(what) + " slot " + std::to_string(slot); }

// Appends little-endian values.
class Writer {
public:
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void put32(std::size_t offset, std::uint32_t v) { writeU32(bytes.data() + offset, v); }
    std::vector<std::uint8_t> bytes;
};

// Bounded reads: every read past the end fails and leaves the reader failed.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> b) : b_(b) {}
    bool take(std::size_t n, std::span<const std::uint8_t>& out) {
        if (!ok_ || n > b_.size() - pos_) return ok_ = false;
        out = b_.subspan(pos_, n);
        pos_ += n;
        return true;
    }
    std::uint8_t u8() {
        std::span<const std::uint8_t> s;
        return take(1, s) ? s[0] : 0;
    }
    std::uint16_t u16() {
        std::span<const std::uint8_t> s;
        return take(2, s) ? readU16(s.data()) : 0;
    }
    std::uint32_t u32() {
        std::span<const std::uint8_t> s;
        return take(4, s) ? readU32(s.data()) : 0;
    }
    [[nodiscard]] bool ok() const noexcept { return ok_; }
    [[nodiscard]] bool atEnd() const noexcept { return pos_ == b_.size(); }

private:
    std::span<const std::uint8_t> b_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

void encodeLayer(Writer& w, int number, const Layer& layer) {
    std::uint64_t poolSize = 0;
    for (const auto& [slot, e] : layer.keys) {
        if (carriesText(e.entry.type)) poolSize += 2 * std::uint64_t{e.text.size()} + 2;
    }
    const std::uint64_t length = 4 + layer.keys.size() * kLayerEntrySize + 4 + poolSize;
    if (length > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("layer too large");
    w.u16(kTagLayer);
    w.u16(0);
    w.u32(static_cast<std::uint32_t>(length));
    w.u16(static_cast<std::uint16_t>(number));
    w.u16(static_cast<std::uint16_t>(layer.keys.size()));
    std::uint32_t offset = 0;
    for (const auto& [slot, e] : layer.keys) {
        w.u16(static_cast<std::uint16_t>(slot));
        w.u16(e.entry.type);
        if (carriesText(e.entry.type)) {
            w.u32(offset);
            offset += static_cast<std::uint32_t>(2 * e.text.size() + 2);
        } else {
            w.u32(e.entry.parameter);
        }
    }
    w.u32(static_cast<std::uint32_t>(poolSize));
    for (const auto& [slot, e] : layer.keys) {
        if (!carriesText(e.entry.type)) continue;
        for (char16_t u : e.text) w.u16(static_cast<std::uint16_t>(u));
        w.u16(0);
    }
}

bool decodeLayer(std::span<const std::uint8_t> payload, int expected, Layer& out, std::string& reason) {
    Reader r(payload);
    const std::uint16_t number = r.u16();
    const std::uint16_t count = r.u16();
    if (!r.ok() || number != expected) {
        reason = "layer " + std::to_string(number) + " where layer " + std::to_string(expected) + " belongs";
        return false;
    }
    struct Raw {
        int slot;
        KeyEntry entry;
    };
    std::vector<Raw> raw;
    raw.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const int slot = r.u16();
        const std::uint16_t type = r.u16();
        const std::uint32_t parameter = r.u32();
        raw.push_back({slot, {type, 0, parameter}});
    }
    std::span<const std::uint8_t> pool;
    const std::uint32_t poolSize = r.u32();
    if (!r.take(poolSize, pool) || !r.atEnd()) {
        reason = "layer " + std::to_string(number) + ": record length does not match its content";
        return false;
    }
    for (const Raw& k : raw) {
        LayerEntry e{k.entry, {}};
        if (carriesText(k.entry.type)) {
            const std::size_t offset = k.entry.parameter;
            if (offset % 2 != 0 || offset >= pool.size()) {
                reason = "layer " + std::to_string(number) + at(":", k.slot) + ": text outside the pool";
                return false;
            }
            std::size_t n = 0;
            const std::size_t room = (pool.size() - offset) / 2;
            while (n < room && readU16(pool.data() + offset + 2 * n) != 0) ++n;
            if (n == room) {
                reason = "layer " + std::to_string(number) + at(":", k.slot) + ": text without terminator";
                return false;
            }
            e.text.resize(n);
            loadUnits(e.text.data(), pool.data() + offset, n);
            e.entry.parameter = 0;
        }
        if (!out.keys.emplace(k.slot, std::move(e)).second) {
            reason = "layer " + std::to_string(number) + at(":", k.slot) + " listed twice";
            return false;
        }
    }
    return true;
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) noexcept {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

const ExtKey* ProfileExtension::keyOf(int slot) const noexcept {
    const auto it = std::lower_bound(keys.begin(), keys.end(), slot,
                                     [](const ExtKey& k, int s) { return k.slot < s; });
    return it != keys.end() && it->slot == slot ? &*it : nullptr;
}

bool layerableSlot(int slot) noexcept { return keyboardKeyOfSlot(slot) >= 0 || keypadKeyOfSlot(slot) >= 0; }

std::string extensionProblem(const ProfileExtension& ext) {
    if (ext.layers.size() > kMaxLayers) return "more than 3 layers";
    const int layerCount = static_cast<int>(ext.layers.size());
    for (int n = 1; n <= layerCount; ++n) {
        const std::string where = "layer " + std::to_string(n);
        if (ext.layers[static_cast<std::size_t>(n - 1)].keys.size() > kKeyboardKeyCount + kKeypadKeyCount) {
            return where + ": more keys than the devices have";
        }
        for (const auto& [slot, e] : ext.layers[static_cast<std::size_t>(n - 1)].keys) {
            if (!layerableSlot(slot)) return where + at(":", slot) + " is not a keyboard or keypad key";
            if (e.entry.type > kMaxFunctionType) return where + at(":", slot) + ": function type above 6";
            if (e.entry.macroKeyCode != 0) return where + at(":", slot) + ": macro key code on an ordinary key";
            if (e.entry.type == static_cast<std::uint16_t>(FunctionType::OtherKey) &&
                !targetKey(static_cast<WinMakeCode>(e.entry.parameter))) {
                return where + at(":", slot) + ": another key that is not in the key list";
            }
            if (!carriesText(e.entry.type) && !e.text.empty()) return where + at(":", slot) + ": a text on a type without one";
            if (e.entry.type == static_cast<std::uint16_t>(FunctionType::LaunchProgram) &&
                e.text.size() > kMaxProgramPathChars) {
                return where + at(":", slot) + ": program path over 259 characters";
            }
            if (e.text.find(u'\0') != std::u16string::npos) return where + at(":", slot) + ": a zero character in the text";
        }
    }
    int previous = -1;
    for (const ExtKey& k : ext.keys) {
        if (!layerableSlot(k.slot)) return at("key", k.slot) + " is not a keyboard or keypad key";
        if (k.slot <= previous) return at("key", k.slot) + ": keys out of order or listed twice";
        previous = k.slot;
        if (k.kind == ExtKeyKind::Layer) {
            if (k.layer < 1 || k.layer > layerCount) {
                return at("key", k.slot) + ": layer " + std::to_string(k.layer) + " does not exist";
            }
            if (k.mode != LayerMode::Momentary && k.mode != LayerMode::Toggle) return at("key", k.slot) + ": unknown mode";
        } else if (k.kind == ExtKeyKind::TapHold) {
            if (!targetKey(k.tap)) return at("key", k.slot) + ": tap key not in the key list";
            if (k.holdLayer > layerCount) {
                return at("key", k.slot) + ": hold layer " + std::to_string(k.holdLayer) + " does not exist";
            }
            if (k.holdLayer == 0 && !targetKey(k.hold)) return at("key", k.slot) + ": hold key not in the key list";
            if (k.termMs < kMinTermMs || k.termMs > kMaxTermMs) return at("key", k.slot) + ": term outside 50 to 1000 ms";
        } else {
            return at("key", k.slot) + ": unknown kind";
        }
    }
    return {};
}

KeyEntry fallbackEntry(const ExtKey& key) noexcept {
    if (key.kind == ExtKeyKind::TapHold) return {static_cast<std::uint16_t>(FunctionType::OtherKey), 0, key.tap};
    return {static_cast<std::uint16_t>(FunctionType::None), 0, 0};
}

void writeFallbacks(ProfileRecord& record, const ProfileExtension& ext) noexcept {
    for (const ExtKey& k : ext.keys) record.setEntry(k.slot, fallbackEntry(k));
}

std::vector<std::uint8_t> encodeExtension(const ProfileExtension& ext) {
    if (ext.empty()) return {};
    if (const std::string problem = extensionProblem(ext); !problem.empty()) throw std::length_error(problem);
    Writer w;
    for (std::uint8_t m : kMagic) w.u8(m);
    w.u16(kExtensionVersion);
    w.u16(static_cast<std::uint16_t>(kExtensionHeaderSize));
    w.u32(0);  // body size and checksum, below
    w.u32(0);
    for (std::size_t i = 0; i < ext.layers.size(); ++i) encodeLayer(w, static_cast<int>(i + 1), ext.layers[i]);
    for (const ExtKey& k : ext.keys) {
        const bool layerKey = k.kind == ExtKeyKind::Layer;
        w.u16(layerKey ? kTagLayerKey : kTagTapHold);
        w.u16(0);
        w.u32(static_cast<std::uint32_t>(layerKey ? kLayerKeySize : kTapHoldSize));
        w.u16(static_cast<std::uint16_t>(k.slot));
        if (layerKey) {
            w.u8(k.layer);
            w.u8(static_cast<std::uint8_t>(k.mode));
        } else {
            w.u16(k.tap);
            w.u16(k.hold);
            w.u8(k.holdLayer);
            w.u8(0);
            w.u16(k.termMs);
        }
    }
    const std::size_t body = w.bytes.size() - kExtensionHeaderSize;
    // A block the readers would cut is never written.
    if (w.bytes.size() > kMaxExtensionBytes) throw std::length_error("layer block over 256 MiB");
    w.put32(8, static_cast<std::uint32_t>(body));
    w.put32(12, crc32(std::span(w.bytes).subspan(kExtensionHeaderSize)));
    return std::move(w.bytes);
}

ExtensionRead decodeExtension(std::span<const std::uint8_t> bytes, ProfileExtension& out, std::string& reason) {
    out = {};
    if (bytes.empty()) return ExtensionRead::None;
    auto damaged = [&](std::string why) {
        out = {};
        reason = std::move(why);
        return ExtensionRead::Damaged;
    };
    // Bytes that are not ours are left alone, as readers of the base format do.
    const std::size_t magic = std::min<std::size_t>(bytes.size(), 4);
    if (!std::equal(kMagic, kMagic + magic, bytes.begin())) return ExtensionRead::None;
    if (bytes.size() < kExtensionHeaderSize) return damaged("layer block cut inside its header");
    if (readU16(bytes.data() + 4) != kExtensionVersion) {
        return damaged("layer block version " + std::to_string(readU16(bytes.data() + 4)));
    }
    if (readU16(bytes.data() + 6) != kExtensionHeaderSize) return damaged("layer block header size");
    const std::uint32_t body = readU32(bytes.data() + 8);
    if (body != bytes.size() - kExtensionHeaderSize) {
        return damaged("layer block of " + std::to_string(body) + " bytes, the file has " +
                       std::to_string(bytes.size() - kExtensionHeaderSize));
    }
    const auto content = bytes.subspan(kExtensionHeaderSize);
    if (crc32(content) != readU32(bytes.data() + 12)) return damaged("layer block checksum mismatch");
    Reader r(content);
    ProfileExtension ext;
    while (r.ok() && !r.atEnd()) {
        const std::uint16_t tag = r.u16();
        (void)r.u16();
        const std::uint32_t length = r.u32();
        std::span<const std::uint8_t> payload;
        if (!r.take(length, payload)) return damaged("layer block record runs past the block");
        if (tag == kTagLayer) {
            if (ext.layers.size() >= kMaxLayers) return damaged("more than 3 layers");
            Layer layer;
            std::string why;
            if (!decodeLayer(payload, static_cast<int>(ext.layers.size() + 1), layer, why)) return damaged(why);
            ext.layers.push_back(std::move(layer));
        } else if (tag == kTagLayerKey || tag == kTagTapHold) {
            const bool layerKey = tag == kTagLayerKey;
            if (length != (layerKey ? kLayerKeySize : kTapHoldSize)) return damaged("key record of the wrong length");
            Reader p(payload);
            ExtKey k;
            k.slot = p.u16();
            k.kind = layerKey ? ExtKeyKind::Layer : ExtKeyKind::TapHold;
            if (layerKey) {
                k.layer = p.u8();
                k.mode = static_cast<LayerMode>(p.u8());
            } else {
                k.tap = p.u16();
                k.hold = p.u16();
                k.holdLayer = p.u8();
                (void)p.u8();
                k.termMs = p.u16();
            }
            ext.keys.push_back(k);
        }
        // Other tags: a later version's records, skipped.
    }
    if (!r.ok()) return damaged("layer block record header runs past the block");
    if (std::string problem = extensionProblem(ext); !problem.empty()) return damaged(std::move(problem));
    out = std::move(ext);
    return ExtensionRead::Read;
}

}  // namespace kb
