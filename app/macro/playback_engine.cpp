#include "playback_engine.h"

#include <algorithm>
#include <climits>
#include <cstdint>
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

namespace {

bool repeats(std::uint16_t mode) {
    return mode == static_cast<std::uint16_t>(PlayMode::WhileHeld) ||
           mode == static_cast<std::uint16_t>(PlayMode::UntilPressed);
}

void owe(std::uint32_t& passes) {
    if (passes < UINT32_MAX) ++passes;
}

}  // namespace

void PlaybackEngine::enqueue(std::uint16_t macroId, int key, Wake wake) {
    enqueueFound(host_.findMacro(macroId), macroId, key, wake);
}

void PlaybackEngine::enqueueLocked(std::uint16_t macroId, int key, Wake wake) {
    enqueueFound(host_.findMacroLocked(macroId), macroId, key, wake);
}

void PlaybackEngine::enqueueFound(const PlayTableRef& ref, std::uint16_t macroId, int key, Wake wake) {
    try {
        std::lock_guard<std::mutex> lock(queueLock_);
        if (key != kNoKey) {
            if (!heldLocked(key)) held_.push_back(key);
            if (current_.active && current_.key == key && current_.macroId == macroId) {
                // The key of the repetition that is playing: no second request.
                if (current_.mode == PlayMode::WhileHeld) {
                    owe(current_.owedPasses);
                    return;
                }
                if (current_.mode == PlayMode::UntilPressed) {
                    current_.on = !current_.on;
                    return;
                }
            }
            if (repeats(ref.playMode)) {
                for (auto it = queue_.begin(); it != queue_.end(); ++it) {
                    if (it->key != key || it->macroId != macroId || it->playMode != ref.playMode) continue;
                    if (ref.playMode == static_cast<std::uint16_t>(PlayMode::WhileHeld)) {
                        owe(it->owedPasses);
                    } else {
                        queue_.erase(it);  // switched off before it began
                    }
                    return;
                }
            }
        }
        PlayRequest request;
        request.macroId = macroId;
        request.index = ref.index;
        request.key = key;
        request.playMode = ref.playMode;
        queue_.push_back(request);
    } catch (const std::bad_alloc&) {
        // Dropped, as a request that cannot be stored.
        return;
    }
    if (wake == Wake::Now) clock_.wake();
}

void PlaybackEngine::keyReleased(int key) {
    if (key == kNoKey) return;
    std::lock_guard<std::mutex> lock(queueLock_);
    held_.erase(std::remove(held_.begin(), held_.end(), key), held_.end());
}

bool PlaybackEngine::heldLocked(int key) const {
    return std::find(held_.begin(), held_.end(), key) != held_.end();
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

bool PlaybackEngine::isRepeating() const {
    std::lock_guard<std::mutex> lock(queueLock_);
    if (current_.active) return true;
    return std::any_of(queue_.begin(), queue_.end(),
                       [](const PlayRequest& r) { return r.key != kNoKey && repeats(r.playMode); });
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
            shown_ = false;
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
    MacroSnapshot macro;
    for (;;) {
        const SnapshotResult r = host_.trySnapshot(request.index, request.macroId, macro);
        if (r == SnapshotResult::Copied) break;
        if (r == SnapshotResult::NoMatch) return;
        // Someone holds the engine lock; never block on it, so a stop or quit
        // from that holder cannot deadlock with us.
        if (!waitUntil(clock_.nowUs() + 1000)) return;
    }
    if (request.key != kNoKey && repeats(macro.playMode)) {
        repeat(request, macro);
        return;
    }
    std::uint64_t due = clock_.nowUs();
    (void)playSteps(macro.steps, due);
    // A macro cut short between a press and its release must not leave the key down.
    if (interrupted()) releaseKeysWeLeftDown();
}

bool PlaybackEngine::playSteps(const std::vector<PlayStep>& steps, std::uint64_t& dueUs) {
    // Each step is due at the macro's start plus the delays so far, so a late
    // wake-up shortens the next wait instead of pushing every later step back.
    for (const PlayStep& step : steps) {
        dueUs += static_cast<std::uint64_t>(step.delayMs) * 1000;
        if (!waitUntil(dueUs)) return false;
        host_.sendStep(step.makeCode, step.direction);
        // The window's indication wakes its thread: not ahead of the first step.
        showPlaying();
        if (step.direction == 0) {
            if (std::find(down_.begin(), down_.end(), step.makeCode) == down_.end()) down_.push_back(step.makeCode);
        } else {
            down_.erase(std::remove(down_.begin(), down_.end(), step.makeCode), down_.end());
        }
    }
    return !interrupted();
}

void PlaybackEngine::repeat(const PlayRequest& request, const MacroSnapshot& macro) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        current_.active = true;
        current_.key = request.key;
        current_.macroId = request.macroId;
        current_.mode = static_cast<PlayMode>(macro.playMode);
        // The queued request's presses were counted for its own mode; a table
        // rebuilt in between may have changed the mode: start fresh then.
        const bool sameMode = request.playMode == macro.playMode;
        current_.owedPasses = sameMode ? request.owedPasses : 1;
        current_.on = sameMode ? request.on : true;
    }
    const std::vector<std::uint16_t> downBefore = down_;
    // Passes keep their own start times too: a pass starts when the one before
    // ended, or kMinPassMs after the one before started, whichever is later.
    std::uint64_t passStart = clock_.nowUs();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            if (current_.owedPasses > 0) --current_.owedPasses;
        }
        std::uint64_t due = passStart;
        if (!playSteps(macro.steps, due)) break;
        const std::uint64_t next = std::max(due, passStart + kMinPassMs * 1000);
        if (!waitUntil(next)) break;
        {
            // Decided when the next pass is due: a release that came during the
            // pass lets it finish, and no new pass starts.
            std::lock_guard<std::mutex> lock(queueLock_);
            if (!anotherPassLocked()) {
                // Ended under the same lock, so a press from now on queues anew.
                current_ = Repetition{};
                break;
            }
        }
        passStart = next;
    }
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        current_ = Repetition{};
    }
    if (interrupted()) {
        releaseKeysWeLeftDown();
    } else {
        // A repetition that ends by itself leaves no key down that it pressed.
        releaseKeysDownSince(downBefore);
    }
}

bool PlaybackEngine::anotherPassLocked() {
    if (current_.mode == PlayMode::WhileHeld) return heldLocked(current_.key) || current_.owedPasses > 0;
    return current_.on;
}

bool PlaybackEngine::waitUntil(std::uint64_t deadlineUs) {
    while (!interrupted()) {
        if (clock_.nowUs() >= deadlineUs) return true;
        showPlaying();
        clock_.waitUntil(deadlineUs);
    }
    return false;
}

void PlaybackEngine::showPlaying() {
    if (shown_) return;
    shown_ = true;
    host_.playbackIndication(true);
}

void PlaybackEngine::releaseKeysDownSince(const std::vector<std::uint16_t>& before) {
    for (std::size_t i = down_.size(); i-- > 0;) {
        const std::uint16_t code = down_[i];
        if (std::find(before.begin(), before.end(), code) != before.end()) continue;
        down_.erase(down_.begin() + static_cast<std::ptrdiff_t>(i));
        host_.sendStep(code, 1);
    }
}

void PlaybackEngine::releaseKeysWeLeftDown() {
    while (!down_.empty()) {
        const std::uint16_t code = down_.back();
        down_.pop_back();
        host_.sendStep(code, 1);
    }
}

}  // namespace kb
