// The macro editor's step list: what the rows hold, which row is selected,
// the in-place edits with their limits and the four moves. The dialog shows
// this list; it never edits rows behind its back.
#pragma once

#include "macro_record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// Result of ending the delay edit of a row.
struct DelayEdit {
    std::uint32_t value = 0;   // what the cell and the step now hold
    std::u16string message;    // shown to the user when not empty
    bool changed = false;      // the step's delay differs from before
};

// Reads the edited delay text of row `row`. 0 is kept only in the first row
// (later rows get 1), values above 3,600,000 are capped; both with their
// message. Text that is no number keeps the old delay and says why.
[[nodiscard]] DelayEdit editStepDelay(std::u16string_view text, int row, std::uint32_t oldDelay);

// "↓" for a press, "↑" for a release.
[[nodiscard]] std::u16string_view directionText(std::uint16_t direction) noexcept;
[[nodiscard]] std::u16string stepKeyName(std::uint16_t makeCode);

class StepList {
public:
    [[nodiscard]] const std::vector<MacroAction>& steps() const noexcept { return steps_; }
    [[nodiscard]] int size() const noexcept { return static_cast<int>(steps_.size()); }
    [[nodiscard]] bool empty() const noexcept { return steps_.empty(); }
    // -1 when no row is selected.
    [[nodiscard]] int selected() const noexcept { return selected_; }
    void select(int row) noexcept { selected_ = valid(row) ? row : -1; }

    // Replaces every row (loading a macro); nothing selected.
    void reset(const std::vector<MacroAction>& steps);
    // Adds a row at the end or after the selected row; a direction above 1 is
    // stored as a press. With highlight the new row becomes the selection.
    // -1 (nothing added) when the list already holds 576 rows.
    int add(MacroAction step, bool highlight, bool afterSelection);
    // False when no row is selected.
    bool removeSelected();
    void clear() noexcept;

    enum class Move { Top, Up, Down, Bottom };
    // Moves the selected row; it stays selected. False when nothing moved.
    bool move(Move where);

    // The in-place edits of one row; false when the row does not exist or
    // the value is already there.
    bool setDelay(int row, std::uint32_t delayMs);
    bool setKeyByListCode(int row, std::uint16_t listCode);
    bool setDirection(int row, std::uint16_t direction);

private:
    [[nodiscard]] bool valid(int row) const noexcept { return row >= 0 && row < size(); }
    std::vector<MacroAction> steps_;
    int selected_ = -1;
};

}  // namespace kb
