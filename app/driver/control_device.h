// The requests the program sends to the keyboard filter driver's control
// device. The real device (DeviceIoControl) implements this later; tests use
// a recording fake.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kb {

inline constexpr std::uint32_t kCodeSelectDevice = 0x222128;
inline constexpr std::uint32_t kCodeInstallTable = 0x22210C;
inline constexpr std::uint32_t kCodeRegisterAttachEvent = 0x222110;

struct DeviceSelector {
    std::uint32_t vendor = 0;
    std::uint32_t product = 0;
    // The 16 bytes sent with kCodeSelectDevice: {2, vendor, product, 0}.
    [[nodiscard]] std::array<std::uint8_t, 16> bytes() const noexcept;
    friend bool operator==(const DeviceSelector&, const DeviceSelector&) = default;
};

inline constexpr DeviceSelector kKeyboardSelector{0x04D9, 0x2819};
inline constexpr std::array<DeviceSelector, 2> kKeypadSelectors{{{0x1C4F, 0x000E}, {0x1C4F, 0x0016}}};

class ControlDevice {
public:
    virtual ~ControlDevice() = default;
    // True when requests can be sent; an implementation may open the device here.
    [[nodiscard]] virtual bool isOpen() = 0;
    // kCodeSelectDevice; true when the driver accepted the selection.
    [[nodiscard]] virtual bool selectDevice(const DeviceSelector& device) = 0;
    // kCodeInstallTable with the table as input.
    [[nodiscard]] virtual bool installTable(std::span<const std::uint8_t> table) = 0;
    // kCodeInstallTable with no input: the selected device's table is removed.
    [[nodiscard]] virtual bool removeTable() = 0;
};

}  // namespace kb
