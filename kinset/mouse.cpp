#include "mouse.h"

#include <cstdint>

namespace kb::kinset {
namespace {

constexpr std::u16string_view kPostTypeText =
    u"Can't simulate mouse PostMessage type in this version!\r\nPlease contact to your producers!";
constexpr std::u16string_view kSendTypeText =
    u"Can't simulate mouse SendMessage type in this version!\r\nPlease contact to your producers!";
constexpr std::u16string_view kLineText =
    u"Can't simulate mouse [Line] type in this version!\r\nPlease contact to your producers!";
constexpr std::u16string_view kHumanText =
    u"Can't simulate mouse [Human] type in this version!\r\nPlease contact to your producers!";
constexpr std::u16string_view kAdjustText =
    u"Can't simulate mouse [Adjust] type in this version!\r\nPlease contact to your producers!";

constexpr std::int32_t kSmoothSteps = 32;
constexpr std::int32_t kMaxAcceleratedSteps = 32;

MouseRecord moveRecord(Point p) noexcept {
    MouseRecord r;
    r.flags = kMouseAbsolute;
    r.x = p.x;
    r.y = p.y;
    return r;
}

MouseRecord buttonRecord(std::uint16_t flags) noexcept {
    MouseRecord r;
    r.buttonFlags = flags;
    return r;
}

// Keeps a coordinate on the screen: 0 to the screen's extent.
std::int32_t clampTo(std::int64_t v, std::int32_t extent) noexcept {
    return static_cast<std::int32_t>(v < 0 ? 0 : (v > extent ? extent : v));
}

}  // namespace

std::int32_t absoluteUnits(std::int32_t pixels, std::int32_t span) noexcept {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(pixels) * 65536 / span + 1);
}

std::int32_t acceleratedSteps(std::int32_t span, std::int32_t majorDistance) noexcept {
    std::int64_t n = 0;
    if (span <= 256) {
        n = span / 8;
    } else {
        n = kMaxAcceleratedSteps + 1;
        for (std::int64_t k = 1; k <= kMaxAcceleratedSteps; ++k) {
            if (static_cast<std::int64_t>(span - 256) * k * (k + 1) * (2 * k + 1) / 6 >=
                11440 * (static_cast<std::int64_t>(majorDistance) - 8 * k)) {
                n = k;
                break;
            }
        }
    }
    // A narrow screen would give no steps at all (and a division by zero).
    return n < 1 ? 1 : static_cast<std::int32_t>(n);
}

std::vector<Point> movePath(std::uint16_t style, Point from, Point to, std::int32_t span,
                            std::int32_t majorDistance) {
    std::int32_t steps = 0;
    switch (style) {
        case kMoveDirect:
            steps = 1;
            break;
        case kMoveSmooth:
            steps = kSmoothSteps;
            break;
        case kMoveAccelerated:
            steps = acceleratedSteps(span, majorDistance);
            break;
        default:
            return {};
    }
    const std::int32_t stepX = (to.x - from.x) / steps;
    const std::int32_t stepY = (to.y - from.y) / steps;
    std::vector<Point> path;
    path.reserve(static_cast<std::size_t>(steps));
    for (std::int32_t k = 1; k < steps; ++k) {
        path.push_back({from.x + k * stepX, from.y + k * stepY});
    }
    path.push_back(to);
    return path;
}

bool Mouse::setMakeType(int type) noexcept {
    if (type < 0 || type > 3) {
        return false;
    }
    makeType_ = static_cast<MouseMakeType>(type);
    return true;
}

int Mouse::send(const MouseRecord& r) {
    switch (makeType_) {
        case MouseMakeType::Driver: {
            const int result = system_.sendRecord(device_, encodeMouseRecord(r));
            system_.yield();
            return result;
        }
        case MouseMakeType::MouseEvent: {
            std::uint32_t flags = 0;
            std::uint32_t data = 0;
            switch (r.buttonFlags) {
                case 0:
                    flags = kEventMove | ((r.flags & kMouseAbsolute) != 0 ? kEventAbsolute : 0);
                    break;
                case kMouseWheel:
                    flags = kEventWheel;
                    data = static_cast<std::uint32_t>(static_cast<std::int32_t>(r.buttonData));
                    break;
                case kLeftDown: flags = kEventLeftDown; break;
                case kLeftUp: flags = kEventLeftUp; break;
                case kRightDown: flags = kEventRightDown; break;
                case kRightUp: flags = kEventRightUp; break;
                case kMiddleDown: flags = kEventMiddleDown; break;
                case kMiddleUp: flags = kEventMiddleUp; break;
                case kFourthDown: flags = kEventXDown; data = 1; break;
                case kFifthDown: flags = kEventXDown; data = 2; break;
                case kFourthUp: flags = kEventXUp; data = 1; break;
                case kFifthUp: flags = kEventXUp; data = 2; break;
                default: flags = kEventXUp; break;
            }
            const bool positioned = r.buttonFlags == 0;
            system_.mouseEvent(flags, positioned ? r.x : 0, positioned ? r.y : 0, data);
            return 1;
        }
        case MouseMakeType::PostMessage:
            system_.messageBox(kPostTypeText, kMouseBoxCaption);
            return 0;
        case MouseMakeType::SendMessage:
            system_.messageBox(kSendTypeText, kMouseBoxCaption);
            return 0;
    }
    return 0;
}

