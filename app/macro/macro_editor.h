// The macro table's rules as the macro editor drives them: looking macros up
// by id, adding with a time-based name and the smallest free id, the delete
// check, renaming and Apply with the key-consistency rule. The editor works
// on private copies and touches the profile only in Apply.
#pragma once

#include "macro_record.h"
#include "profile_list.h"
#include "profile_model.h"
#include "ui_ports.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// Under the profile lock: position of the first macro with the id, 0 when none.
[[nodiscard]] int indexOfMacroId(ProfileModel& model, std::uint16_t macroId);
// Under the profile lock: id of the macro at the position, 0 when out of range.
[[nodiscard]] std::uint16_t macroIdAtIndex(ProfileModel& model, int position);

struct LocalTime {
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class MacroClock {
public:
    virtual ~MacroClock() = default;
    [[nodiscard]] virtual LocalTime now() = 0;
    virtual void sleepMs(int ms) = 0;
};

class SystemMacroClock final : public MacroClock {
public:
    [[nodiscard]] LocalTime now() override;
    void sleepMs(int ms) override;
};

// "宏-" and hhmmssmmm.
[[nodiscard]] std::u16string timeMacroName(const LocalTime& t);
// Case-insensitive equality as the name rules use it.
[[nodiscard]] bool sameMacroName(std::u16string_view a, std::u16string_view b) noexcept;

class MacroEditorSession {
public:
    // Copies the profile's macros (isNew 0; a step direction other than 0 or 1 reads as press).
    void load(ProfileModel& model);

    [[nodiscard]] const std::vector<MacroRecord>& macros() const noexcept { return list_; }
    // Drops every working copy (the editor closes).
    void reset() noexcept {
        list_.clear();
        dirty_ = false;
    }
    // True while there are changes not yet applied (the editor's Apply button).
    [[nodiscard]] bool hasChanges() const noexcept { return dirty_; }

    // Index of the new macro, or -1 when nothing was added (limit message shown).
    int addMacro(Prompt& prompt, MacroClock& clock);
    // True when the macro may be deleted (asks when keys refer to an old macro).
    [[nodiscard]] bool confirmDelete(int index, ProfileModel& model, Prompt& prompt) const;
    void remove(int index);
    // The in-place edit of the name; false (with the message) when refused.
    // A name longer than 100 characters is refused, never cut.
    bool rename(int index, std::u16string_view edited, Prompt& prompt);
    // Writes the editor's step list back into the macro (at most 576 steps).
    bool setActions(int index, const std::vector<MacroAction>& steps);
    // A recorded step; false when the macro already holds 576 steps.
    bool appendAction(int index, const MacroAction& step);
    // The macro's play mode (0 to 2); false when the index or the mode is
    // out of range or the mode is already that.
    bool setPlayMode(int index, std::uint16_t mode);

        // NotSaved: installed in the working profile, but its file could not be
    // written; the file on disk is as it was.
    enum class ApplyResult { Unchanged, RefusedDefaultProfile, Applied, NotSaved, Failed };
    // Installs the edited macros as the profile's table, resets keys whose
    // macro is gone, and saves the profile.
    ApplyResult apply(ProfileModel& model, const ProfileList& list, MainWindowSink& window, Prompt& prompt);

private:
    [[nodiscard]] bool valid(int index) const noexcept {
        return index >= 0 && static_cast<std::size_t>(index) < list_.size();
    }
    std::vector<MacroRecord> list_;
    bool dirty_ = false;
};

}  // namespace kb
