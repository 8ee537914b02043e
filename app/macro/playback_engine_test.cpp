#include "playback_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kb {
namespace {

using namespace std::chrono_literals;

struct Sent {
    std::uint16_t code;
    std::uint16_t direction;
    std::uint64_t atMs;  // the playback thread's virtual clock
    bool operator==(const Sent&) const = default;
};

// Virtual time for the playback thread. A timed wait jumps the clock to its
// deadline plus `lateUs` (a system that wakes late), unless the deadline lies
// beyond `holdBeyondUs`: then, like an endless wait, it returns only when woken.
class VirtualClock : public PlaybackClock {
public:
    std::uint64_t lateUs = 0;
    std::uint64_t holdBeyondUs = kForever;

    std::uint64_t nowUs() override {
        std::lock_guard<std::mutex> l(m_);
        return now_;
    }
    void waitUntil(std::uint64_t deadline) override {
        std::uint64_t now;
        {
            std::unique_lock<std::mutex> l(m_);
            ++waits_;
            if (!woken_ && (deadline == kForever || deadline > holdBeyondUs)) {
                endless_ = deadline == kForever;
                cv_.wait(l, [&] { return woken_; });
                endless_ = false;
            }
            if (woken_) {
                woken_ = false;
                return;
            }
            if (deadline > now_) now_ = deadline + lateUs;
            now = now_;
        }
        // What the outside world does by this time (on the playback thread,
        // so it happens at a definite virtual time).
        if (onTime) onTime(now / 1000);
        std::this_thread::yield();
    }
    // Called after each timed wait with the new time in ms; set before start.
    std::function<void(std::uint64_t nowMs)> onTime;
    void wake() override {
        {
            std::lock_guard<std::mutex> l(m_);
            woken_ = true;
        }
        cv_.notify_all();
    }
    // Time runs on from here without holding back any more.
    void resume() {
        {
            std::lock_guard<std::mutex> l(m_);
            holdBeyondUs = kForever;
            woken_ = true;
        }
        cv_.notify_all();
    }
    std::uint64_t waits() {
        std::lock_guard<std::mutex> l(m_);
        return waits_;
    }
    // The thread sits in a wait without a deadline: until woken it does nothing.
    bool waitingEndlessly() {
        std::lock_guard<std::mutex> l(m_);
        return endless_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::uint64_t now_ = 0;
    std::uint64_t waits_ = 0;
    bool woken_ = false;
    bool endless_ = false;
};

class FakeHost : public PlaybackHost {
public:
    struct Macro {
        std::uint16_t id;
        std::vector<PlayStep> steps;
        std::uint16_t playMode = 0;
    };

    VirtualClock clock;
    std::atomic<bool> attached{true};
    std::atomic<bool> lockBusy{false};
    std::atomic<int> systemReleases{0};
    std::function<void(std::size_t sentSoFar)> onSend;
    std::function<void()> onSystemRelease;

    void setTable(std::vector<Macro> t) {
        std::lock_guard<std::mutex> l(m_);
        table_ = std::move(t);
    }
    std::vector<Sent> sent() const {
        std::lock_guard<std::mutex> l(m_);
        return sent_;
    }
    std::vector<bool> indications() const {
        std::lock_guard<std::mutex> l(m_);
        return indications_;
    }
    std::uint64_t playbackClock() { return clock.nowUs() / 1000; }

