// The 16-byte records the library sends to the filter driver's control device,
// and the small interfaces through which the portable logic reaches the system.
#pragma once

#include "contracts/kinsetc_device.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kb::kinset {

// A device handle as the caller gives it; pointer-sized.
using Device = std::uintptr_t;
inline constexpr Device kNullDevice = 0;
inline constexpr Device kInvalidDevice = ~Device{0};

inline constexpr std::uint32_t kInjectControlCode = KB_CTL_INJECT;
inline constexpr std::size_t kRecordSize = KB_INJECT_RECORD_SIZE;
using Record = std::array<std::uint8_t, kRecordSize>;

// Keyboard record flags.
inline constexpr std::uint16_t kKeyBreak = KB_KEY_BREAK;
inline constexpr std::uint16_t kKeyE0 = KB_KEY_E0;
inline constexpr std::uint16_t kKeyE1 = KB_KEY_E1;

[[nodiscard]] Record keyRecord(std::uint8_t scanCode, std::uint16_t flags) noexcept;

struct MouseRecord {
    std::uint16_t unitId = 0;
    std::uint16_t flags = 0;  // bit 0: absolute coordinates
    std::uint16_t buttonFlags = 0;
    std::int16_t buttonData = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const MouseRecord&, const MouseRecord&) = default;
};

inline constexpr std::uint16_t kMouseAbsolute = KB_MOUSE_ABSOLUTE;
inline constexpr std::uint16_t kMouseWheel = 0x400;

[[nodiscard]] Record encodeMouseRecord(const MouseRecord& r) noexcept;
// Reads the record from exactly kRecordSize bytes.
[[nodiscard]] MouseRecord decodeMouseRecord(const std::uint8_t* bytes) noexcept;

// Mouse action (the argument of the action export), 16 bytes.
struct MouseAction {
    std::uint16_t kind = 0;    // 0 move, 1 button, 2 wheel
    std::uint16_t style = 0;   // move: motion style; button: 1 click, 0 raw; wheel: notches
    std::uint16_t target = 0;  // move: 1 absolute, 0 relative; button: bits or raw flags
    std::int32_t x = 0;
    std::int32_t y = 0;
};
inline constexpr std::uint16_t kActionMove = 0;
inline constexpr std::uint16_t kActionButton = 1;
inline constexpr std::uint16_t kActionWheel = 2;

[[nodiscard]] MouseAction decodeMouseAction(const std::uint8_t* bytes) noexcept;
[[nodiscard]] std::array<std::uint8_t, kRecordSize> encodeMouseAction(const MouseAction& a) noexcept;

// Where records go: the driver's control device.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // One record with the injection control code; non-zero when the call succeeded.
    [[nodiscard]] virtual int sendRecord(Device device, const Record& record) = 0;
    // Gives up the rest of the time slice (a zero-length sleep).
    virtual void yield() = 0;
};

struct LockState {
    bool capsLock = false;
    bool numLock = false;
};

// The system's keyboard input calls, for the make types that bypass the driver.
class KeyboardSystem : public virtual RecordSink {
public:
    [[nodiscard]] virtual LockState lockState() = 0;
    [[nodiscard]] virtual std::uint8_t scanCodeOfVirtualKey(std::uint8_t virtualKey) = 0;
    virtual void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags) = 0;
    // Posts (send false) or sends a key message to the message target window;
    // non-zero when it was delivered.
    [[nodiscard]] virtual int keyMessage(bool send, std::uint32_t message, std::uint8_t virtualKey,
                                         std::uint32_t lParam) = 0;
};

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

class MouseSystem : public virtual RecordSink {
public:
    [[nodiscard]] virtual Point cursorPosition() = 0;
    // Screen width and height in pixels.
    [[nodiscard]] virtual Point screenSize() = 0;
    virtual void mouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y, std::uint32_t data) = 0;
    virtual void messageBox(std::u16string_view text, std::u16string_view caption) = 0;
};

// Opens and closes the library's own handles on the control device.
class DeviceOpener {
public:
    virtual ~DeviceOpener() = default;
    // kInvalidDevice when the device cannot be opened.
    [[nodiscard]] virtual Device openControlDevice() = 0;
    virtual void closeDevice(Device device) = 0;
};

}  // namespace kb::kinset
