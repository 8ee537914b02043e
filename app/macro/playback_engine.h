// Macro playback engine: one thread plays queued requests in arrival order,
// step by step, with interruptible delays. Portable; the world it talks to
// (play table, injection, key state, window) sits behind PlaybackHost.
#pragma once

#include <atomic>
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
    virtual void sleepMs(std::uint32_t ms) = 0;
};

class PlaybackEngine {
public:
    static constexpr std::uint32_t kSliceMs = 15;
    static constexpr std::uint32_t kIdlePollMs = 50;

    explicit PlaybackEngine(PlaybackHost& host);
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Creates the thread once; later calls do nothing.
    void start();
    void enqueue(std::uint16_t macroId, bool engineLockHeld);
    // Aborts the playing macro, drops queued requests, releases held keys;
    // returns once the engine is idle.
    void stop();
    [[nodiscard]] bool isPlaying() const noexcept { return busy_.load() != 0; }
    // Ends the thread; idempotent.
    void shutdown();

    // Slices the interruptible wait uses for a delay: ceil(ms / 15).
    [[nodiscard]] static std::uint32_t slicesFor(std::uint32_t ms) noexcept {
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(ms) + kSliceMs - 1) / kSliceMs);
    }
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
    // False when quit or stop cut the wait short.
    bool wait(std::uint32_t ms);
    [[nodiscard]] bool interrupted() const noexcept { return quit_.load() != 0 || stop_.load() != 0; }
    void releaseKeysWeLeftDown();

    PlaybackHost& host_;
    mutable std::mutex queueLock_;
    std::deque<PlayRequest> queue_;
    std::atomic<std::uint32_t> busy_{0};
    std::atomic<std::uint32_t> stop_{0};
    std::atomic<std::uint32_t> quit_{0};
    std::atomic<std::uint32_t> exited_{0};
    std::thread thread_;
    // Make codes this engine pressed and has not released, in press order.
    std::vector<std::uint16_t> down_;
};

}  // namespace kb