int Mouse::sendRecord(Device device, const MouseRecord& record) {
    const std::lock_guard hold(lock_);
    device_ = device;
    int result = 1;
    if (makeType_ == MouseMakeType::Driver) {
        result = system_.sendRecord(device_, encodeMouseRecord(record));
    }
    system_.yield();
    return result;
}

int Mouse::clickButtons(std::uint16_t buttons) {
    int result = 0;
    auto down = [&](std::uint16_t bit, std::uint16_t flag) {
        if ((buttons & bit) != 0) {
            result = send(buttonRecord(flag));
        }
    };
    down(kLeftButton, kLeftDown);
    down(kRightButton, kRightDown);
    down(kMiddleButton, kMiddleDown);
    down(kFourthButton, kFourthDown);
    if ((buttons & kFifthButton) != 0) {
        send(buttonRecord(kFifthDown));
        result = send(buttonRecord(kFifthUp));
    }
    down(kFourthButton, kFourthUp);
    down(kMiddleButton, kMiddleUp);
    down(kRightButton, kRightUp);
    down(kLeftButton, kLeftUp);
    return result;
}

int Mouse::click(Device device, std::uint16_t buttons) {
    const std::lock_guard hold(lock_);
    device_ = device;
    return clickButtons(buttons);
}

int Mouse::rawButtons(Device device, std::uint16_t buttonFlags) {
    const std::lock_guard hold(lock_);
    device_ = device;
    return send(buttonRecord(buttonFlags));
}

int Mouse::wheel(Device device, std::int16_t notches) {
    const std::lock_guard hold(lock_);
    device_ = device;
    MouseRecord r;
    r.buttonFlags = kMouseWheel;
    r.buttonData = static_cast<std::int16_t>(notches * 120);
    return send(r);
}

int Mouse::moveBy(std::uint16_t style, bool absolute, std::int32_t x, std::int32_t y) {
    const Point cursor = system_.cursorPosition();
    const Point screen = system_.screenSize();
    const std::int32_t w = screen.x;
    const std::int32_t h = screen.y;
    Point target;
    if (!absolute) {
        if (x == 0 && y == 0) {
            return 1;
        }
        // Summed in 64 bits: a huge distance must clamp to the edge, not wrap.
        target = {clampTo(static_cast<std::int64_t>(cursor.x) + x, w),
                  clampTo(static_cast<std::int64_t>(cursor.y) + y, h)};
    } else {
        target = {clampTo(x, w), clampTo(y, h)};
    }
    switch (style) {
        case kMoveDirect:
        case kMoveSmooth:
        case kMoveAccelerated:
            break;
        case kMoveLine:
            system_.messageBox(kLineText, kMouseBoxCaption);
            return 0;
        case kMoveHuman:
            system_.messageBox(kHumanText, kMouseBoxCaption);
            return 0;
        case kMoveAdjust:
            system_.messageBox(kAdjustText, kMouseBoxCaption);
            return 0;
        default:
            return 0;
    }
    if (w <= 0 || h <= 0) {
        return 0;  // no screen to convert to absolute units
    }
    const std::int32_t dx = target.x - cursor.x;
    const std::int32_t dy = target.y - cursor.y;
    const bool alongX = dx >= dy;
    const std::int32_t span = alongX ? w : h;
    const std::int32_t major = alongX ? dx : dy;
    const Point from{absoluteUnits(cursor.x, w), absoluteUnits(cursor.y, h)};
    const Point to{absoluteUnits(target.x, w), absoluteUnits(target.y, h)};
    int result = 0;
    for (const Point& p : movePath(style, from, to, span, major)) {
        result = send(moveRecord(p));
    }
    return result;
}

int Mouse::move(Device device, std::uint16_t style, bool absolute, std::int32_t x, std::int32_t y) {
    const std::lock_guard hold(lock_);
    device_ = device;
    return moveBy(style, absolute, x, y);
}

int Mouse::action(Device device, const MouseAction& a) {
    const std::lock_guard hold(lock_);
    device_ = device;
    switch (a.kind) {
        case kActionMove:
            return moveBy(a.style, a.target == 1, a.x, a.y);
        case kActionButton:
            if (a.style == 1) {
                return clickButtons(a.target);
            }
            return a.style == 0 ? send(buttonRecord(a.target)) : 0;
        case kActionWheel:
            return wheel(device, static_cast<std::int16_t>(a.style));
        default:
            return 0;
    }
}

}  // namespace kb::kinset
