// Service name of a driver file: its file name without directory, drive and
// last extension, at most 259 characters.
#pragma once

#include "contracts/kinsetc_device.h"

#include <string>
#include <string_view>

namespace kb::kinset {

inline constexpr std::size_t kMaxServiceName = 259;
inline constexpr std::u16string_view kExistingServiceName = KB_DRIVER_SERVICE_NAME_U16;

[[nodiscard]] std::u16string serviceNameOfPath(std::u16string_view path);

}  // namespace kb::kinset
