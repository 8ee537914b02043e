// The requests the program sends to the keyboard filter driver's control
// device (codes and layouts: contracts/kinsetc_device.h). WinControlDevice
// implements it; tests use a recording fake.
#pragma once

#include "contracts/kinsetc_device.h"

#include <array>
#include <cstdint>
#include <span>

namespace kb {

inline constexpr std::uint32_t kCodeSelectDevice = KB_CTL_SELECT_DEVICE;
inline constexpr std::uint32_t kCodeInstallTable = KB_CTL_INSTALL_TABLE;
inline constexpr std::uint32_t kCodeRegisterAttachEvent = KB_CTL_ATTACH_EVENT;

struct DeviceSelector {
    std::uint32_t vendor = 0;
    std::uint32_t product = 0;
    // The 16 bytes sent with kCodeSelectDevice: {2, vendor, product, 0}.
    [[nodiscard]] std::array<std::uint8_t, 16> bytes() const noexcept;
    friend bool operator==(const DeviceSelector&, const DeviceSelector&) = default;
};

inline constexpr DeviceSelector kKeyboardSelector{KB_KEYBOARD_VENDOR, KB_KEYBOARD_PRODUCT};
inline constexpr std::array<DeviceSelector, 2> kKeypadSelectors{
    {{KB_KEYPAD_VENDOR, KB_KEYPAD_0E_PRODUCT}, {KB_KEYPAD_VENDOR, KB_KEYPAD_16_PRODUCT}}};

class ControlDevice {
public:
    virtual ~ControlDevice() = default;
    // Opens the device unless it is open; true when requests can be sent.
    [[nodiscard]] virtual bool ensureOpen() = 0;
    // kCodeSelectDevice; true when the driver accepted the selection.
    [[nodiscard]] virtual bool selectDevice(const DeviceSelector& device) = 0;
    // kCodeInstallTable with the table as input.
    [[nodiscard]] virtual bool installTable(std::span<const std::uint8_t> table) = 0;
    // kCodeInstallTable with no input: the selected device's table is removed.
    [[nodiscard]] virtual bool removeTable() = 0;
};

}  // namespace kb
