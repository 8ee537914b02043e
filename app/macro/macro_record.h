// Macro records as the profile file and the playback engine hold them: fixed
// 5120-byte records kept as their own bytes, so copies are plain byte copies
// and the file layout can never drift from the in-memory one.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

inline constexpr std::size_t kMacroRecordSize = 5120;
inline constexpr std::size_t kMacroActionSize = 8;
inline constexpr std::size_t kMacroNameUnits = 252;
inline constexpr std::size_t kMaxMacroActions = 576;
inline constexpr std::size_t kMaxMacros = 100;
inline constexpr std::size_t kMaxMacroNameChars = 100;
inline constexpr std::uint32_t kMaxStepDelayMs = 3'600'000;
inline constexpr std::uint16_t kMaxMacroId = 100;
// Play modes 0 once, 1 while the key is held, 2 until the key is pressed again.
inline constexpr std::uint16_t kPlayModeCount = 3;

struct MacroAction {
    std::uint32_t delayMs = 0;
    std::uint16_t makeCode = 0;
    std::uint16_t direction = 0;  // 0 press, 1 release
    friend bool operator==(const MacroAction&, const MacroAction&) = default;
};

// Little-endian helpers shared by every byte layout of the model.
inline std::uint16_t readU16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readU32(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void writeU16(std::uint8_t* p, std::uint16_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void writeU32(std::uint8_t* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// UTF-16 units to and from their little-endian bytes.
inline void storeUnits(std::uint8_t* dst, const char16_t* src, std::size_t n) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(dst, src, 2 * n);
    } else {
        for (std::size_t i = 0; i < n; ++i) writeU16(dst + 2 * i, static_cast<std::uint16_t>(src[i]));
    }
}
inline void loadUnits(char16_t* dst, const std::uint8_t* src, std::size_t n) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(dst, src, 2 * n);
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char16_t>(readU16(src + 2 * i));
    }
}

class MacroRecord {
public:
    static constexpr std::size_t kNameOffset = 0;
    static constexpr std::size_t kIsNewOffset = 504;
    static constexpr std::size_t kPlayModeOffset = 506;
    static constexpr std::size_t kMacroIdOffset = 508;
    static constexpr std::size_t kActionCountOffset = 510;
    static constexpr std::size_t kActionsOffset = 512;

    MacroRecord() noexcept { bytes_.fill(0); }
    // A record as stored: kMacroRecordSize bytes.
    explicit MacroRecord(const std::uint8_t* stored) noexcept { std::memcpy(bytes_.data(), stored, kMacroRecordSize); }

    // The name up to its terminator (or the whole field when it has none).
    [[nodiscard]] std::u16string name() const;
    // Stores at most kMacroNameUnits - 1 units; the rest of the field is zeroed
    // so that equal names give equal records.
    void setName(std::u16string_view name) noexcept;
    // Unit i of the name field, terminator and tail included.
    [[nodiscard]] char16_t nameUnit(std::size_t i) const noexcept;
    void setNameUnit(std::size_t i, char16_t unit) noexcept;

    [[nodiscard]] std::uint16_t isNew() const noexcept { return readU16(&bytes_[kIsNewOffset]); }
    void setIsNew(std::uint16_t v) noexcept { writeU16(&bytes_[kIsNewOffset], v); }
    [[nodiscard]] std::uint16_t playMode() const noexcept { return readU16(&bytes_[kPlayModeOffset]); }
    void setPlayMode(std::uint16_t v) noexcept { writeU16(&bytes_[kPlayModeOffset], v); }
    [[nodiscard]] std::uint16_t macroId() const noexcept { return readU16(&bytes_[kMacroIdOffset]); }
    void setMacroId(std::uint16_t v) noexcept { writeU16(&bytes_[kMacroIdOffset], v); }
    // The stored count; callers that index actions use usedActions().
    [[nodiscard]] std::uint16_t actionCount() const noexcept {
        return readU16(&bytes_[kActionCountOffset]);
    }
    void setActionCount(std::uint16_t v) noexcept { writeU16(&bytes_[kActionCountOffset], v); }
    // The stored count limited to the record's room.
    [[nodiscard]] std::size_t usedActions() const noexcept;

    // i < kMaxMacroActions, else a zero action / ignored.
    [[nodiscard]] MacroAction action(std::size_t i) const noexcept;
    void setAction(std::size_t i, const MacroAction& a) noexcept;
    // Replaces the used steps (at most kMaxMacroActions are kept) and zeroes the
    // unused slots, so a shortened list leaves nothing stale behind.
    void setActions(const std::vector<MacroAction>& actions) noexcept;
    [[nodiscard]] std::vector<MacroAction> actions() const;
    // Adds one step; false (nothing changes) when the record is full.
    bool appendAction(const MacroAction& a) noexcept;

    // Makes a record read from a file safe to use: a missing name terminator
    // is added in the last unit and a count beyond the room is cut to 576.
    // Returns true when something had to be mended.
    bool sanitize() noexcept;

    [[nodiscard]] const std::uint8_t* data() const noexcept { return bytes_.data(); }
    [[nodiscard]] std::uint8_t* data() noexcept { return bytes_.data(); }
    [[nodiscard]] static constexpr std::size_t size() noexcept { return kMacroRecordSize; }

    friend bool operator==(const MacroRecord&, const MacroRecord&) = default;

private:
    std::array<std::uint8_t, kMacroRecordSize> bytes_;
};

using MacroTable = std::vector<MacroRecord>;

}  // namespace kb
