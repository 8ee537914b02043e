#include "hid_link.h"

#include <utility>

namespace kb {
namespace {

// The handler is a plain function: it reaches the macro keys through this.
std::atomic<MacroKeys*> g_macroKeys{nullptr};

HidportDescriptor descriptor(std::uint16_t usagePage, std::uint16_t usage, std::uint32_t tag) {
    HidportDescriptor d{};
    d.selector.matchMask = 0x0F;
    d.selector.vendor = kHidportVendor;
    d.selector.product = kHidportProduct;
    d.selector.usagePage = usagePage;
    d.selector.usage = usage;
    d.tag = tag;
    d.handler = &HidLink::onCompletion;
    return d;
}

}  // namespace

HidLink::HidLink(HidportBinding& hid)
    : hid_(hid),
      readRequest_(descriptor(kHidportMacroKeysUsagePage, kHidportMacroKeysUsage, kMacroKeyReadTag)),
      statusRequest_(descriptor(kHidportStatusUsagePage, kHidportStatusUsage, kBankStatusTag)) {}

HidLink::~HidLink() { end(); }

void HidLink::setMacroKeys(MacroKeys* keys) noexcept { g_macroKeys.store(keys); }

// The library's delete waits for a running handler, and the handler may
// itself send the bank status: no lock of ours is held across a library call.
void HidLink::startMacroKeyReports() {
    if (!hid_.isBound()) return;
    std::int32_t previous;
    {
        std::lock_guard<std::mutex> lock(idLock_);
        if (ended_) return;
        previous = std::exchange(readId_, 0);
    }
    if (previous != 0) (void)hid_.DeleteRequestFromUnitId(previous);
    std::int32_t id = 0;
    (void)hid_.RequestAsyncRead(&readRequest_, &HidLink::onCompletion, kMacroKeyReadTag, &id);
    std::lock_guard<std::mutex> lock(idLock_);
    readId_ = id;
}

// One sender at a time: a caller that finds a send in progress leaves its
// status for that sender, which writes it next. So no request id is lost, the
// last status asked for is the last written, and no caller waits (the
// handler may send from inside the library while another thread deletes).
void HidLink::sendBankStatus(const std::array<std::uint8_t, 2>& status) {
    if (!hid_.isBound()) return;
    std::int32_t previous;
    {
        std::lock_guard<std::mutex> lock(idLock_);
        if (ended_) return;
        wantedStatus_ = status;
        statusDue_ = true;
        if (sending_) return;
        sending_ = true;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(idLock_);
            if (!statusDue_ || ended_) {
                sending_ = false;
                return;
            }
            statusDue_ = false;
            previous = std::exchange(statusId_, 0);
        }
        if (previous != 0) (void)hid_.DeleteRequestFromUnitId(previous);
        std::int32_t id = 0;
        {
            std::lock_guard<std::mutex> lock(idLock_);
            // Only the sender writes the buffer, and only once its request is deleted.
            statusData_ = wantedStatus_;
        }
        // A member buffer: a library may read the bytes after the call returns.
        (void)hid_.RequestStatusWrite(&statusRequest_, &HidLink::onCompletion, kBankStatusTag, statusData_.data(),
                                      static_cast<std::int32_t>(statusData_.size()), &id);
        std::lock_guard<std::mutex> lock(idLock_);
        statusId_ = id;
    }
}

void HidLink::end() {
    if (!hid_.isBound()) return;
    {
        std::lock_guard<std::mutex> lock(idLock_);
        if (ended_) return;
        ended_ = true;
    }
    (void)hid_.DeleteRequestFromHandle(&HidLink::onCompletion);
    (void)hid_.End(0);
    g_macroKeys.store(nullptr);
}

int KB_HIDPORT_CALL HidLink::onCompletion(HidportCompletion* completion) {
    try {
        if (completion == nullptr || completion->status != 1 || completion->request == nullptr) return 1;
        const HidportRequest* request = completion->request;
        if (request->tag != kMacroKeyReadTag) return 1;
        // Only the block's data pointer is the interface's; a library need not
        // fill in the length, and a report always holds the 16-bit key code.
        const HidportBlock* block = request->block;
        if (block == nullptr || block->data == nullptr) return 1;
        const auto code = static_cast<std::uint16_t>(block->data[0] | (block->data[1] << 8));
        if (MacroKeys* keys = g_macroKeys.load()) keys->onReport(completion->status, request->tag, code);
    } catch (...) {
        // Nothing may cross back into the library.
    }
    return 1;
}

}  // namespace kb
