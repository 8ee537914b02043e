// Profiles as text: the JSON form of a profile file and the hex form of the
// driver tables that applying it would send.
#pragma once

#include "profile_file.h"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

namespace kb::px3 {

// Bad input, with a one-line message naming where it is.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[nodiscard]] nlohmann::ordered_json profileToJson(const ProfileContent& content);
// Throws InputError for wrong types, out-of-range numbers and texts too long.
[[nodiscard]] ProfileContent profileFromJson(const nlohmann::json& json, std::uint8_t& defaultMark);
// The file bytes for a JSON profile, written by the program's own save code.
[[nodiscard]] std::vector<std::uint8_t> buildFromJson(const nlohmann::json& json);

// "keyboard 174", 174 lines of 48 hex digits, "keypad 46", 46 lines. The
// event field holds the 1-based event number.
[[nodiscard]] std::string tablesText(const ProfileContent& content);

[[nodiscard]] std::string toUtf8(std::u16string_view text, bool& wellFormed);
[[nodiscard]] std::u16string fromUtf8(std::string_view text);

}  // namespace kb::px3
