#include "play_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kb {
namespace {

MacroRecord macro(std::uint16_t id, std::vector<MacroAction> steps, std::uint16_t mode = 0) {
    MacroRecord r;
    r.setMacroId(id);
    r.setActions(steps);
    r.setPlayMode(mode);
    return r;
}

struct Rig {
    Engine engine;
    Rig() {
        engine.active = std::make_unique<ActiveCopy>();
        engine.active->playTable = {macro(4, {{0, 0x01E, 0}, {20, 0x01E, 1}}), macro(9, {{5, 0x030, 0}}, 2),
                                    macro(4, {{0, 0x02E, 0}})};
    }
};

TEST(PlayTable, FindsTheFirstRecordWithTheIdAndItsMode) {
    Rig r;
    EXPECT_EQ(findPlayTableMacro(r.engine, 4).index, 0);
    EXPECT_EQ(findPlayTableMacro(r.engine, 9).index, 1);
    EXPECT_EQ(findPlayTableMacroLocked(r.engine, 9).index, 1);
    EXPECT_EQ(findPlayTableMacroLocked(r.engine, 9).playMode, 2);
    EXPECT_EQ(findPlayTableMacro(r.engine, 77).index, 0);
    EXPECT_EQ(findPlayTableMacro(r.engine, 77).playMode, 0);  // not the mode of the record at 0
    r.engine.active.reset();
    EXPECT_EQ(findPlayTableMacro(r.engine, 9).index, 0);
}

TEST(PlayTable, SnapshotCopiesOnlyWhileTheIdStillSitsThere) {
    Rig r;
    MacroSnapshot snap;
    ASSERT_EQ(snapshotPlayTable(r.engine, 1, 9, snap), SnapshotResult::Copied);
    EXPECT_EQ(snap.playMode, 2);
    ASSERT_EQ(snapshotPlayTable(r.engine, 0, 4, snap), SnapshotResult::Copied);
    EXPECT_EQ(snap.playMode, 0);
    const std::vector<PlayStep>& steps = snap.steps;
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].delayMs, 20u);
    EXPECT_EQ(steps[1].makeCode, 0x01E);
    EXPECT_EQ(steps[1].direction, 1);
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 77, snap), SnapshotResult::NoMatch);  // unknown id at index 0
    EXPECT_EQ(snapshotPlayTable(r.engine, 3, 4, snap), SnapshotResult::NoMatch);
    r.engine.active.reset();
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 4, snap), SnapshotResult::NoMatch);
}

TEST(PlayTable, SnapshotNeverWaitsForTheEngineLock) {
    Rig r;
    std::atomic<bool> held{false}, done{false};
    std::thread holder([&] {
        std::lock_guard<ModelLock> lock(r.engine.lock());
        held = true;
        while (!done) std::this_thread::yield();
    });
    while (!held) std::this_thread::yield();
    MacroSnapshot snap;
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 4, snap), SnapshotResult::LockBusy);
    done = true;
    holder.join();
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 4, snap), SnapshotResult::Copied);
}

}  // namespace
}  // namespace kb
