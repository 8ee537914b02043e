#include "control_device_win.h"

#include "library_bindings.h"

#include <algorithm>

namespace kb {

WinControlDevice::WinControlDevice(std::wstring path)
    : path_(std::move(path)), lost_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

namespace {

// What a request on a handle whose device has gone fails with (Wine: access
// denied once the driver is unloaded, also after it is loaded again).
bool deviceGone(DWORD error) noexcept {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_DELETE_PENDING:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_INVALID_HANDLE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:
        return true;
    default:
        return false;
    }
}

}  // namespace

WinControlDevice::~WinControlDevice() { (void)close(); }

bool WinControlDevice::kinsetInitDue() const noexcept {
    const KinsetBinding* kinset = kinset_.load();
    return kinset != nullptr && kinset->Init != nullptr && kinsetInit_.load() <= 0;
}

int WinControlDevice::open() {
    if (open_.load() && !kinsetInitDue()) return 1;
    // Several worker threads retry the open at once while the driver is
    // missing; one of them opens, the others find it open.
    std::lock_guard guard(pairMutex_);
    if (open_.load()) {
        // The library's own handles failed to open with ours: try again, so
        // injection works once the device answers it, without a restart.
        // Our handle (and the tables installed through it) stays as it is.
        if (kinsetInitDue()) initKinset();
        return 1;
    }
    handle_.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle_) return 0;
    handleSelection_.reset();
    threadSelections_.clear();
    // After a loss the library still holds handles on the device that went: it
    // opens only while it has none.
    const KinsetBinding* kinset = kinset_.load();
    if (opens_.load() > 0 && kinsetInit_.load() > 0 && kinset != nullptr && kinset->End != nullptr) {
        (void)kinset->End();
        kinsetInit_.store(0);
    }
    // The injection handles are in place before anyone sees the device open.
    initKinset();
    opens_.fetch_add(1);
    open_.store(true);
    return 1;
}

void WinControlDevice::initKinset() {
    const KinsetBinding* kinset = kinset_.load();
    if (kinset == nullptr || kinset->Init == nullptr) return;
    const int result = kinset->Init();
    kinsetInit_.store(result);
    HANDLE keyboard = nullptr;
    HANDLE mouse = nullptr;
    if (result > 0) {
        if (kinset->KinsetKbGetHandle != nullptr) (void)kinset->KinsetKbGetHandle(&keyboard);
        if (kinset->KinsetMuGetHandle != nullptr) (void)kinset->KinsetMuGetHandle(&mouse);
    }
    kinsetKeyboard_.store(keyboard);
    kinsetMouse_.store(mouse);
}

int WinControlDevice::close() {
    // Waits for a pair in progress, so no request runs on a closed handle.
    std::lock_guard guard(pairMutex_);
    if (!open_.load()) return 0;
    open_.store(false);
    handleSelection_.reset();
    threadSelections_.clear();
    return handle_.close() ? 1 : 0;
}

bool WinControlDevice::control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                               DWORD* returned) {
    if (!handle_) return false;
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(handle_.get(), code, const_cast<void*>(in), inSize, out, outSize, &got, nullptr);
    if (returned != nullptr) *returned = got;
    if (ok == FALSE) {
        failedRequests_.fetch_add(1);
        if (deviceGone(GetLastError()) && lost_) (void)SetEvent(lost_.get());
    }
    return ok != FALSE;
}

void WinControlDevice::dropLost() {
    std::lock_guard guard(pairMutex_);
    if (lost_) (void)ResetEvent(lost_.get());
    if (!open_.load()) return;
    open_.store(false);
    handleSelection_.reset();
    threadSelections_.clear();
    (void)handle_.close();
}

bool WinControlDevice::sendSelection(const DeviceSelector& device) {
    const auto bytes = device.bytes();
    if (control(kCodeSelectDevice, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, 0, nullptr)) {
        handleSelection_ = device;
        return true;
    }
    // The driver's selection is unknown now: the next request re-selects.
    handleSelection_.reset();
    return false;
}

bool WinControlDevice::selectDevice(const DeviceSelector& device) {
    std::lock_guard pairGuard(pairMutex_);
    const auto self = std::this_thread::get_id();
    auto mine = std::find_if(threadSelections_.begin(), threadSelections_.end(),
                             [&](const ThreadSelection& s) { return s.thread == self; });
    if (!sendSelection(device)) {
        if (mine != threadSelections_.end()) threadSelections_.erase(mine);
        return false;
    }
    if (mine != threadSelections_.end())
        mine->selector = device;
    else
        threadSelections_.push_back({self, device});
    return true;
}

bool WinControlDevice::restoreThreadSelection() {
    const auto self = std::this_thread::get_id();
    auto mine = std::find_if(threadSelections_.begin(), threadSelections_.end(),
                             [&](const ThreadSelection& s) { return s.thread == self; });
    // A thread that never selected acts on whatever is selected, as before.
    if (mine == threadSelections_.end() || handleSelection_ == mine->selector) return true;
    return sendSelection(mine->selector);
}

bool WinControlDevice::installTable(std::span<const std::uint8_t> table) {
    std::lock_guard pairGuard(pairMutex_);
    if (!restoreThreadSelection()) return false;
    return control(kCodeInstallTable, table.data(), static_cast<DWORD>(table.size()), nullptr, 0, nullptr);
}

bool WinControlDevice::removeTable() {
    std::lock_guard pairGuard(pairMutex_);
    if (!restoreThreadSelection()) return false;
    return control(kCodeInstallTable, nullptr, 0, nullptr, 0, nullptr);
}

bool WinControlDevice::registerAttachEvent(HANDLE event, std::int32_t& state) {
    std::uint8_t in[8];
    const auto value = static_cast<std::uint64_t>(static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(event)));
    for (int i = 0; i < 8; ++i) in[i] = static_cast<std::uint8_t>(value >> (8 * i));
    std::uint8_t out[4] = {};
    DWORD returned = 0;
    std::lock_guard pairGuard(pairMutex_);
    if (!restoreThreadSelection()) return false;
    if (!control(kCodeRegisterAttachEvent, in, sizeof in, out, sizeof out, &returned) || returned < sizeof out)
        return false;
    state = static_cast<std::int32_t>(static_cast<std::uint32_t>(out[0]) | (static_cast<std::uint32_t>(out[1]) << 8) |
                                      (static_cast<std::uint32_t>(out[2]) << 16) |
                                      (static_cast<std::uint32_t>(out[3]) << 24));
    return true;
}

WinControlDevice& processControlDevice() {
    static WinControlDevice device;
    return device;
}

int openControlDevice() { return processControlDevice().open(); }

int closeControlDevice() { return processControlDevice().close(); }

int isControlDeviceOpen() { return processControlDevice().openFlag() ? 1 : 0; }

}  // namespace kb
