// kbsim's text side: argument parsing and the line formats that tests parse. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kb::sim {

// A win make code in hexadecimal ("11C", "0x1e"): 1 to 0x17F with a non-zero low byte.
[[nodiscard]] std::optional<std::uint16_t> parseMakeCode(std::string_view text);

// One output log entry (20 bytes) as "phys key SS FFFF" or "inj mouse FFFF BBBB DDDD X Y";
// nullopt when the entry is malformed.
[[nodiscard]] std::optional<std::string> formatLogEntry(std::span<const std::uint8_t> entry);

// One 24-byte key record as 24 two-digit hex bytes separated by blanks.
[[nodiscard]] std::string formatRecord(std::span<const std::uint8_t> record);

// The two status bytes as "05 03".
[[nodiscard]] std::string formatStatus(std::uint8_t b0, std::uint8_t b1);

}  // namespace kb::sim
