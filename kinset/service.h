// Installing, starting, stopping and removing the injection driver's service.
#pragma once

#include <windows.h>

namespace kb::kinset {

// 1 with the started service's handle stored in *service, or 0.
[[nodiscard]] int installDriverService(const wchar_t* driverPath, SC_HANDLE* service) noexcept;
// Stops and deletes the service and closes its handle; 0 when the service
// control manager cannot be opened (the handle stays open).
[[nodiscard]] int removeDriverService(SC_HANDLE service) noexcept;

}  // namespace kb::kinset
