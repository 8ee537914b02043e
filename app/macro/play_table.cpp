#include "play_table.h"

#include <mutex>

namespace kb {
namespace {

PlayTableRef findIn(const Engine& engine, std::uint16_t macroId) {
    if (!engine.active) return {};
    const MacroTable& table = engine.active->playTable;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].macroId() == macroId) return {static_cast<std::uint16_t>(i), table[i].playMode()};
    }
    return {};
}

}  // namespace

PlayTableRef findPlayTableMacro(Engine& engine, std::uint16_t macroId) {
    std::lock_guard<ModelLock> lock(engine.lock());
    return findIn(engine, macroId);
}

PlayTableRef findPlayTableMacroLocked(Engine& engine, std::uint16_t macroId) { return findIn(engine, macroId); }

SnapshotResult snapshotPlayTable(Engine& engine, std::uint16_t index, std::uint16_t macroId,
                                 MacroSnapshot& out) {
    std::unique_lock<ModelLock> lock(engine.lock(), std::try_to_lock);
    if (!lock.owns_lock()) return SnapshotResult::LockBusy;
    if (!engine.active || index >= engine.active->playTable.size()) return SnapshotResult::NoMatch;
    const MacroRecord& record = engine.active->playTable[index];
    if (record.macroId() != macroId) return SnapshotResult::NoMatch;
    out.steps.clear();
    for (const MacroAction& a : record.actions()) out.steps.push_back({a.delayMs, a.makeCode, a.direction});
    out.playMode = record.playMode();
    return SnapshotResult::Copied;
}

}  // namespace kb
