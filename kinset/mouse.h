// Mouse injection: button, wheel and move actions as driver mouse records or
// system mouse input, by the mouse make type. No locks (see keyboard.h).
#pragma once

#include "records.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kb::kinset {

enum class MouseMakeType : int { Driver = 0, MouseEvent = 1, PostMessage = 2, SendMessage = 3 };

// Button bits of a click action and the driver record's button flags.
inline constexpr std::uint16_t kLeftButton = 1;
inline constexpr std::uint16_t kRightButton = 2;
inline constexpr std::uint16_t kMiddleButton = 4;
inline constexpr std::uint16_t kFourthButton = 8;
inline constexpr std::uint16_t kFifthButton = 0x10;

inline constexpr std::uint16_t kLeftDown = 0x001;
inline constexpr std::uint16_t kLeftUp = 0x002;
inline constexpr std::uint16_t kRightDown = 0x004;
inline constexpr std::uint16_t kRightUp = 0x008;
inline constexpr std::uint16_t kMiddleDown = 0x010;
inline constexpr std::uint16_t kMiddleUp = 0x020;
inline constexpr std::uint16_t kFourthDown = 0x040;
inline constexpr std::uint16_t kFourthUp = 0x080;
inline constexpr std::uint16_t kFifthDown = 0x100;
inline constexpr std::uint16_t kFifthUp = 0x200;

// Motion styles of a move action.
inline constexpr std::uint16_t kMoveDirect = 0;
inline constexpr std::uint16_t kMoveSmooth = 1;
inline constexpr std::uint16_t kMoveAccelerated = 2;
inline constexpr std::uint16_t kMoveLine = 3;
inline constexpr std::uint16_t kMoveHuman = 4;
inline constexpr std::uint16_t kMoveAdjust = 5;

// Position in absolute units (0 to 65536 across the span).
[[nodiscard]] std::int32_t absoluteUnits(std::int32_t pixels, std::int32_t span) noexcept;
// Steps of an accelerated move over span pixels with the given major distance;
// at least 1.
[[nodiscard]] std::int32_t acceleratedSteps(std::int32_t span, std::int32_t majorDistance) noexcept;
// The points (absolute units) a move of the given style passes through, the
// last one the target; empty for styles that move nothing.
[[nodiscard]] std::vector<Point> movePath(std::uint16_t style, Point from, Point to, std::int32_t span,
                                          std::int32_t majorDistance);

class Mouse {
public:
    explicit Mouse(MouseSystem& system) noexcept : system_(system) {}

    // false (and no change) for a value outside 0 to 3.
    [[nodiscard]] bool setMakeType(int type) noexcept;
    [[nodiscard]] MouseMakeType makeType() const noexcept { return makeType_.load(); }
    [[nodiscard]] Device currentDevice() const noexcept { return device_.load(); }

    // Performs one action record; the result of the last elementary send.
    [[nodiscard]] int action(Device device, const MouseAction& action);
    // Sends a driver record unchanged (make type 0 only; 1 otherwise).
    [[nodiscard]] int sendRecord(Device device, const MouseRecord& record);

    [[nodiscard]] int click(Device device, std::uint16_t buttons);
    [[nodiscard]] int rawButtons(Device device, std::uint16_t buttonFlags);
    [[nodiscard]] int wheel(Device device, std::int16_t notches);
    [[nodiscard]] int move(Device device, std::uint16_t style, bool absolute, std::int32_t x, std::int32_t y);

private:
    int send(const MouseRecord& record);
    [[nodiscard]] int clickButtons(std::uint16_t buttons);
    [[nodiscard]] int moveBy(std::uint16_t style, bool absolute, std::int32_t x, std::int32_t y);

    MouseSystem& system_;
    // Held for a whole call, as the keyboard's: concurrent callers are safe.
    std::recursive_mutex lock_;
    std::atomic<Device> device_{kNullDevice};
    std::atomic<MouseMakeType> makeType_{MouseMakeType::Driver};
};

// mouse_event flags.
inline constexpr std::uint32_t kEventMove = 0x0001;
inline constexpr std::uint32_t kEventLeftDown = 0x0002;
inline constexpr std::uint32_t kEventLeftUp = 0x0004;
inline constexpr std::uint32_t kEventRightDown = 0x0008;
inline constexpr std::uint32_t kEventRightUp = 0x0010;
inline constexpr std::uint32_t kEventMiddleDown = 0x0020;
inline constexpr std::uint32_t kEventMiddleUp = 0x0040;
inline constexpr std::uint32_t kEventXDown = 0x0080;
inline constexpr std::uint32_t kEventXUp = 0x0100;
inline constexpr std::uint32_t kEventWheel = 0x0800;
inline constexpr std::uint32_t kEventAbsolute = 0x8000;

inline constexpr std::u16string_view kMouseBoxCaption = u"AppMouse";

}  // namespace kb::kinset
