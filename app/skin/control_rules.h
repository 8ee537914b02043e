// Rules of the report list, the hyperlink label and the arrow animation that do
// not need a window: tested natively, applied by the Win32 controls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skin_values.h"

namespace kbskin {

// --- Report list ------------------------------------------------------------

// 0: no boxes; 1: system toggling; 2: at most one ticked; 3: read-only boxes.
enum class CheckMode { None = 0, Toggle = 1, Single = 2, Locked = 3 };

// Check states after the user's mouse changed `row` to `ticked`. Mode 2 unticks
// every other row when one is ticked; mode 3 puts the previous state back; a row
// outside the list changes nothing.
[[nodiscard]] std::vector<bool> ApplyUserCheck(CheckMode mode, std::vector<bool> states, int row,
                                               bool ticked);

// Row order of a sort: plain code-unit comparison, descending when asked.
[[nodiscard]] bool SortsBefore(std::wstring_view a, std::wstring_view b, bool ascending);

// Rows in the list after a deletion, and the row to select then when asked:
// the next one, or the previous when the last was deleted; -1 when none is left.
[[nodiscard]] int NeighbourAfterDelete(int deleted, int countAfter);

// --- Hyperlink label ------------------------------------------------------------

// Message text for a shell error number ("Unknown Error (%d) occurred." for others).
[[nodiscard]] std::wstring LinkErrorText(int code);
// Full message shown when opening fails.
[[nodiscard]] std::wstring LinkFailureMessage(int code);

// Command line to open `url` with the registered opener of HTML files: the
// command cut at its first quoted "%1" (or else its first bare %1), then a blank
// and the url. Nothing when the result would not fit `limit` characters with the
// terminator, so no address is ever cut silently.
[[nodiscard]] std::optional<std::wstring> OpenerCommandLine(std::wstring_view command,
                                                            std::wstring_view url,
                                                            std::size_t limit = 260);

// --- Arrow animation -----------------------------------------------------------

// Per side: the current frame (0 or 1) and whether it animates.
class ArrowState {
public:
    // One step: frame below 2 is remembered, 2 reuses the remembered one;
    // setEnable stores enable. Returns the frame to show, or nothing when the
    // side is disabled.
    [[nodiscard]] std::optional<int> Step(ArrowSide side, int frame, bool setEnable, bool enable);
    [[nodiscard]] int Frame(ArrowSide side) const { return frame_[static_cast<int>(side)]; }
    [[nodiscard]] bool Enabled(ArrowSide side) const { return enabled_[static_cast<int>(side)]; }

private:
    int frame_[2] = {0, 0};
    bool enabled_[2] = {true, true};
};

}  // namespace kbskin
