#include "playback_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

// Virtual time: the playback thread's sleeps advance its clock and take 1 ms of real time.
class FakeHost : public PlaybackHost {
public:
    struct Macro {
        std::uint16_t id;
        std::vector<PlayStep> steps;
    };

    std::atomic<bool> attached{true};
    std::atomic<bool> lockBusy{false};
    std::atomic<int> systemReleases{0};
    std::function<void(std::size_t sentSoFar)> onSend;

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
    std::uint64_t playbackClock() const { return playbackClock_.load(); }

    bool ensureAttached() override { return attached.load(); }
    std::uint16_t findMacroIndex(std::uint16_t id, bool) override {
        std::lock_guard<std::mutex> l(m_);
        for (std::size_t i = 0; i < table_.size(); ++i) {
            if (table_[i].id == id) return static_cast<std::uint16_t>(i);
        }
        return 0;
    }
    SnapshotResult trySnapshot(std::uint16_t index, std::uint16_t id, std::vector<PlayStep>& steps) override {
        if (lockBusy.load()) return SnapshotResult::LockBusy;
        std::lock_guard<std::mutex> l(m_);
        if (index >= table_.size() || table_[index].id != id) return SnapshotResult::NoMatch;
        steps = table_[index].steps;
        return SnapshotResult::Copied;
    }
    void sendStep(std::uint16_t code, std::uint16_t direction) override {
        std::size_t n;
        {
            std::lock_guard<std::mutex> l(m_);
            sent_.push_back({code, direction, playbackClock_.load()});
            n = sent_.size();
        }
        if (onSend) onSend(n);
    }
    void releaseSystemHeldKeys() override { ++systemReleases; }
    void playbackIndication(bool playing) override {
        std::lock_guard<std::mutex> l(m_);
        indications_.push_back(playing);
    }
    void sleepMs(std::uint32_t ms) override {
        if (std::this_thread::get_id() == playbackThread()) {
            playbackClock_ += ms;
            // Real time too, so a long delay stays long enough to be interrupted.
            std::this_thread::sleep_for(1ms);
        } else {
            std::this_thread::sleep_for(50us);
        }
    }
    void markPlaybackThread() { playbackThread_ = std::this_thread::get_id(); }
    std::thread::id playbackThread() const { return playbackThread_.load(); }

private:
    mutable std::mutex m_;
    std::vector<Macro> table_;
    std::vector<Sent> sent_;
    std::vector<bool> indications_;
    std::atomic<std::uint64_t> playbackClock_{0};
    std::atomic<std::thread::id> playbackThread_{};
};

// Learns the playback thread's id from its first call.
class Host : public FakeHost {
public:
    bool ensureAttached() override {
        if (playbackThread() == std::thread::id{}) markPlaybackThread();
        return FakeHost::ensureAttached();
    }
};

template <class Pred>
bool eventually(Pred pred) {
    for (int i = 0; i < 5000; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return pred();
}

bool idle(const PlaybackEngine& e) { return e.queuedCount() == 0 && !e.isPlaying(); }

constexpr std::uint16_t kA = 0x01E, kB = 0x030, kShift = 0x02A;

TEST(PlaybackWait, SlicesRoundUpToFifteenMilliseconds) {
    EXPECT_EQ(PlaybackEngine::slicesFor(0), 0u);
    EXPECT_EQ(PlaybackEngine::slicesFor(1), 1u);
    EXPECT_EQ(PlaybackEngine::slicesFor(15), 1u);
    EXPECT_EQ(PlaybackEngine::slicesFor(16), 2u);
    EXPECT_EQ(PlaybackEngine::slicesFor(3600000), 240000u);
    EXPECT_EQ(PlaybackEngine::slicesFor(0xFFFFFFFFu), 286331153u);  // no wrap-around
}

TEST(Playback, PlaysStepsInOrderWithTheirDelays) {
    Host host;
    host.setTable({{7, {{0, kA, 0}, {1, kA, 1}, {16, kB, 0}, {0, kB, 1}}}});
    PlaybackEngine engine(host);
    engine.start();
    engine.enqueue(7, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 4 && idle(engine); }));
    const auto s = host.sent();
    EXPECT_EQ(s[0], (Sent{kA, 0, s[0].atMs}));
    EXPECT_EQ(s[1].code, kA);
    EXPECT_EQ(s[1].direction, 1);
    EXPECT_EQ(s[1].atMs - s[0].atMs, 15u);  // 1 ms waits one slice
    EXPECT_EQ(s[2].atMs - s[1].atMs, 30u);  // 16 ms waits two
    EXPECT_EQ(s[3].atMs, s[2].atMs);        // 0 does not sleep
    EXPECT_EQ(host.indications().front(), true);
    EXPECT_EQ(host.indications().back(), false);
}

