// The Windows side of the injection logic: the control device and the
// system's input calls. Thin: no decisions are made here.
#pragma once

#include "records.h"

#include <windows.h>

namespace kb::kinset {

inline constexpr wchar_t kControlDevicePath[] = KB_CONTROL_DEVICE_PATH_W;

[[nodiscard]] inline Device toDevice(HANDLE h) noexcept {
    return reinterpret_cast<Device>(h);
}
[[nodiscard]] inline HANDLE toHandle(Device d) noexcept {
    return reinterpret_cast<HANDLE>(d);
}

// Opens a device for reading and writing, unshared, existing only;
// INVALID_HANDLE_VALUE on failure.
[[nodiscard]] HANDLE openDevice(const wchar_t* path) noexcept;

class WinSystem final : public KeyboardSystem, public MouseSystem, public DeviceOpener {
public:
    int sendRecord(Device device, const Record& record) override;
    void yield() override;

    LockState lockState() override;
    std::uint8_t scanCodeOfVirtualKey(std::uint8_t virtualKey) override;
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags) override;
    int keyMessage(bool send, std::uint32_t message, std::uint8_t virtualKey, std::uint32_t lParam) override;

    Point cursorPosition() override;
    Point screenSize() override;
    void mouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y, std::uint32_t data) override;
    void messageBox(std::u16string_view text, std::u16string_view caption) override;

    Device openControlDevice() override;
    void closeDevice(Device device) override;
};

}  // namespace kb::kinset
