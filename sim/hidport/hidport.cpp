// Stand-in Hidport.dll: the HID request library over the simulated keyboard. Macro-key
// reports queued in the driver are read by one library thread and handed to every open
// read request's handler; status writes go to the driver and complete on that thread.
// As strict as the real library toward its callers: the block's length field (not part
// of the interface) is left 0, and freeing the library before End ends the process.
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "contracts/hidport_abi.h"
#include "kbsim/sieve_ioctl.h"
#include "kbsim/win_handles.h"

namespace {

using kb::sim::UniqueHandle;
using Report = std::array<std::uint8_t, KBS_REPORT_SIZE>;

struct Collection {
    std::uint16_t vendor, product, usagePage, usage;
};
constexpr Collection kMacroKeys{kHidportVendor, kHidportProduct, kHidportMacroKeysUsagePage, kHidportMacroKeysUsage};
constexpr Collection kStatus{kHidportVendor, kHidportProduct, kHidportStatusUsagePage, kHidportStatusUsage};

bool matches(const HidportSelector& s, const Collection& c) {
    return (!(s.matchMask & 1) || s.vendor == c.vendor) && (!(s.matchMask & 2) || s.product == c.product) &&
           (!(s.matchMask & 4) || s.usagePage == c.usagePage) && (!(s.matchMask & 8) || s.usage == c.usage);
}

struct Entry {
    HidportRequest request{};
    HidportBlock block{};
    Report data{};
    bool cancelled = false;
    bool completionDue = false;  // a status write whose completion is not yet delivered
};

[[nodiscard]] bool controlOn(HANDLE dev, DWORD code, const void* in, DWORD inLen, void* out, DWORD outLen,
                             DWORD* got);

class Library {
public:
    int init();
    int end();
    int statusGet(std::uint8_t* data, std::int32_t length);
    int statusWrite(const HidportDescriptor* d, HidportHandler h, std::uint32_t tag, const std::uint8_t* data,
                    std::int32_t length, std::int32_t* unitId);
    int asyncRead(const HidportDescriptor* d, HidportHandler h, std::uint32_t tag, std::int32_t* unitId);
    int deleteWhere(bool byId, std::int32_t id, HidportHandler handler);
    bool initialised() {
        std::lock_guard g(lock_);
        return initialised_;
    }

    // A process may end without End (programs that cannot start do): its
    // threads are gone by then, and a joinable thread must not abort the exit.
    ~Library() {
        if (worker_.joinable()) worker_.detach();
    }

private:
    [[nodiscard]] bool control(DWORD code, const void* in, DWORD inLen, void* out, DWORD outLen, DWORD* got);
    Entry& addLocked(const HidportDescriptor* d, HidportHandler h, std::uint32_t tag, std::uint32_t kind,
                     const Collection& c);
    void run();
    void deliver(const Report& report);
    void deliverStatus();
    void sweepLocked();
    bool onWorker() const { return GetCurrentThreadId() == workerId_.load(); }

