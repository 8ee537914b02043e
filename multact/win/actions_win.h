// The actions carried out with the window system; each returns the result
// of its action code and never lets an exception out.
#pragma once

#include "action_rules.h"

namespace kb::multact {

// Runs the action that the entry and code name; text and parameters are
// used by the Multact2 codes only and may be null.
[[nodiscard]] int runAction(Entry entry, int code, const wchar_t* text, const wchar_t* parameters) noexcept;

}  // namespace kb::multact
