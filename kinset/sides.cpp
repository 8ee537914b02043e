#include "sides.h"

namespace kb::kinset {

int Side::init(DeviceOpener& opener) {
    const std::lock_guard hold(lock_);
    if (state_ > 0) {
        return state_;
    }
    const Device h = opener.openControlDevice();
    if (h == kInvalidDevice || h == kNullDevice) {
        handle_ = kNullDevice;
        state_ = failState_;
    } else {
        handle_ = h;
        state_ = 1;
    }
    return state_;
}

void Side::end(DeviceOpener& opener) {
    const std::lock_guard hold(lock_);
    const Device h = handle_.load();
    if (h != kNullDevice && h != kInvalidDevice) {
        opener.closeDevice(h);
    }
    handle_ = kNullDevice;
    state_ = 0;
}

int Sides::init(DeviceOpener& opener) {
    const int state = keyboard.init(opener);
    if (state <= 0) {
        return state;
    }
    return mouse.init(opener);
}

void Sides::end(DeviceOpener& opener) {
    mouse.end(opener);
    keyboard.end(opener);
}

}  // namespace kb::kinset
