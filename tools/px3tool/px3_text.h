// Profiles as text for px3tool: the JSON form (profile_json.h, shared with
// the program) and the hex form of the driver tables that applying a profile
// would send.
#pragma once

#include "profile_json.h"

#include <string>

namespace kb::px3 {

// "keyboard 174", 174 lines of 48 hex digits, "keypad 46", 46 lines. The
// event field holds the 1-based event number.
[[nodiscard]] std::string tablesText(const ProfileContent& content);

}  // namespace kb::px3
