#include "records.h"

namespace kb::kinset {
namespace {

void put16(std::uint8_t* p, std::uint16_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint16_t get16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

Record keyRecord(std::uint8_t scanCode, std::uint16_t flags) noexcept {
    Record r{};
    put16(&r[0], scanCode);
    put16(&r[2], flags);
    return r;
}

Record encodeMouseRecord(const MouseRecord& m) noexcept {
    Record r{};
    put16(&r[0], m.unitId);
    put16(&r[2], m.flags);
    put16(&r[4], m.buttonFlags);
    put16(&r[6], static_cast<std::uint16_t>(m.buttonData));
    put32(&r[8], static_cast<std::uint32_t>(m.x));
    put32(&r[12], static_cast<std::uint32_t>(m.y));
    return r;
}

MouseRecord decodeMouseRecord(const std::uint8_t* b) noexcept {
    MouseRecord m;
    m.unitId = get16(b);
    m.flags = get16(b + 2);
    m.buttonFlags = get16(b + 4);
    m.buttonData = static_cast<std::int16_t>(get16(b + 6));
    m.x = static_cast<std::int32_t>(get32(b + 8));
    m.y = static_cast<std::int32_t>(get32(b + 12));
    return m;
}

MouseAction decodeMouseAction(const std::uint8_t* b) noexcept {
    MouseAction a;
    a.kind = get16(b);
    a.style = get16(b + 4);
    a.target = get16(b + 6);
    a.x = static_cast<std::int32_t>(get32(b + 8));
    a.y = static_cast<std::int32_t>(get32(b + 12));
    return a;
}

std::array<std::uint8_t, kRecordSize> encodeMouseAction(const MouseAction& a) noexcept {
    std::array<std::uint8_t, kRecordSize> r{};
    put16(&r[0], a.kind);
    put16(&r[4], a.style);
    put16(&r[6], a.target);
    put32(&r[8], static_cast<std::uint32_t>(a.x));
    put32(&r[12], static_cast<std::uint32_t>(a.y));
    return r;
}

}  // namespace kb::kinset
