// What a profile change asks of macro playback.
#pragma once

namespace kb {

class PlaybackControl {
public:
    virtual ~PlaybackControl() = default;
    [[nodiscard]] virtual bool isPlaying() const = 0;
    // A macro that repeats (while held or until pressed again) is playing.
    [[nodiscard]] virtual bool isRepeating() const = 0;
    // Blocks until playback has stopped; never called with the engine lock held.
    virtual void stop() = 0;
};

}  // namespace kb
