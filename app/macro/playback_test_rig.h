// The playback engine under test with a fake host on a virtual clock: what
// it sends, when (in the playback thread's time), and what it indicates.
#pragma once

#include "playback_engine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kb::playback_test {

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
    PlayTableRef findMacroLocked(std::uint16_t id) override { return findMacro(id); }
    PlayTableRef findMacro(std::uint16_t id) override {
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
        sentAtIndication_.push_back(sent_.size());
    }
    // How many steps were sent when each indication came.
    std::vector<std::size_t> sentAtIndication() const {
        std::lock_guard<std::mutex> l(m_);
        return sentAtIndication_;
    }

private:
    mutable std::mutex m_;
    std::vector<Macro> table_;
    std::vector<Sent> sent_;
    std::vector<bool> indications_;
    std::vector<std::size_t> sentAtIndication_;
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

inline bool idle(const PlaybackEngine& e) { return e.queuedCount() == 0 && !e.isPlaying(); }

inline constexpr std::uint16_t kA = 0x01E, kB = 0x030, kShift = 0x02A;

}  // namespace kb::playback_test
