#include "sides.h"

namespace kb::kinset {

int Side::init(DeviceOpener& opener) {
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
    if (handle_ != kNullDevice && handle_ != kInvalidDevice) {
        opener.closeDevice(handle_);
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
