// Macro playback engine: one thread plays queued requests in arrival order,
// step by step, each step at its absolute deadline. A request that a key
// made may repeat its macro, by the macro's play mode, while the key is held
// (mode 1) or until the key is pressed again (mode 2). Portable; the world it
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

// How a macro plays when a key asks for it (the record's playMode).
enum class PlayMode : std::uint16_t {
    Once = 0,
    WhileHeld = 1,    // passes follow each other while the key is held
    UntilPressed = 2, // one press starts the passes, the next press ends them
};

// Where a macro sits in the play table, and its play mode; index 0 and mode
// 0 when no record has the id.
struct PlayTableRef {
    std::uint16_t index = 0;
    std::uint16_t playMode = 0;
};

struct MacroSnapshot {
    std::vector<PlayStep> steps;
    std::uint16_t playMode = 0;
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
    // The first play-table record with this id, under the engine lock.
    virtual PlayTableRef findMacro(std::uint16_t macroId) = 0;
    // The same for a caller that holds the engine lock.
    virtual PlayTableRef findMacroLocked(std::uint16_t macroId) = 0;
    // Copies the record's used steps and its mode under the engine lock,
    // without blocking on it.
    virtual SnapshotResult trySnapshot(std::uint16_t index, std::uint16_t macroId, MacroSnapshot& out) = 0;
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

    // No key: the request plays once whatever the macro's mode.
    static constexpr int kNoKey = -1;
    // The shortest pass of a repetition: an empty macro or one without delays
    // repeats at this pace instead of spinning, and stop and quit are seen.
    static constexpr std::uint64_t kMinPassMs = 15;

    // Creates the thread once; later calls do nothing.
    void start();
    // A request for the macro; `key` (any number that names the key, kNoKey
    // for none) is the key whose press asked for it. A press of the key whose
    // repetition is playing or queued does not queue another request: in
    // mode 1 it asks for at least one more pass, in mode 2 it switches the
    // repetition off (a queued one is dropped) or on again.
    // With Wake::ByCaller the thread is not woken here: a caller that holds
    // the engine lock calls wake() once it has let go of it.
    enum class Wake { Now, ByCaller };
    void enqueue(std::uint16_t macroId, int key = kNoKey, Wake wake = Wake::Now);
    // The same for a caller that holds the engine lock.
    void enqueueLocked(std::uint16_t macroId, int key = kNoKey, Wake wake = Wake::Now);
    void wake() { clock_.wake(); }
    // The key's release: a mode-1 repetition ends after its running pass.
    void keyReleased(int key);
    // Aborts the playing macro, drops queued requests, releases held keys;
    // returns once the engine is idle. Stops may overlap: none of them ends
    // before every request dequeued while any of them ran has been dropped.
    void stop();
    [[nodiscard]] bool isPlaying() const noexcept { return busy_.load() != 0; }
    // A repetition is playing or queued: it ends only by its key or a stop,
    // so whoever takes the keys away (a session lock) must stop it.
    [[nodiscard]] bool isRepeating() const;
    // Ends the thread; idempotent.
    void shutdown();

    [[nodiscard]] std::size_t queuedCount() const;

private:
    void enqueueFound(const PlayTableRef& ref, std::uint16_t macroId, int key, Wake wake);
    struct PlayRequest {
        std::uint16_t macroId = 0;
        std::uint16_t index = 0;
        int key = kNoKey;
        std::uint16_t playMode = 0;
        std::uint32_t owedPasses = 1;  // mode 1: passes that presses asked for
        bool on = true;                // mode 2: switched on by an odd number of presses
    };
    // The repetition being played, as presses and releases change it.
    struct Repetition {
        bool active = false;
        int key = kNoKey;
        std::uint16_t macroId = 0;
        PlayMode mode = PlayMode::Once;
        std::uint32_t owedPasses = 0;
        bool on = false;
    };

    void run() noexcept;
    // True when it took at least one request.
    bool drainQueue(bool attached);
    void play(const PlayRequest& request);
    // Plays the steps from `dueUs` on; `dueUs` ends at the last step's time.
    // False when quit or a stop cut it short.
    bool playSteps(const std::vector<PlayStep>& steps, std::uint64_t& dueUs);
    void repeat(const PlayRequest& request, const MacroSnapshot& macro);
    // Under the queue lock: whether the repetition's next pass is due.
    [[nodiscard]] bool anotherPassLocked();
    [[nodiscard]] bool heldLocked(int key) const;
    // False when quit or a stop cut the wait short.
    bool waitUntil(std::uint64_t deadlineUs);
    // Indicates "playing" once per drain: after the first step, or before a
    // wait, whichever comes first.
    void showPlaying();
    [[nodiscard]] bool interrupted() const noexcept { return quit_.load() != 0 || stopping_.load() != 0; }
    void setIdle();
    void releaseKeysWeLeftDown();
    // Releases what was pressed since `before` was taken and is still down.
    void releaseKeysDownSince(const std::vector<std::uint16_t>& before);

    PlaybackHost& host_;
    PlaybackClock& clock_;
    // The play-queue lock: the queue, held keys, the repetition, and busy's
    // changes that stop waits for.
    mutable std::mutex queueLock_;
    std::condition_variable idle_;
    std::deque<PlayRequest> queue_;
    // Keys pressed (by enqueue) and not yet released; and the repetition.
    std::vector<int> held_;
    Repetition current_;
    std::atomic<std::uint32_t> busy_{0};
    // Stops in progress. A count, not a flag, so one stop ending cannot
    // clear another's request.
    std::atomic<std::uint32_t> stopping_{0};
    std::atomic<std::uint32_t> quit_{0};
    std::atomic<std::uint32_t> exited_{0};
    std::thread thread_;
    // Make codes this engine pressed and has not released, in press order.
    std::vector<std::uint16_t> down_;
    // Whether "playing" was indicated since the queue was last drained; the
    // playback thread's own.
    bool shown_ = false;
};

}  // namespace kb