TEST(Playback, TwoRequestsPlayOneAfterTheOther) {
    Host host;
    host.setTable({{3, {{0, kA, 0}, {30, kA, 1}}}});
    PlaybackEngine engine(host);
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
    Host host;
    host.setTable({{5, {{0, kA, 0}, {0, kA, 1}}}, {6, {{0, kB, 0}}}});
    PlaybackEngine engine(host);
    engine.start();
    engine.enqueue(42, false);  // not in the table: index defaults to 0, which holds id 5
    ASSERT_TRUE(eventually([&] { return idle(engine); }));
    engine.enqueue(6, false);   // found at index 1 ...
    host.lockBusy = true;       // ... but the table is rebuilt before the copy
    ASSERT_TRUE(eventually([&] { return engine.isPlaying(); }));
    host.setTable({{6, {{0, kB, 0}}}});
    host.lockBusy = false;
    ASSERT_TRUE(eventually([&] { return idle(engine); }));
    EXPECT_TRUE(host.sent().empty());
}

TEST(Playback, PlaysTheSnapshotTakenBeforeTheFirstStep) {
    Host host;
    host.setTable({{1, {{0, kA, 0}, {45, kA, 1}}}});
    host.onSend = [&](std::size_t n) {
        if (n == 1) host.setTable({{1, {{0, kB, 0}, {0, kB, 1}}}});
    };
    PlaybackEngine engine(host);
    engine.start();
    engine.enqueue(1, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 2 && idle(engine); }));
    EXPECT_EQ(host.sent()[1].code, kA);
}

TEST(Playback, StopEndsTheMacroDropsTheQueueAndLeavesNoKeyDown) {
    Host host;
    host.setTable({{1, {{0, kShift, 0}, {0, kA, 0}, {10000, kA, 1}, {0, kShift, 1}}}, {2, {{0, kB, 0}}}});
    PlaybackEngine engine(host);
    engine.start();
    engine.enqueue(1, false);
    engine.enqueue(2, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 2; }));
    const std::uint64_t clockAtStop = host.playbackClock();
    engine.stop();
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(engine.queuedCount(), 0u);
    EXPECT_EQ(host.systemReleases.load(), 1);
    // The playback thread saw the stop within one slice of its delay.
    const auto s = host.sent();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_LE(s[2].atMs - clockAtStop, PlaybackEngine::kSliceMs);
    // Both keys it had pressed are released, last pressed first; macro 2 never plays.
    EXPECT_EQ(s[2], (Sent{kA, 1, s[2].atMs}));
    EXPECT_EQ(s[3], (Sent{kShift, 1, s[3].atMs}));
    // A later request plays normally.
    engine.enqueue(2, false);
    ASSERT_TRUE(eventually([&] { return host.sent().size() == 5 && idle(engine); }));
    EXPECT_EQ(host.sent()[4].code, kB);
}

TEST(Playback, WithoutTheDeviceRequestsAreDiscardedAndNothingIsSent) {
    Host host;
    host.attached = false;
    host.setTable({{1, {{0, kA, 0}, {0, kA, 1}}}});
    PlaybackEngine engine(host);
    engine.start();
    engine.enqueue(1, false);
    engine.enqueue(1, false);
    ASSERT_TRUE(eventually([&] { return idle(engine); }));
    EXPECT_TRUE(host.sent().empty());
    for (bool playing : host.indications()) EXPECT_FALSE(playing);
}

TEST(Playback, StopAndShutdownNeverWaitForAHeldEngineLock) {
    Host host;
    host.setTable({{1, {{0, kA, 0}}}});
    host.lockBusy = true;  // the caller holds the engine lock for good
    PlaybackEngine engine(host);
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
    Host host;
    host.setTable({{9, {{0, kA, 0}, {3600000, kA, 1}}}});
    PlaybackEngine engine(host);
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