    bool ensureAttached() override { return attached.load(); }
    PlayTableRef findMacro(std::uint16_t id, bool) override {
        std::lock_guard<std::mutex> l(m_);
        for (std::size_t i = 0; i < table_.size(); ++i) {
            if (table_[i].id == id) return {static_cast<std::uint16_t>(i), table_[i].playMode};
        }
        return {};
    }
    SnapshotResult trySnapshot(std::uint16_t index, std::uint16_t id, MacroSnapshot& out) override {
        if (lockBusy.load()) return SnapshotResult::LockBusy;
        std::lock_guard<std::mutex> l(m_);
        if (index >= table_.size() || table_[index].id != id) return SnapshotResult::NoMatch;
        out.steps = table_[index].steps;
        out.playMode = table_[index].playMode;
        return SnapshotResult::Copied;
    }
    void sendStep(std::uint16_t code, std::uint16_t direction) override {
        std::size_t n;
        {
            std::lock_guard<std::mutex> l(m_);
            sent_.push_back({code, direction, clock.nowUs() / 1000});
            n = sent_.size();
        }
        if (onSend) onSend(n);
    }
    void releaseSystemHeldKeys() override {
        ++systemReleases;
        if (onSystemRelease) onSystemRelease();
    }
    void playbackIndication(bool playing) override {
        std::lock_guard<std::mutex> l(m_);
        indications_.push_back(playing);
    }

private:
    mutable std::mutex m_;
    std::vector<Macro> table_;
    std::vector<Sent> sent_;
    std::vector<bool> indications_;
};

// The engine under test, with its host's virtual clock.
struct Rig {
    FakeHost host;
    PlaybackEngine engine{host, host.clock};
};

template <class Pred>
bool eventually(Pred pred, int ms = 5000) {
    for (int i = 0; i < ms; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return pred();
}

bool idle(const PlaybackEngine& e) { return e.queuedCount() == 0 && !e.isPlaying(); }

constexpr std::uint16_t kA = 0x01E, kB = 0x030, kShift = 0x02A;

TEST(PlaybackTiming, StepsKeepTheSumOfTheirDelaysWhenWakeUpsComeLate) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.lateUs = 3000;  // every wait ends 3 ms after its deadline
    std::vector<PlayStep> steps;
    for (int i = 0; i < 100; ++i) steps.push_back({10, kA, static_cast<std::uint16_t>(i % 2)});
    host.setTable({{4, steps}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(4, false);
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
    engine.enqueue(1, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 2 && idle(engine); }));
}

TEST(Playback, PlaysStepsInOrderWithTheirDelays) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{7, {{0, kA, 0}, {1, kA, 1}, {16, kB, 0}, {0, kB, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(7, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 4 && idle(engine); }));
    const auto s = host.sent();
    EXPECT_EQ(s[0], (Sent{kA, 0, s[0].atMs}));
    EXPECT_EQ(s[1].code, kA);
    EXPECT_EQ(s[1].direction, 1);
    EXPECT_EQ(s[1].atMs - s[0].atMs, 1u);
    EXPECT_EQ(s[2].atMs - s[1].atMs, 16u);
    EXPECT_EQ(s[3].atMs, s[2].atMs);        // 0 does not sleep
    EXPECT_EQ(host.indications().front(), true);
    EXPECT_EQ(host.indications().back(), false);
}

TEST(Playback, TwoRequestsPlayOneAfterTheOther) {
    Rig rig;
    FakeHost& host = rig.host;
    host.setTable({{3, {{0, kA, 0}, {30, kA, 1}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(3, false);
    engine.enqueue(3, true);
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
    engine.enqueue(42, false);  // not in the table: index defaults to 0, which holds id 5
    ASSERT_TRUE(eventually([&] { return idle(engine); }));
    host.lockBusy = true;       // the table is being rebuilt ...
    engine.enqueue(6, false);   // ... when 6 is found at index 1, before the copy
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
    engine.enqueue(1, false);
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
    engine.enqueue(1, false);
    engine.enqueue(2, false);
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
    engine.enqueue(2, false);
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
    engine.enqueue(1, false);
    engine.enqueue(1, false);
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
    engine.enqueue(1, true);
    ASSERT_TRUE(eventually([&] { return engine.isPlaying(); }));
    engine.stop();
    EXPECT_FALSE(engine.isPlaying());
    engine.enqueue(1, true);
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
    engine.enqueue(9, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));
    engine.shutdown();
    engine.shutdown();
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[1].code, kA);
    EXPECT_EQ(s[1].direction, 1);
    EXPECT_FALSE(engine.isPlaying());
    engine.start();  // never restarted once it has ended
    engine.enqueue(9, false);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(host.sent().size(), 2u);
}

}  // namespace
}  // namespace kb

namespace kb {
namespace {

TEST(PlaybackStop, OverlappingStopsEachCount) {
    Rig rig;
    FakeHost& host = rig.host;
    host.clock.holdBeyondUs = 1000000;
    host.setTable({{1, {{0, kA, 0}, {10000, kA, 1}}}, {2, {{0, kB, 0}, {10000, kB, 1}}}, {3, {{0, kShift, 0}}}});
    PlaybackEngine& engine = rig.engine;
    engine.start();
    engine.enqueue(1, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));