    std::mutex lifeLock_;      // serialises init and end
    std::mutex lock_;          // everything below
    std::mutex callbackLock_;  // held while handlers run; taken before lock_
    bool initialised_ = false;
    bool stop_ = false;
    UniqueHandle device_;
    UniqueHandle wake_;
    std::thread worker_;
    std::atomic<DWORD> workerId_{0};
    std::int32_t nextId_ = 1;
    std::list<std::unique_ptr<Entry>> entries_;
    std::deque<Report> undelivered_;
};

Library g_library;

bool Library::control(DWORD code, const void* in, DWORD inLen, void* out, DWORD outLen, DWORD* got) {
    HANDLE dev;
    {
        std::lock_guard g(lock_);
        dev = device_.get();
    }
    return controlOn(dev, code, in, inLen, out, outLen, got);
}

// The device is opened for overlapped I/O (the reader waits on it), so every call
// carries its own OVERLAPPED and waits for it.
bool controlOn(HANDLE dev, DWORD code, const void* in, DWORD inLen, void* out, DWORD outLen, DWORD* got) {
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done.valid()) return false;
    OVERLAPPED ov{};
    ov.hEvent = done.get();
    DWORD n = 0;
    BOOL ok = DeviceIoControl(dev, code, const_cast<void*>(in), inLen, out, outLen, &n, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(dev, &ov, &n, TRUE);
    if (got) *got = n;
    return ok != FALSE;
}

int Library::init() {
    std::lock_guard life(lifeLock_);
    if (initialised()) return 1;
    UniqueHandle dev(CreateFileW(KBS_DEVICE_PATH_W, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr));
    if (!dev.valid()) return 0;
    UniqueHandle wake(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake.valid()) return 0;
    // The keyboard answers when its status can be read.
    std::uint8_t status[6];
    DWORD got = 0;
    if (!controlOn(dev.get(), KBS_SIM_READ_STATUS, nullptr, 0, status, sizeof status, &got) || got != sizeof status)
        return 0;
    // No reference of its own: like the real library, it must be ended before
    // it is freed (see DllMain).
    std::lock_guard g(lock_);
    device_ = std::move(dev);
    wake_ = std::move(wake);
    stop_ = false;
    try {
        worker_ = std::thread([this] {
            try {
                run();
            } catch (...) {
                // Out of memory on the library's thread: stop delivering rather than end the process.
            }
        });
    } catch (...) {
        device_.reset();
        wake_.reset();
        return 0;
    }
    initialised_ = true;
    return 1;
}

int Library::end() {
    if (onWorker()) return 0;  // a handler cannot wait for its own thread
    std::lock_guard life(lifeLock_);
    {
        std::lock_guard g(lock_);
        if (!initialised_) return 1;
        stop_ = true;
    }
    SetEvent(wake_.get());
    if (worker_.joinable()) worker_.join();
    std::lock_guard cb(callbackLock_);
    std::lock_guard g(lock_);
    entries_.clear();
    undelivered_.clear();
    device_.reset();
    wake_.reset();
    workerId_ = 0;
    initialised_ = false;
    return 1;
}

int Library::statusGet(std::uint8_t* data, std::int32_t length) {
    if (!data || length < KBS_STATUS_SIZE || !initialised()) return 0;
    std::uint8_t out[6] = {};
    DWORD got = 0;
    if (!control(KBS_SIM_READ_STATUS, nullptr, 0, out, sizeof out, &got) || got != sizeof out || !out[0]) return 0;
    data[0] = out[4];
    data[1] = out[5];
    return 1;
}

Entry& Library::addLocked(const HidportDescriptor* d, HidportHandler h, std::uint32_t tag, std::uint32_t kind,
                          const Collection& c) {
    auto e = std::make_unique<Entry>();
    std::int32_t id = nextId_++;
    if (nextId_ <= 0) nextId_ = 1;  // ids stay positive; 0 means "no request"
    e->block.size = sizeof(HidportBlock);
    e->block.unitId = id;
    e->block.vendor = c.vendor;
    e->block.product = c.product;
    e->block.usagePage = c.usagePage;
    e->block.usage = c.usage;
    e->block.data = e->data.data();
    e->request.tag = tag;
    e->request.unitId = id;
    e->request.kind = kind;
    e->request.block = &e->block;
    e->request.descriptor = d;
    e->request.handler = h;
    entries_.push_back(std::move(e));
    return *entries_.back();
}

int Library::statusWrite(const HidportDescriptor* d, HidportHandler h, std::uint32_t tag, const std::uint8_t* data,
                         std::int32_t length, std::int32_t* unitId) {
    if (!d || !h || !data || length != KBS_STATUS_SIZE || !matches(d->selector, kStatus) || !initialised()) return 0;
    if (!control(KBS_SIM_WRITE_STATUS, data, KBS_STATUS_SIZE, nullptr, 0, nullptr)) return 0;
    {
        std::lock_guard g(lock_);
        if (!initialised_) return 0;
        Entry& e = addLocked(d, h, tag, kHidportStatusWrite, kStatus);
        e.data[0] = data[0];
        e.data[1] = data[1];
        e.completionDue = true;
        if (unitId) *unitId = e.request.unitId;
    }
    SetEvent(wake_.get());
    return 1;
}

int Library::asyncRead(const HidportDescriptor* d, HidportHandler h, std::uint32_t tag, std::int32_t* unitId) {
    if (!d || !h || !matches(d->selector, kMacroKeys)) return 0;
    {
        std::lock_guard g(lock_);
        if (!initialised_) return 0;
        Entry& e = addLocked(d, h, tag, kHidportRead, kMacroKeys);
        if (unitId) *unitId = e.request.unitId;
    }
    SetEvent(wake_.get());
    return 1;
}

int Library::deleteWhere(bool byId, std::int32_t id, HidportHandler handler) {
    // Outside the library's thread, wait for a running handler to return first, so that
    // after this call the handler is never running for the deleted requests.
    std::unique_lock<std::mutex> cb;
    bool worker = onWorker();
    if (!worker) cb = std::unique_lock(callbackLock_);
    std::lock_guard g(lock_);
    int found = 0;
    for (auto& e : entries_) {
        if (e->cancelled) continue;
        if (byId ? e->request.unitId == id : e->request.handler == handler) {
            e->cancelled = true;
            found = 1;
        }
    }
    if (!worker) sweepLocked();
    return found;
}

void Library::sweepLocked() {
    entries_.remove_if([](const std::unique_ptr<Entry>& e) { return e->cancelled; });
}

void Library::deliver(const Report& report) {
    std::lock_guard cb(callbackLock_);
    std::vector<Entry*> reads;
    {
        std::lock_guard g(lock_);
        for (auto& e : entries_)
            if (!e->cancelled && e->request.kind == kHidportRead) reads.push_back(e.get());
    }
    for (Entry* e : reads) {
        HidportCompletion c{};
        {
            std::lock_guard g(lock_);
            if (e->cancelled || stop_) continue;  // deleted by an earlier handler of this round
            e->data = report;
            c.status = 1;
            c.request = &e->request;
        }
        e->request.handler(&c);
    }
    std::lock_guard g(lock_);
    sweepLocked();
}

void Library::deliverStatus() {
    std::lock_guard cb(callbackLock_);
    for (;;) {
        Entry* due = nullptr;
        {
            std::lock_guard g(lock_);
            for (auto& e : entries_)
                if (e->completionDue && !e->cancelled) {
                    due = e.get();
                    due->completionDue = false;
                    break;
                }
            if (!due || stop_) {
                sweepLocked();
                return;
            }
        }
        HidportCompletion c{};
        c.status = 1;
        c.request = &due->request;
        due->request.handler(&c);
        std::lock_guard g(lock_);
        due->cancelled = true;  // a write completes once and is then done
    }
}

void Library::run() {
    workerId_ = GetCurrentThreadId();
    UniqueHandle ioDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = ioDone.get();
    Report buf{};
    bool pending = false;
    HANDLE dev, wake;
    {
        std::lock_guard g(lock_);
        dev = device_.get();
        wake = wake_.get();
    }
    for (;;) {
        bool wantReads = false;
        std::deque<Report> reports;
        {
            std::lock_guard g(lock_);
            if (stop_) break;
            for (auto& e : entries_) wantReads = wantReads || (!e->cancelled && e->request.kind == kHidportRead);
            if (wantReads) reports.swap(undelivered_);
        }
        deliverStatus();
        for (auto& r : reports) deliver(r);
        DWORD timeout = INFINITE;
        if (wantReads && !pending) {
            ResetEvent(ioDone.get());
            DWORD got = 0;
            if (DeviceIoControl(dev, KBS_SIM_WAIT_REPORT, nullptr, 0, buf.data(), KBS_REPORT_SIZE, &got, &ov)) {
                std::lock_guard g(lock_);
                undelivered_.push_back(buf);
                continue;
            }
            if (GetLastError() == ERROR_IO_PENDING)
                pending = true;
            else
                timeout = 100;  // the driver refused (stopped?): try again shortly
        }
        HANDLE waits[2] = {wake, ioDone.get()};
        DWORD r = WaitForMultipleObjects(pending ? 2 : 1, waits, FALSE, timeout);
        if (pending && r == WAIT_OBJECT_0 + 1) {
            pending = false;
            DWORD got = 0;
            if (GetOverlappedResult(dev, &ov, &got, FALSE) && got >= 2) {
                std::lock_guard g(lock_);
                undelivered_.push_back(buf);
            } else {
                Sleep(100);
            }
        }
    }
    if (pending) {
        DWORD got = 0;
        CancelIoEx(dev, &ov);
        GetOverlappedResult(dev, &ov, &got, TRUE);
    }
}

template <class F>
int guarded(F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return 0;
    }
}

}  // namespace

