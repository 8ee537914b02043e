// px3tool check: a profile file validated as the program validates it, then
// linted for what would surprise its user at the keyboard.
#pragma once

#include "profile_file.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kb::px3 {

struct Finding {
    std::string kind;     // "missing-macro", "unplayed-macro", ... (see README)
    int slot = -1;        // the key's slot, -1 when the finding is about a macro
    std::string key;      // the key's name as the main window shows it
    int macroId = -1;     // the macro concerned, -1 when none
    std::string macro;    // its name
    std::string message;  // one line
};

struct CheckReport {
    bool usable = false;
    std::string reason;   // why the file is unusable
    std::vector<Finding> findings;
};

// True when a program path names a file on this machine (a bare name is
// looked up along PATH).
using ProgramExists = std::function<bool(std::u16string_view path)>;
[[nodiscard]] bool programExistsHere(std::u16string_view path);

// Lints content that loaded; `extension` is whatever the file holds after
// its text pool (an extension block, when the file has one).
[[nodiscard]] std::vector<Finding> lintProfile(const ProfileContent& content, std::span<const std::uint8_t> extension,
                                               const ProgramExists& exists);
[[nodiscard]] CheckReport checkProfile(const std::filesystem::path& file, const ProgramExists& exists);

// "slot 30 (A): ..." or "macro 2 "name" (id 5): ...".
[[nodiscard]] std::string findingLine(const Finding& finding);
[[nodiscard]] nlohmann::ordered_json findingJson(const Finding& finding);

}  // namespace kb::px3
