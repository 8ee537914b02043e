// Macros repeated by their play mode: while the key is held, until it is
// pressed again.
#include "playback_test_rig.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

namespace kb {
namespace {

using namespace playback_test;

constexpr std::uint16_t kWhileHeld = 1, kUntilPressed = 2;
constexpr int kKey = 30, kOtherKey = 31;

// Does `what` once, at the first wake-up at or after `atMs` on the playback clock.
struct Timeline {
    struct Event {
        std::uint64_t atMs;
        std::function<void()> what;
        bool done = false;
    };
    std::vector<Event> events;
    void at(std::uint64_t ms, std::function<void()> what) { events.push_back({ms, std::move(what)}); }
    void attach(VirtualClock& clock) {
        clock.onTime = [this](std::uint64_t now) {
            for (Event& e : events) {
                if (!e.done && now >= e.atMs) {
                    e.done = true;
                    e.what();
                }
            }
        };
    }
};

std::vector<std::uint64_t> timesOf(const std::vector<Sent>& s, std::uint16_t code, std::uint16_t direction) {
    std::vector<std::uint64_t> t;
    for (const Sent& x : s) {
        if (x.code == code && x.direction == direction) t.push_back(x.atMs);
    }
    return t;
}

int keysLeftDown(const std::vector<Sent>& s) {
    std::map<std::uint16_t, int> down;
    for (const Sent& x : s) down[x.code] = x.direction == 0 ? 1 : 0;
    int n = 0;
    for (const auto& [code, d] : down) n += d;
    return n;
}

using Times = std::vector<std::uint64_t>;

TEST(PlaybackRepeat, WhileHeldPassesFollowEachOtherAndTheRunningPassFinishesAfterTheRelease) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{1, {{0, kA, 0}, {20, kA, 1}}, kWhileHeld}});
    Timeline t;
    t.at(95, [&] { rig.engine.keyReleased(kKey); });  // in the middle of the fifth pass
    t.attach(host.clock);
    rig.engine.start();
    rig.engine.enqueue(1, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 10; }));
    const auto s = host.sent();
    EXPECT_EQ(timesOf(s, kA, 0), (Times{0, 20, 40, 60, 80}));
    EXPECT_EQ(timesOf(s, kA, 1), (Times{20, 40, 60, 80, 100}));
    EXPECT_EQ(s.size(), 10u);
    // The tray shows playback from the first pass to the end, without a gap.
    EXPECT_EQ(host.indications(), (std::vector<bool>{true, false}));
}

TEST(PlaybackRepeat, AKeyPressedAgainDuringARepetitionAsksForOneMorePassNotASecondRequest) {
    Rig rig;
    FakeHost& host = rig.host;
    // A 30 ms pass: A at +0 and +10, B at +20 and +30.
    host.setTable({{1, {{0, kA, 0}, {10, kA, 1}, {10, kB, 0}, {10, kB, 1}}, kWhileHeld}});
    Timeline t;
    std::size_t queuedAfterPress = 99;
    t.at(35, [&] { rig.engine.keyReleased(kKey); });
    t.at(45, [&] {
        rig.engine.enqueue(1, kKey);  // a quick tap during the second pass
        queuedAfterPress = rig.engine.queuedCount();
    });
    t.at(55, [&] { rig.engine.keyReleased(kKey); });
    t.attach(host.clock);
    rig.engine.start();
    rig.engine.enqueue(1, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 12; }));
    EXPECT_EQ(queuedAfterPress, 0u);
    // Passes at 0 and 30 while held, one more at 60 for the tap, none after.
    EXPECT_EQ(timesOf(host.sent(), kA, 0), (Times{0, 30, 60}));
    EXPECT_EQ(host.sent().size(), 12u);
    EXPECT_EQ(keysLeftDown(host.sent()), 0);
}

TEST(PlaybackRepeat, UntilPressedTogglesOnAndOff) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{2, {{0, kB, 0}, {20, kB, 1}}, kUntilPressed}});
    Timeline t;
    // The key's own release does not end it; the next press does, after its pass.
    t.at(10, [&] { rig.engine.keyReleased(kKey); });
    t.at(50, [&] { rig.engine.enqueue(2, kKey); });
    t.at(51, [&] { rig.engine.keyReleased(kKey); });
    t.attach(host.clock);
    rig.engine.start();
    rig.engine.enqueue(2, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 6; }));
    EXPECT_EQ(timesOf(host.sent(), kB, 0), (Times{0, 20, 40}));
    EXPECT_EQ(timesOf(host.sent(), kB, 1), (Times{20, 40, 60}));
    EXPECT_FALSE(rig.engine.isPlaying());

    // The third press starts it again: a new repetition, not a toggle of the old one.
    Timeline t2;
    t2.at(100, [&] { rig.engine.enqueue(2, kKey); });
    t2.attach(host.clock);
    rig.engine.enqueue(2, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 10; }));
    EXPECT_EQ(timesOf(host.sent(), kB, 0), (Times{0, 20, 40, 60, 80}));
    EXPECT_EQ(host.sent().size(), 10u);
}