// Freed while its thread runs (Init without End): the real library's thread
// would go on in unmapped code. The stand-in ends the process at once, with a
// line on stderr and this exit code, so a test sees it every time.
constexpr UINT kFreedWithoutEnd = 86;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // reserved is null for FreeLibrary, non-null when the process is ending.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr && g_library.initialised()) {
        static const char kMessage[] = "Hidport.dll: freed while its thread runs (Init without End)\r\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kMessage, sizeof kMessage - 1, &written, nullptr);
        TerminateProcess(GetCurrentProcess(), kFreedWithoutEnd);
    }
    return TRUE;
}

extern "C" {

int KB_HIDPORT_CALL HidportInit(int32_t) { return guarded([] { return g_library.init(); }); }

int KB_HIDPORT_CALL HidportEnd(int32_t) { return guarded([] { return g_library.end(); }); }

int KB_HIDPORT_CALL HidportDebug(int32_t) { return 1; }

int KB_HIDPORT_CALL HidportRequestGetDeviceCount(const HidportDescriptor* d) {
    return guarded([&] {
        if (!d || !g_library.initialised()) return 0;
        return (matches(d->selector, kMacroKeys) ? 1 : 0) + (matches(d->selector, kStatus) ? 1 : 0);
    });
}

int KB_HIDPORT_CALL HidportRequestWrite(const HidportDescriptor*, HidportHandler, uint32_t, const uint8_t*, int32_t,
                                        int32_t*) {
    return 0;
}

int KB_HIDPORT_CALL HidportRequestStatusGet(const HidportDescriptor* d, uint8_t* data, int32_t length) {
    if (!d || !matches(d->selector, kStatus)) return 0;
    return guarded([&] { return g_library.statusGet(data, length); });
}

int KB_HIDPORT_CALL HidportRequestStatusWrite(const HidportDescriptor* d, HidportHandler h, uint32_t tag,
                                              const uint8_t* data, int32_t length, int32_t* unitId) {
    return guarded([&] { return g_library.statusWrite(d, h, tag, data, length, unitId); });
}

int KB_HIDPORT_CALL HidportRequestAsyncRead(const HidportDescriptor* d, HidportHandler h, uint32_t tag,
                                            int32_t* unitId) {
    return guarded([&] { return g_library.asyncRead(d, h, tag, unitId); });
}

int KB_HIDPORT_CALL HidportDeleteRequestFromUnitId(int32_t unitId) {
    return guarded([&] { return g_library.deleteWhere(true, unitId, nullptr); });
}

int KB_HIDPORT_CALL HidportDeleteRequestFromHandle(HidportHandler handler) {
    return guarded([&] { return g_library.deleteWhere(false, 0, handler); });
}

}  // extern "C"
