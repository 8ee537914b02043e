// The playback engine's view of the play table in the engine's active copy.
#pragma once

#include "playback_engine.h"
#include "engine.h"

namespace kb {

// Position and play mode of the first play-table record with the id; index
// 0 and mode 0 when none (or no active copy). Takes the engine lock unless
// the caller holds it.
[[nodiscard]] PlayTableRef findPlayTableMacro(Engine& engine, std::uint16_t macroId);
// The same for a caller that holds the engine lock.
[[nodiscard]] PlayTableRef findPlayTableMacroLocked(Engine& engine, std::uint16_t macroId);

// Copies the used steps and the play mode of the record at `index` when it
// still has `macroId`, without ever blocking on the engine lock.
[[nodiscard]] SnapshotResult snapshotPlayTable(Engine& engine, std::uint16_t index, std::uint16_t macroId,
                                               MacroSnapshot& out);

}  // namespace kb
