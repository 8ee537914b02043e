#include "playback_test_rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kb {
namespace {

using namespace playback_test;

TEST(PlaybackTiming, StepsKeepTheSumOfTheirDelaysWhenWakeUpsComeLate) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.lateUs = 3000;  // every wait ends 3 ms after its deadline
    std::vector<PlayStep> steps;
    for (int i = 0; i < 100; ++i) steps.push_back({10, kA, static_cast<std::uint16_t>(i % 2)});
    host.setTable({{4, steps}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(4);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 100 && idle(engine); }));
    const auto s = host.sent();
    // Step i is due at 10 (i + 1) ms from the start; lateness never piles up.
    for (std::size_t i = 0; i < s.size(); ++i) {
        EXPECT_GE(s[i].atMs, 10 * (i + 1)) << i;
        EXPECT_LE(s[i].atMs, 10 * (i + 1) + 3) << i;
    }
}

TEST(PlaybackTiming, IdleThreadSleepsUntilARequestComes) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{1, {{0, kA, 0}, {0, kA, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    ASSERT_TRUE(eventually([&] { return host.clock.waitingEndlessly(); }));
    EXPECT_EQ(host.clock.waits(), 1u);  // its first wait, and no poll: a timed one would return at once
    engine.enqueue(1);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 2 && idle(engine); }));
}

TEST(Playback, PlaysStepsInOrderWithTheirDelays) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{7, {{0, kA, 0}, {1, kA, 1}, {16, kB, 0}, {0, kB, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(7);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 4 && idle(engine); }));
    const auto s = host.sent();
    EXPECT_EQ(s[0], (Sent{kA, 0, s[0].atMs}));
    EXPECT_EQ(s[1].code, kA);
    EXPECT_EQ(s[1].direction, 1);
    EXPECT_EQ(s[1].atMs - s[0].atMs, 1u);
    EXPECT_EQ(s[2].atMs - s[1].atMs, 16u);
    EXPECT_EQ(s[3].atMs, s[2].atMs);        // 0 does not sleep
    EXPECT_EQ(host.indications(), (std::vector<bool>{true, false}));
    // The window hears of it once the first step is out, not ahead of it.
    EXPECT_EQ(host.sentAtIndication().front(), 1u);
}

TEST(Playback, AMacroThatStartsWithADelayIndicatesPlayingBeforeItWaits) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{2, {{500, kA, 0}, {0, kA, 1}}}});
    std::vector<bool> shownAtWait;
    std::size_t sentAtWait = 99;
    host.clock.onTime = [&](std::uint64_t) {
        if (sentAtWait != 99) return;
        shownAtWait = host.indications();
        sentAtWait = host.sent().size();
    };
    rig.engine.start();
    rig.engine.enqueue(2);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 2 && idle(rig.engine); }));
    EXPECT_EQ(shownAtWait, (std::vector<bool>{true}));
    EXPECT_EQ(sentAtWait, 0u);
    EXPECT_EQ(host.indications(), (std::vector<bool>{true, false}));
}

TEST(Playback, TwoRequestsPlayOneAfterTheOther) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{3, {{0, kA, 0}, {30, kA, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(3);
    engine.enqueueLocked(3);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 4 && idle(engine); }));
    const auto s = host.sent();
    EXPECT_EQ(s[0].direction, 0);
    EXPECT_EQ(s[1].direction, 1);
    EXPECT_EQ(s[2].direction, 0);
    EXPECT_EQ(s[3].direction, 1);
}

TEST(Playback, MissingOrMovedMacroPlaysNothing) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{5, {{0, kA, 0}, {0, kA, 1}}}, {6, {{0, kB, 0}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(42);  // not in the table: index defaults to 0, which holds id 5
    ASSERT_TRUE(eventually([&] { return idle(engine); }));
    host.lockBusy = true;       // the table is being rebuilt ...
    engine.enqueue(6);   // ... when 6 is found at index 1, before the copy
    ASSERT_TRUE(eventually([&] { return engine.isPlaying(); }));
    host.setTable({{6, {{0, kB, 0}}}});
    host.lockBusy = false;
    ASSERT_TRUE(eventually([&] { return idle(engine); }));
    EXPECT_TRUE(host.sent().empty());
}

TEST(Playback, PlaysTheSnapshotTakenBeforeTheFirstStep) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{1, {{0, kA, 0}, {45, kA, 1}}}});
    host.onSend = [&](std::size_t n) {
        if (n == 1) host.setTable({{1, {{0, kB, 0}, {0, kB, 1}}}});
    };
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(1);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 2 && idle(engine); }));
    EXPECT_EQ(host.sent()[1].code, kA);
}

