#include "kbsim_text.h"

#include <cstdio>

#include "kbsim/sieve_ioctl.h"

namespace kb::sim {

namespace {

std::uint16_t rd16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::int32_t rd32s(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16) |
                                     (static_cast<std::uint32_t>(p[3]) << 24));
}

}  // namespace

std::optional<std::uint16_t> parseMakeCode(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    if (value == 0 || value > 0x17F || (value & 0xFF) == 0) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::optional<std::string> formatLogEntry(std::span<const std::uint8_t> entry) {
    if (entry.size() != KBS_LOG_ENTRY_SIZE) return std::nullopt;
    const char* origin = entry[0] == KBS_ORIGIN_PHYSICAL ? "phys" : entry[0] == KBS_ORIGIN_INJECTED ? "inj" : nullptr;
    if (!origin) return std::nullopt;
    const std::uint8_t* r = entry.data() + 4;
    char line[96];
    if (entry[1] == KBS_KIND_KEY) {
        std::snprintf(line, sizeof line, "%s key %02X %04X", origin, rd16(r), rd16(r + 2));
    } else if (entry[1] == KBS_KIND_MOUSE) {
        std::snprintf(line, sizeof line, "%s mouse %04X %04X %04X %ld %ld", origin, rd16(r + 2), rd16(r + 4),
                      rd16(r + 6), static_cast<long>(rd32s(r + 8)), static_cast<long>(rd32s(r + 12)));
    } else {
        return std::nullopt;
    }
    return std::string(line);
}

std::string formatRecord(std::span<const std::uint8_t> record) {
    std::string out;
    char hex[4];
    for (std::size_t i = 0; i < record.size(); ++i) {
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", record[i]);
        out += hex;
    }
    return out;
}

std::string formatStatus(std::uint8_t b0, std::uint8_t b1) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X %02X", b0, b1);
    return text;
}

}  // namespace kb::sim
