#include "play_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kb {
namespace {

MacroRecord macro(std::uint16_t id, std::vector<MacroAction> steps) {
    MacroRecord r;
    r.setMacroId(id);
    r.setActions(steps);
    return r;
}

struct Rig {
    Engine engine;
    Rig() {
        engine.active = std::make_unique<ActiveCopy>();
        engine.active->playTable = {macro(4, {{0, 0x01E, 0}, {20, 0x01E, 1}}), macro(9, {{5, 0x030, 0}}),
                                    macro(4, {{0, 0x02E, 0}})};
    }
};

TEST(PlayTable, FindsTheFirstRecordWithTheId) {
    Rig r;
    EXPECT_EQ(findPlayTableIndex(r.engine, 4, false), 0);
    EXPECT_EQ(findPlayTableIndex(r.engine, 9, false), 1);
    EXPECT_EQ(findPlayTableIndex(r.engine, 9, true), 1);
    EXPECT_EQ(findPlayTableIndex(r.engine, 77, false), 0);
    r.engine.active.reset();
    EXPECT_EQ(findPlayTableIndex(r.engine, 9, false), 0);
}

TEST(PlayTable, SnapshotCopiesOnlyWhileTheIdStillSitsThere) {
    Rig r;
    std::vector<PlayStep> steps;
    ASSERT_EQ(snapshotPlayTable(r.engine, 0, 4, steps), SnapshotResult::Copied);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].delayMs, 20u);
    EXPECT_EQ(steps[1].makeCode, 0x01E);
    EXPECT_EQ(steps[1].direction, 1);
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 77, steps), SnapshotResult::NoMatch);  // unknown id at index 0
    EXPECT_EQ(snapshotPlayTable(r.engine, 3, 4, steps), SnapshotResult::NoMatch);
    r.engine.active.reset();
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 4, steps), SnapshotResult::NoMatch);
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
    std::vector<PlayStep> steps;
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 4, steps), SnapshotResult::LockBusy);
    done = true;
    holder.join();
    EXPECT_EQ(snapshotPlayTable(r.engine, 0, 4, steps), SnapshotResult::Copied);
}

}  // namespace
}  // namespace kb
