// The working copy of the current profile and its lock, which guards the copy
// the dialogs edit. The active copy and the driver state live with the engine
// lock in app/driver/engine.h; where both locks are needed this one comes first.
#pragma once

#include "profile_layers.h"
#include "profile_record.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

class MainWindowSink;
class Prompt;

class ProfileList;

// Re-entrant like the critical sections the threads share.
using ModelLock = std::recursive_mutex;

class ProfileModel {
public:
    [[nodiscard]] ModelLock& lock() noexcept { return lock_; }

    // All below only with lock() held. No record exists between a load that
    // failed after validation and the next load.
    std::optional<ProfileRecord> record;
    SlotTexts texts;
    MacroTable macros;
    ProfileExtension extension;

private:
    ModelLock lock_;
};

// The text at a pool offset (bit 0 of the parameter ignored), cut at the end
// of the pool when it has no terminator; empty when the offset lies outside.
[[nodiscard]] std::u16string poolText(const std::vector<std::uint8_t>& pool, std::uint32_t parameter);

struct EntryView {
    std::uint16_t type = 0;
    std::uint32_t parameter = 0;
    std::u16string text;  // types 3 and 6 only
};

// Under the profile lock; empty when no working record exists.
[[nodiscard]] std::optional<EntryView> readEntry(ProfileModel& model, int slot);
[[nodiscard]] bool hasFunction(ProfileModel& model, int slot);
void clearSlotTexts(ProfileModel& model);
// What the key's tool tip says it does: "播放宏: 问候", "无功能", ...; texts
// are cut after their first line or kToolTipTextChars characters.
inline constexpr std::size_t kToolTipTextChars = 16;
// `layer` 1..3 describes the layer's own function, or "透明: " and the base's.
[[nodiscard]] std::u16string describeKeyFunction(ProfileModel& model, int slot, int layer = 0);

// Layer names as the editor and the notice show them; index 0 is the base.
inline constexpr std::u16string_view kLayerNames[] = {u"基本层", u"层 1", u"层 2", u"层 3"};

// A layer's own function for an ordinary key; nullopt when the layer leaves it
// transparent (or for layer 0, macro keys and no working record).
[[nodiscard]] std::optional<EntryView> readLayerEntry(ProfileModel& model, int layer, int slot);

// How the map shows a key on a layer: a function of the layer's own, the
// base's function showing through (drawn dimmed), or nothing.
enum class KeyMark { None, Own, Inherited };
[[nodiscard]] KeyMark keyMark(ProfileModel& model, int slot, int layer);

// What the key function dialog chose. listCode is used by type 2, macroId by
// type 4, text by types 3 (cut to 259 characters) and 6.
struct Assignment {
    std::uint16_t type = 0;
    std::uint16_t listCode = 0;
    std::uint16_t macroId = 0;
    std::u16string text;
};

// Where the choice goes beyond the base's seven functions. `layer` 1..3 edits
// that layer's function of an ordinary key (growing the profile to that many
// layers, the new ones all transparent); `transparent` then gives the key back
// to the base. `ext` (base only, ordinary keys) makes the key a layer or
// tap/hold key instead; its slot is filled in.
struct LayerChoice {
    int layer = 0;
    bool transparent = false;
    std::optional<ExtKey> ext;
};

// SaveFailed: the entry is written and pending (apply enabled) but the file
// could not be replaced; it keeps its previous content and the user is told.
enum class AssignResult { Done, BadArgument, NoProfile, SaveFailed };

// Writes the entry under the profile lock, saves the profile to its file,
// redraws the key's button and enables the apply button. A failed save is
// shown through the prompt (after the lock is released).
[[nodiscard]] AssignResult assign(ProfileModel& model, const ProfileList& list, MainWindowSink& window,
                                  Prompt& prompt, int device, int position, const Assignment& choice,
                                  const LayerChoice& where = {});

// Redraws every key button (current macro bank, 87 keyboard keys, 23 keypad keys).
void markKeyButtons(ProfileModel& model, MainWindowSink& window);
// Redraws the slot's button as not assigned; slots without a shown button are ignored.
void unmarkKeyButton(MainWindowSink& window, int slot);

}  // namespace kb
