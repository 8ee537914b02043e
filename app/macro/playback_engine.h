// Macro playback engine: one thread plays queued requests in arrival order,
// step by step, each step at its absolute deadline. Portable; the world it
// talks to (play table, injection, key state, window) sits behind
// PlaybackHost, and time behind PlaybackClock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace kb {

struct PlayStep {
    std::uint32_t delayMs = 0;
    std::uint16_t makeCode = 0;
    std::uint16_t direction = 0;  // 0 press, 1 release
};

enum class SnapshotResult {
    Copied,    // the record still sits at the index with the id: steps filled
    NoMatch,   // gone or replaced: the request plays nothing
    LockBusy,  // the engine lock is held elsewhere: try again later
};

class PlaybackHost {
public:
    virtual ~PlaybackHost() = default;
    // Device attached and injection initialised; retries an earlier failure.
    virtual bool ensureAttached() = 0;
    // Position of the first play-table record with this id, 0 when none.
    // Takes the engine lock unless the caller already holds it.
    virtual std::uint16_t findMacroIndex(std::uint16_t macroId, bool engineLockHeld) = 0;
    // Copies the record's used steps under the engine lock, without blocking on it.
    virtual SnapshotResult trySnapshot(std::uint16_t index, std::uint16_t macroId,
                                       std::vector<PlayStep>& steps) = 0;
    virtual void sendStep(std::uint16_t makeCode, std::uint16_t direction) = 0;
    // Releases every key the system reports down (run on the stopping thread).
    virtual void releaseSystemHeldKeys() = 0;
    // Must not block: the window is told by a posted message.
    virtual void playbackIndication(bool playing) = 0;
};

// The playback thread's time and its one way of waiting. wake() is sticky,
// like an auto-reset event: a wake that comes before the wait ends the next
// wait at once, so a request queued just before the thread sleeps is not missed.
class PlaybackClock {
public:
    static constexpr std::uint64_t kForever = ~std::uint64_t{0};

    virtual ~PlaybackClock() = default;
    // Monotonic microseconds.
    [[nodiscard]] virtual std::uint64_t nowUs() = 0;
    // Returns at deadlineUs (never before it unless woken), or once woken.
    virtual void waitUntil(std::uint64_t deadlineUs) = 0;
    virtual void wake() = 0;
};

class PlaybackEngine {
public:
    PlaybackEngine(PlaybackHost& host, PlaybackClock& clock);
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Creates the thread once; later calls do nothing.
    void start();
    void enqueue(std::uint16_t macroId, bool engineLockHeld);
    // Aborts the playing macro, drops queued requests, releases held keys;
    // returns once the engine is idle. Stops may overlap: none of them ends
    // before every request dequeued while any of them ran has been dropped.
    void stop();
    [[nodiscard]] bool isPlaying() const noexcept { return busy_.load() != 0; }
    // Ends the thread; idempotent.
    void shutdown();

    [[nodiscard]] std::size_t queuedCount() const;

private:
    struct PlayRequest {
        std::uint16_t macroId;
        std::uint16_t index;
    };

    void run() noexcept;
    // True when it took at least one request.
    bool drainQueue(bool attached);
    void play(const PlayRequest& request);
    // False when quit or a stop cut the wait short.
    bool waitUntil(std::uint64_t deadlineUs);
    [[nodiscard]] bool interrupted() const noexcept { return quit_.load() != 0 || stopping_.load() != 0; }
    void setIdle();
    void releaseKeysWeLeftDown();

    PlaybackHost& host_;
    PlaybackClock& clock_;
    // The play-queue lock: the queue, and busy's changes that stop waits for.
    mutable std::mutex queueLock_;
    std::condition_variable idle_;
    std::deque<PlayRequest> queue_;
    std::atomic<std::uint32_t> busy_{0};
    // Stops in progress. A count, not a flag, so one stop ending cannot
    // clear another's request.
    std::atomic<std::uint32_t> stopping_{0};
    std::atomic<std::uint32_t> quit_{0};
    std::atomic<std::uint32_t> exited_{0};
    std::thread thread_;
    // Make codes this engine pressed and has not released, in press order.
    std::vector<std::uint16_t> down_;
};

}  // namespace kb
