// The keyboard filter driver's control device: one handle for the whole
// process, opened on demand, with the injection library initialised by the
// open that succeeds.
#pragma once

#include <windows.h>

#include "common/win/unique_handle.h"
#include "control_device.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kb {

class KinsetBinding;

inline constexpr const wchar_t* kControlDevicePath = KB_CONTROL_DEVICE_PATH_W;

// Requests on one handle. The driver keeps one device selection per handle,
// so a selection and the request that follows it form a pair: a caller that
// holds pairLock() across the pair is never interleaved. Callers that do not
// are still safe: each request re-sends the calling thread's last selection
// when another thread has changed it in between.
//
// Lock: the pair lock also guards open() and close(), so a close waits for a
// pair in progress and no request runs on a closed handle. It is a leaf:
// nothing else is taken while it is held (the injection library's Init runs
// under it and takes none of ours), and it is recursive, so its holder may
// call open() and close() too.
class WinControlDevice final : public ControlDevice {
public:
    explicit WinControlDevice(std::wstring path = kControlDevicePath);
    ~WinControlDevice() override;
    WinControlDevice(const WinControlDevice&) = delete;
    WinControlDevice& operator=(const WinControlDevice&) = delete;

    // The library whose Init (and handle queries) run on each open that
    // succeeds; null for none. Set it before the first open; it must outlive
    // the device's use.
    void useKinset(const KinsetBinding* kinset) noexcept { kinset_.store(kinset); }

    // 1 when the device is open, already or now; 0 when it cannot be opened
    // (silently: callers retry later or skip their driver work). While the
    // injection library's Init has not succeeded, each call tries it again.
    [[nodiscard]] int open();
    // 1 when an open handle was closed, 0 when none was open or the close failed.
    int close();
    // The open flag, without trying to open.
    [[nodiscard]] bool openFlag() const noexcept { return open_.load(); }

    // ControlDevice: the device opens on demand, like every driver operation.
    [[nodiscard]] bool ensureOpen() override { return open() == 1; }
    [[nodiscard]] bool selectDevice(const DeviceSelector& device) override;
    [[nodiscard]] bool installTable(std::span<const std::uint8_t> table) override;
    [[nodiscard]] bool removeTable() override;
    // kCodeRegisterAttachEvent for the selected device: the event handle as a
    // signed 64-bit value in, the attach state (above 0: attached) out.
    [[nodiscard]] bool registerAttachEvent(HANDLE event, std::int32_t& state);

    // Held across a "select, then act" pair. Recursive: the requests take it too.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> pairLock() { return std::unique_lock(pairMutex_); }

    // What the injection library's Init returned on the last open (0 before
    // any), and the handles its side queries wrote (null when Init failed).
    [[nodiscard]] int kinsetInitResult() const noexcept { return kinsetInit_.load(); }
    [[nodiscard]] HANDLE kinsetKeyboardHandle() const noexcept { return kinsetKeyboard_.load(); }
    [[nodiscard]] HANDLE kinsetMouseHandle() const noexcept { return kinsetMouse_.load(); }
    // Requests the driver refused since the device was made (for diagnostics).
    [[nodiscard]] unsigned failedRequests() const noexcept { return failedRequests_.load(); }

private:
    struct ThreadSelection {
        std::thread::id thread;
        DeviceSelector selector;
    };

    // The rest: caller holds pairMutex_.
    bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
    bool sendSelection(const DeviceSelector& device);
    bool restoreThreadSelection();
    void initKinset();
    [[nodiscard]] bool kinsetInitDue() const noexcept;

    const std::wstring path_;
    std::atomic<const KinsetBinding*> kinset_{nullptr};
    std::atomic<bool> open_{false};  // written under pairMutex_
    std::atomic<int> kinsetInit_{0};
    std::atomic<unsigned> failedRequests_{0};
    std::atomic<HANDLE> kinsetKeyboard_{nullptr};
    std::atomic<HANDLE> kinsetMouse_{nullptr};

    std::recursive_mutex pairMutex_;
    kbwin::UniqueHandle handle_;                       // guarded by pairMutex_
    std::optional<DeviceSelector> handleSelection_;    // the driver's selection on handle_
    std::vector<ThreadSelection> threadSelections_;    // each thread's last accepted selection
};

// The process-wide device the functions below act on.
[[nodiscard]] WinControlDevice& processControlDevice();

// 1 when open (already or now), 0 when the device cannot be opened.
int openControlDevice();
// 1 when the open handle was closed; 0 when it was not open.
int closeControlDevice();
// The open flag (0 or 1).
int isControlDeviceOpen();

}  // namespace kb
