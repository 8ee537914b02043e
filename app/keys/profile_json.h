// Profiles as JSON: the exchange form that px3tool dumps and builds and that
// the profile manager exports and loads.
#pragma once

#include "profile_file.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kb::px3 {

// Bad input, with a one-line message naming where it is ("slots[3].type: ...").
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // The field the message names: the text before the first ": ".
    [[nodiscard]] std::string field() const;
};

[[nodiscard]] nlohmann::ordered_json profileToJson(const ProfileContent& content);
// Throws InputError for wrong types, out-of-range numbers and texts too long.
[[nodiscard]] ProfileContent profileFromJson(const nlohmann::json& json, std::uint8_t& defaultMark);
// The file bytes for a JSON profile, written by the program's own save code.
[[nodiscard]] std::vector<std::uint8_t> buildFromJson(const nlohmann::json& json);

[[nodiscard]] std::string toUtf8(std::u16string_view text, bool& wellFormed);
[[nodiscard]] std::u16string fromUtf8(std::string_view text);
// Lower-case hex digits, two per byte.
[[nodiscard]] std::string hexBytes(const std::uint8_t* bytes, std::size_t n);

// Where a JSON text goes wrong: the 1-based line, the field ("slots[3].type",
// "" for the whole text) and what is wrong.
struct JsonProblem {
    std::size_t line = 0;
    std::string field;
    std::string detail;
};
// The line on which the field's value starts (the nearest enclosing field's
// when it is missing), for a text that parses.
[[nodiscard]] std::size_t lineOfField(std::string_view text, std::string_view field);
// The profile file bytes for a JSON text; nothing and the problem when the
// text is malformed or a value is out of range.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> profileBytesFromJsonText(std::string_view text,
                                                                              JsonProblem& problem);
// The JSON text of a profile file's content, as px3tool dump prints it.
[[nodiscard]] std::string profileJsonText(const ProfileContent& content);

}  // namespace kb::px3
