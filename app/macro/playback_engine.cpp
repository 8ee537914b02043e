#include "playback_engine.h"

#include <algorithm>
#include <new>

namespace kb {

PlaybackEngine::PlaybackEngine(PlaybackHost& host) : host_(host) {}

PlaybackEngine::~PlaybackEngine() { shutdown(); }

void PlaybackEngine::start() {
    if (thread_.joinable() || exited_.load() != 0) return;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.clear();
    }
    busy_ = 0;
    stop_ = 0;
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
    }
}

void PlaybackEngine::stop() {
    stop_ = 1;
    {
        // Requests queued while idle would otherwise play after the stop.
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.clear();
    }
    if (busy_.load() != 0) {
        while (busy_.load() != 0 && exited_.load() == 0) host_.sleepMs(kSliceMs);
        host_.releaseSystemHeldKeys();
    }
    stop_ = 0;
}

void PlaybackEngine::shutdown() {
    if (!thread_.joinable()) return;
    quit_ = 1;
    thread_.join();
}

std::size_t PlaybackEngine::queuedCount() const {
    std::lock_guard<std::mutex> lock(queueLock_);
    return queue_.size();
}

void PlaybackEngine::run() noexcept {
    try {
        while (quit_.load() == 0) {
            const bool attached = host_.ensureAttached();
            if (drainQueue(attached)) host_.playbackIndication(false);
            busy_ = 0;
            if (quit_.load() != 0) break;
            host_.sleepMs(kIdlePollMs);
        }
    } catch (...) {
        // Nothing may escape the thread; fall through to the exit state.
    }
    releaseKeysWeLeftDown();
    host_.playbackIndication(false);
    busy_ = 0;
    exited_ = 1;
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
        if (interrupted()) return;
        host_.sleepMs(1);
    }
    for (const PlayStep& step : steps) {
        if (!wait(step.delayMs)) break;
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

bool PlaybackEngine::wait(std::uint32_t ms) {
    for (std::uint32_t n = slicesFor(ms); n > 0; --n) {
        host_.sleepMs(kSliceMs);
        if (quit_.load() != 0 || stop_.load() != 0) return false;
    }
    return !interrupted();
}

void PlaybackEngine::releaseKeysWeLeftDown() {
    while (!down_.empty()) {
        const std::uint16_t code = down_.back();
        down_.pop_back();
        host_.sendStep(code, 1);
    }
}

}  // namespace kb