TEST(Playback, StopEndsTheMacroDropsTheQueueAndLeavesNoKeyDown) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 1000000;  // the 10 s delay lasts until something ends it
    host.setTable({{1, {{0, kShift, 0}, {0, kA, 0}, {10000, kA, 1}, {0, kShift, 1}}}, {2, {{0, kB, 0}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(1);
    engine.enqueue(2);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 2; }));
    const std::uint64_t clockAtStop = host.playbackClock();
    engine.stop();
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(engine.queuedCount(), 0u);
    EXPECT_EQ(host.systemReleases.load(), 1);
    // The stop ended the delay at once: no time passed on the playback clock.
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[2].atMs, clockAtStop);
    // Both keys it had pressed are released, last pressed first; macro 2 never plays.
    EXPECT_EQ(s[2], (Sent{kA, 1, s[2].atMs}));
    EXPECT_EQ(s[3], (Sent{kShift, 1, s[3].atMs}));
    // A later request plays normally.
    engine.enqueue(2);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 5 && idle(engine); }));
    EXPECT_EQ(host.sent()[4].code, kB);
}

TEST(Playback, WithoutTheDeviceRequestsAreDiscardedAndNothingIsSent) {
    Rig rig;
    FakeHost& host = rig.host;
    host.attached = false;
    host.setTable({{1, {{0, kA, 0}, {0, kA, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(1);
    engine.enqueue(1);
    ASSERT_TRUE(eventually([&] { return idle(engine); }));
    EXPECT_TRUE(host.sent().empty());
    for (bool playing : host.indications()) EXPECT_FALSE(playing);
}

TEST(Playback, StopAndShutdownNeverWaitForAHeldEngineLock) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{1, {{0, kA, 0}}}});
    host.lockBusy = true;  // the caller holds the engine lock for good
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueueLocked(1);
    ASSERT_TRUE(eventually([&] { return engine.isPlaying(); }));
    engine.stop();
    EXPECT_FALSE(engine.isPlaying());
    engine.enqueueLocked(1);
    ASSERT_TRUE(eventually([&] { return engine.isPlaying(); }));
    engine.shutdown();
    EXPECT_TRUE(host.sent().empty());
}

TEST(Playback, ShutdownDuringALongDelayReleasesKeysAndIsIdempotent) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 1000000;
    host.setTable({{9, {{0, kA, 0}, {3600000, kA, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(9);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));
    engine.shutdown();
    engine.shutdown();
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[1].code, kA);
    EXPECT_EQ(s[1].direction, 1);
    EXPECT_FALSE(engine.isPlaying());
    engine.start();  // never restarted once it has ended
    engine.enqueue(9);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(host.sent().size(), 2u);
}


TEST(PlaybackStop, OverlappingStopsEachCount) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 1000000;
    host.setTable({{1, {{0, kA, 0}, {10000, kA, 1}}}, {2, {{0, kB, 0}, {10000, kB, 1}}}, {3, {{0, kShift, 0}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(1);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));

    // While this stop still releases the system's keys, another stop (a
    // profile switch, say) comes and goes, and a macro key is pressed.
    std::atomic<bool> first{true};
    std::size_t sentDuringStop = 0;
    host.onSystemRelease = [&] {
        if (!first.exchange(false)) return;
        std::thread other([&] { engine.stop(); });
        other.join();
        engine.enqueue(2);
        // Long enough for the playback thread to take the request.
        (void)eventually([&] { return host.sent().size() > 2; }, 200);
        sentDuringStop = host.sent().size();
    };
    engine.stop();
    EXPECT_EQ(sentDuringStop, 2u);  // macro 1's press and the release the stop forced, nothing of macro 2
    EXPECT_FALSE(engine.isPlaying());
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[1], (Sent{kA, 1, s[1].atMs}));

    // Once every stop has ended, requests play again.
    engine.enqueue(3);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 3 && idle(engine); }));
    EXPECT_EQ(host.sent()[2].code, kShift);
}

TEST(PlaybackStop, StopsFromManyThreadsAtOnceAllReturnAndLeaveNothingPlaying) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 1000000;
    host.setTable({{1, {{0, kA, 0}, {10000, kA, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    for (int round = 0; round < 20; ++round) {
        engine.enqueue(1);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                engine.enqueue(1);
                engine.stop();
            });
        }
        for (auto& t : threads) t.join();
        engine.stop();
        ASSERT_TRUE(idle(engine)) << round;
    }
    // Every press the engine sent was released.
    int down = 0;
    for (const Sent& x : host.sent()) down += x.direction == 0 ? 1 : -1;
    EXPECT_EQ(down, 0);
}

}  // namespace
}  // namespace kb
