#include "play_table.h"

#include <mutex>

namespace kb {
namespace {

std::uint16_t findIn(const Engine& engine, std::uint16_t macroId) {
    if (!engine.active) return 0;
    const MacroTable& table = engine.active->playTable;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].macroId() == macroId) return static_cast<std::uint16_t>(i);
    }
    return 0;
}

}  // namespace

std::uint16_t findPlayTableIndex(Engine& engine, std::uint16_t macroId, bool engineLockHeld) {
    if (engineLockHeld) return findIn(engine, macroId);
    std::lock_guard<ModelLock> lock(engine.lock());
    return findIn(engine, macroId);
}

SnapshotResult snapshotPlayTable(Engine& engine, std::uint16_t index, std::uint16_t macroId,
                                 std::vector<PlayStep>& steps) {
    std::unique_lock<ModelLock> lock(engine.lock(), std::try_to_lock);
    if (!lock.owns_lock()) return SnapshotResult::LockBusy;
    if (!engine.active || index >= engine.active->playTable.size()) return SnapshotResult::NoMatch;
    const MacroRecord& record = engine.active->playTable[index];
    if (record.macroId() != macroId) return SnapshotResult::NoMatch;
    steps.clear();
    for (const MacroAction& a : record.actions()) steps.push_back({a.delayMs, a.makeCode, a.direction});
    return SnapshotResult::Copied;
}

}  // namespace kb
