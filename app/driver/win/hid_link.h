// The keyboard's macro keys and bank lamp through the HID request library:
// the macro-key read, the bank status write and their completion handler.
#pragma once

#include "key_functions.h"
#include "library_bindings.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace kb {

class HidLink final : public BankStatusSink {
public:
    explicit HidLink(HidportBinding& hid);
    ~HidLink() override;
    HidLink(const HidLink&) = delete;
    HidLink& operator=(const HidLink&) = delete;

    // Where the handler delivers macro-key reports; null delivers nothing.
    void setMacroKeys(MacroKeys* keys) noexcept;
    // Cancels the previous read and issues the macro-key read request.
    void startMacroKeyReports();
    // Cancels the previous status write and writes the two status bytes.
    void sendBankStatus(const std::array<std::uint8_t, 2>& status) override;
    // Exit: every request of the handler cancelled, then the library's End(0).
    // Afterwards the handler is never called again.
    void end();

    // The completion handler, as the library calls it on its own thread.
    static int KB_HIDPORT_CALL onCompletion(HidportCompletion* completion);

private:
    HidportBinding& hid_;
    HidportDescriptor readRequest_{};
    HidportDescriptor statusRequest_{};
    std::mutex idLock_;  // request ids; a leaf, never held across a library call
    std::int32_t readId_ = 0;
    std::int32_t statusId_ = 0;
    std::array<std::uint8_t, 2> statusData_{5, 2};    // what the library was given
    std::array<std::uint8_t, 2> wantedStatus_{5, 2};  // the last status asked for
    bool statusDue_ = false;
    bool sending_ = false;  // a caller is writing the status; others leave theirs to it
    bool ended_ = false;
};

}  // namespace kb