    // While this stop still releases the system's keys, another stop (a
    // profile switch, say) comes and goes, and a macro key is pressed.
    std::atomic<bool> first{true};
    std::size_t sentDuringStop = 0;
    host.onSystemRelease = [&] {
        if (!first.exchange(false)) return;
        std::thread other([&] { engine.stop(); });
        other.join();
        engine.enqueue(2, false);
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
    engine.enqueue(3, false);
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
        engine.enqueue(1, false);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                engine.enqueue(1, false);
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

namespace kb {
namespace {

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
    rig.engine.enqueue(1, false, kKey);
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
        rig.engine.enqueue(1, false, kKey);  // a quick tap during the second pass
        queuedAfterPress = rig.engine.queuedCount();
    });
    t.at(55, [&] { rig.engine.keyReleased(kKey); });
    t.attach(host.clock);
    rig.engine.start();
    rig.engine.enqueue(1, false, kKey);
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
    t.at(50, [&] { rig.engine.enqueue(2, false, kKey); });
    t.at(51, [&] { rig.engine.keyReleased(kKey); });
    t.attach(host.clock);
    rig.engine.start();
    rig.engine.enqueue(2, false, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 6; }));
    EXPECT_EQ(timesOf(host.sent(), kB, 0), (Times{0, 20, 40}));
    EXPECT_EQ(timesOf(host.sent(), kB, 1), (Times{20, 40, 60}));
    EXPECT_FALSE(rig.engine.isPlaying());

    // The third press starts it again: a new repetition, not a toggle of the old one.
    Timeline t2;
    t2.at(100, [&] { rig.engine.enqueue(2, false, kKey); });
    t2.attach(host.clock);
    rig.engine.enqueue(2, false, kKey);
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
    rig.engine.enqueue(1, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));
    EXPECT_FALSE(rig.engine.isRepeating());  // a macro that plays once
    rig.engine.enqueue(2, false, kKey);
    EXPECT_TRUE(rig.engine.isRepeating());   // one waits in the queue
    rig.engine.enqueue(2, false, kOtherKey);  // the same macro from another key is its own request
    EXPECT_EQ(rig.engine.queuedCount(), 2u);
    rig.engine.enqueue(2, false, kKey);
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
    rig.engine.enqueue(1, false, kKey);  // held, never released
    // Passes at 0, 30, 60; the fourth is inside its delay at 90 when the stop comes.
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 14; }));
    rig.engine.enqueue(2, false, kOtherKey);
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
    rig.engine.enqueue(2, false, kKey);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 5; }));  // the third pass waits at 40
    rig.engine.stop();
    ASSERT_EQ(host.sent().size(), 6u);
    EXPECT_EQ(keysLeftDown(host.sent()), 0);
    // Not a toggle of the repetition that the stop ended: it starts again.
    rig.engine.enqueue(2, false, kKey);
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
    rig.engine.enqueue(1, false, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 14; }));
    const Times f = PlaybackEngine::kMinPassMs == 15 ? Times{0, 15, 30, 45, 60, 75, 90} : Times{};
    EXPECT_EQ(timesOf(host.sent(), kA, 0), f);

    // An empty macro repeating until pressed again: one wait per pass, and a
    // stop from another thread gets through while virtual time races on.
    const std::uint64_t waitsBefore = host.clock.waits();
    rig.engine.enqueue(2, false, kOtherKey);
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
    rig.engine.enqueue(1, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 1; }));
    // A tap, pressed and released while the long macro still plays.
    rig.engine.enqueue(2, false, kKey);
    rig.engine.keyReleased(kKey);
    rig.engine.enqueue(2, false);  // no key to follow
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
    rig.engine.enqueue(1, false);  // a plain macro that leaves Shift down, as it always could
    rig.engine.enqueue(2, false, kKey);
    ASSERT_TRUE(eventually([&] { return idle(rig.engine) && host.sent().size() >= 4; }));
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[3], (Sent{kA, 1, 40}));
    EXPECT_EQ(timesOf(s, kShift, 1).size(), 0u);
}

}  // namespace
}  // namespace kb
