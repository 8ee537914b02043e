#include "playback_engine.h"

#include <algorithm>
#include <new>

namespace kb {

PlaybackEngine::PlaybackEngine(PlaybackHost& host, PlaybackClock& clock) : host_(host), clock_(clock) {}

PlaybackEngine::~PlaybackEngine() { shutdown(); }

void PlaybackEngine::start() {
    if (thread_.joinable() || exited_.load() != 0) return;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.clear();
    }
    busy_ = 0;
    stopping_ = 0;
    quit_ = 0;
    thread_ = std::thread([this] { run(); });
}

void PlaybackEngine::enqueue(std::uint16_t macroId, bool engineLockHeld) {
    const std::uint16_t index = host_.findMacroIndex(macroId, engineLockHeld);
    try {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.push_back({macroId, index});
    } catch (const std::bad_alloc&) {
        // Dropped, as a request that cannot be stored.
        return;
    }
    clock_.wake();
}

void PlaybackEngine::stop() {
    bool wasBusy;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        ++stopping_;
        // Requests queued while idle would otherwise play after the stop.
        queue_.clear();
        wasBusy = busy_.load() != 0;
    }
    clock_.wake();
    if (wasBusy) {
        {
            std::unique_lock<std::mutex> lock(queueLock_);
            idle_.wait(lock, [this] { return busy_.load() == 0 || exited_.load() != 0; });
        }
        host_.releaseSystemHeldKeys();
    }
    std::lock_guard<std::mutex> lock(queueLock_);
    --stopping_;
}

void PlaybackEngine::shutdown() {
    if (!thread_.joinable()) return;
    quit_ = 1;
    clock_.wake();
    thread_.join();
}

std::size_t PlaybackEngine::queuedCount() const {
    std::lock_guard<std::mutex> lock(queueLock_);
    return queue_.size();
}

void PlaybackEngine::setIdle() {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        busy_ = 0;
    }
    idle_.notify_all();
}

void PlaybackEngine::run() noexcept {
    try {
        while (quit_.load() == 0) {
            const bool attached = host_.ensureAttached();
            if (drainQueue(attached)) host_.playbackIndication(false);
            setIdle();
            if (quit_.load() != 0) break;
            // Sleeps until a request, a stop or quit wakes it; attachment is
            // retried on the pass a request brings.
            clock_.waitUntil(PlaybackClock::kForever);
        }
    } catch (...) {
        // Nothing may escape the thread; fall through to the exit state.
    }
    try {
        releaseKeysWeLeftDown();
        host_.playbackIndication(false);
    } catch (...) {
    }
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        busy_ = 0;
        exited_ = 1;
    }
    idle_.notify_all();
}

bool PlaybackEngine::drainQueue(bool attached) {
    bool tookAny = false;
    for (;;) {
        PlayRequest request{};
        {
            // Busy is raised under the queue lock, so a stop that empties the
            // queue either sees it set or leaves nothing to take.
            std::lock_guard<std::mutex> lock(queueLock_);
            if (queue_.empty()) return tookAny;
            busy_ = 1;
            request = queue_.front();
            queue_.pop_front();
        }
        tookAny = true;
        if (!interrupted() && attached) play(request);
    }
}

void PlaybackEngine::play(const PlayRequest& request) {
    host_.playbackIndication(true);
    std::vector<PlayStep> steps;
    for (;;) {
        const SnapshotResult r = host_.trySnapshot(request.index, request.macroId, steps);
        if (r == SnapshotResult::Copied) break;
        if (r == SnapshotResult::NoMatch) return;
        // Someone holds the engine lock; never block on it, so a stop or quit
        // from that holder cannot deadlock with us.
        if (!waitUntil(clock_.nowUs() + 1000)) return;
    }
    // Each step is due at the macro's start plus the delays so far, so a late
    // wake-up shortens the next wait instead of pushing every later step back.
    std::uint64_t due = clock_.nowUs();
    for (const PlayStep& step : steps) {
        due += static_cast<std::uint64_t>(step.delayMs) * 1000;
        if (!waitUntil(due)) break;
        host_.sendStep(step.makeCode, step.direction);
        if (step.direction == 0) {
            if (std::find(down_.begin(), down_.end(), step.makeCode) == down_.end()) down_.push_back(step.makeCode);
        } else {
            down_.erase(std::remove(down_.begin(), down_.end(), step.makeCode), down_.end());
        }
    }
    // A macro cut short between a press and its release must not leave the key down.
    if (interrupted()) releaseKeysWeLeftDown();
}

bool PlaybackEngine::waitUntil(std::uint64_t deadlineUs) {
    while (!interrupted()) {
        if (clock_.nowUs() >= deadlineUs) return true;
        clock_.waitUntil(deadlineUs);
    }
    return false;
}

void PlaybackEngine::releaseKeysWeLeftDown() {
    while (!down_.empty()) {
        const std::uint16_t code = down_.back();
        down_.pop_back();
        host_.sendStep(code, 1);
    }
}

}  // namespace kb
