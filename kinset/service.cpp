#include "service.h"

#include "service_name.h"

#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"

#include <string>
#include <utility>

namespace kb::kinset {
namespace {

using ScHandle = kbwin::UniqueService;

ScHandle openManager() noexcept {
    return ScHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

}  // namespace

int installDriverService(const wchar_t* driverPath, SC_HANDLE* service) noexcept {
    if (driverPath == nullptr || service == nullptr) {
        return 0;
    }
    ScHandle manager = openManager();
    if (!manager) {
        return 0;
    }
    std::u16string name;
    try {
        name = serviceNameOfPath(
            kbtext::asU16(driverPath));
    } catch (...) {
        return 0;
    }
    const wchar_t* wideName = kbtext::asWide(name);
    ScHandle svc(CreateServiceW(manager.get(), wideName, wideName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, driverPath, nullptr, nullptr, nullptr,
                                nullptr, nullptr));
    const bool created = static_cast<bool>(svc);
    if (!svc) {
        if (GetLastError() != ERROR_SERVICE_EXISTS) {
            return 0;
        }
        const std::u16string existing(kExistingServiceName);
        svc = ScHandle(
            OpenServiceW(manager.get(), kbtext::asWide(existing), SERVICE_ALL_ACCESS));
        if (!svc) {
            return 0;
        }
    }
    if (StartServiceW(svc.get(), 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING) {
        *service = svc.release();
        return 1;
    }
    // A service we created that does not start is not left behind; one that
    // was there before is someone else's and stays.
    if (created) DeleteService(svc.get());
    return 0;
}

int removeDriverService(SC_HANDLE service) noexcept {
    if (service == nullptr) {
        return 0;
    }
    ScHandle manager = openManager();
    if (!manager) {
        return 0;
    }
    ScHandle svc(service);
    SERVICE_STATUS status{};
    ControlService(svc.get(), SERVICE_CONTROL_STOP, &status);
    DeleteService(svc.get());
    return 1;
}

}  // namespace kb::kinset