TEST(PlaybackRepeat, UntilPressedPressedAgainBeforeItBeganIsDropped) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 1000000;
    host.setTable({{1, {{0, kA, 0}, {10000, kA, 1}}}, {2, {{0, kB, 0}, {20, kB, 1}}, kUntilPressed}});
    rig.engine.start();
    rig.engine.enqueue(1);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));
    EXPECT_FALSE(rig.engine.isRepeating());  // a macro that plays once
    rig.engine.enqueue(2, kKey);
    EXPECT_TRUE(rig.engine.isRepeating());   // one waits in the queue
    rig.engine.enqueue(2, kOtherKey);  // the same macro from another key is its own request
    EXPECT_EQ(rig.engine.queuedCount(), 2u);
    rig.engine.enqueue(2, kKey);
    EXPECT_EQ(rig.engine.queuedCount(), 1u);
    rig.engine.stop();
    EXPECT_EQ(rig.engine.queuedCount(), 0u);
    EXPECT_EQ(timesOf(host.sent(), kB, 0).size(), 0u);
}

TEST(PlaybackRepeat, StopEndsARepetitionAtOnceAndLeavesNoKeyDown) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 100000;  // time stands still at 100 ms until something happens
    host.setTable({{1, {{0, kShift, 0}, {0, kA, 0}, {30, kA, 1}, {0, kShift, 1}}, kWhileHeld},
                   {2, {{0, kB, 0}, {0, kB, 1}}}});
    rig.engine.start();
    rig.engine.enqueue(1, kKey);  // held, never released
    // Passes at 0, 30, 60; the fourth is inside its delay at 90 when the stop comes.
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 14; }));
    rig.engine.enqueue(2, kOtherKey);
    EXPECT_TRUE(rig.engine.isRepeating());
    rig.engine.stop();
    EXPECT_FALSE(rig.engine.isPlaying());
    EXPECT_FALSE(rig.engine.isRepeating());
    EXPECT_EQ(rig.engine.queuedCount(), 0u);
    EXPECT_EQ(host.systemReleases.load(), 1);
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 16u);
    EXPECT_EQ(s[14], (Sent{kA, 1, 90}));
    EXPECT_EQ(s[15], (Sent{kShift, 1, 90}));
    EXPECT_EQ(keysLeftDown(s), 0);
    EXPECT_EQ(timesOf(s, kB, 0).size(), 0u);
}

TEST(PlaybackRepeat, AfterAStopLikeAProfileSwitchTheNextPressStartsAfresh) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 50000;
    host.setTable({{2, {{0, kB, 0}, {20, kB, 1}}, kUntilPressed}});
    rig.engine.start();
    rig.engine.enqueue(2, kKey);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 5; }));  // the third pass waits at 40
    rig.engine.stop();
    ASSERT_EQ(host.sent().size(), 6u);
    EXPECT_EQ(keysLeftDown(host.sent()), 0);
    // Not a toggle of the repetition that the stop ended: it starts again.
    rig.engine.enqueue(2, kKey);
    ASSERT_TRUE(eventually([&] { return host.sent().size() >= 7 && rig.engine.isPlaying(); }));
    rig.engine.shutdown();  // exit during a repetition
    EXPECT_FALSE(rig.engine.isPlaying());
    EXPECT_EQ(keysLeftDown(host.sent()), 0);
}

TEST(PlaybackRepeat, PassesWithoutDelaysKeepAFloorAndStillSeeTheStop) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{1, {{0, kA, 0}, {0, kA, 1}}, kWhileHeld}, {2, {}, kUntilPressed}});
    Timeline t;
    t.at(100, [&] { rig.engine.keyReleased(kKey); });
    t.attach(host.clock);
    rig.engine.start();
    rig.engine.enqueue(1, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 14; }));
    const Times f = PlaybackEngine::kMinPassMs == 15 ? Times{0, 15, 30, 45, 60, 75, 90} : Times{};
    EXPECT_EQ(timesOf(host.sent(), kA, 0), f);

    // An empty macro repeating until pressed again: one wait per pass, and a
    // stop from another thread gets through while virtual time races on.
    const std::uint64_t waitsBefore = host.clock.waits();
    rig.engine.enqueue(2, kOtherKey);
    ASSERT_TRUE(eventually([&] { return host.playbackClock() > 1000; }));
    rig.engine.stop();
    EXPECT_FALSE(rig.engine.isPlaying());
    const std::uint64_t passes = (host.playbackClock() - 105) / PlaybackEngine::kMinPassMs;
    EXPECT_LE(host.clock.waits() - waitsBefore, passes + 3);
}

TEST(PlaybackRepeat, ATapAndARequestWithoutAKeyPlayOnce) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 1000000;
    host.setTable({{1, {{0, kA, 0}, {10000, kA, 1}}}, {2, {{0, kB, 0}, {20, kB, 1}}, kWhileHeld}});
    rig.engine.start();
    rig.engine.enqueue(1);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));
    // A tap, pressed and released while the long macro still plays.
    rig.engine.enqueue(2, kKey);
    rig.engine.keyReleased(kKey);
    rig.engine.enqueue(2);  // no key to follow
    host.clock.resume();
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 6; }));
    EXPECT_EQ(timesOf(host.sent(), kB, 0).size(), 2u);
    EXPECT_EQ(host.sent().size(), 6u);
}

TEST(PlaybackRepeat, ARepetitionThatEndsReleasesWhatItPressedButNotWhatWasDownBefore) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{1, {{0, kShift, 0}}}, {2, {{20, kA, 0}}, kWhileHeld}});
    Timeline t;
    t.at(30, [&] { rig.engine.keyReleased(kKey); });
    t.attach(host.clock);
    rig.engine.start();
    rig.engine.enqueue(1);  // a plain macro that leaves Shift down, as it always could
    rig.engine.enqueue(2, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 4; }));
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[3], (Sent{kA, 1, 40}));
    EXPECT_EQ(timesOf(s, kShift, 1).size(), 0u);
}

}  // namespace
}  // namespace kb
