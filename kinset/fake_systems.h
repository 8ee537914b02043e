// Test doubles: record everything the injection logic hands to the system.
#pragma once

#include "records.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kb::kinset::testing {

struct SentRecord {
    Device device;
    Record bytes;
};

class FakeSink : public virtual RecordSink {
public:
    int sendRecord(Device device, const Record& record) override {
        sent.push_back({device, record});
        ++sinceYield;
        return sendResult;
    }
    void yield() override {
        if (sinceYield > 1) {
            recordsBetweenYields = false;
        }
        sinceYield = 0;
        ++yields;
    }
    // Scan code and flags of every keyboard record sent.
    [[nodiscard]] std::vector<std::pair<int, int>> keys() const {
        std::vector<std::pair<int, int>> out;
        for (const SentRecord& r : sent) {
            out.emplace_back(r.bytes[0] | (r.bytes[1] << 8), r.bytes[2] | (r.bytes[3] << 8));
        }
        return out;
    }

    std::vector<SentRecord> sent;
    int sendResult = 1;
    int yields = 0;
    int sinceYield = 0;
    bool recordsBetweenYields = true;  // false once two records went out without a yield
};

struct KeyEvent {
    std::uint8_t virtualKey;
    std::uint8_t scanCode;
    std::uint32_t flags;
    bool operator==(const KeyEvent&) const = default;
};

struct KeyMessage {
    bool send;
    std::uint32_t message;
    std::uint8_t virtualKey;
    std::uint32_t lParam;
    bool operator==(const KeyMessage&) const = default;
};

class FakeKeyboardSystem : public FakeSink, public KeyboardSystem {
public:
    LockState lockState() override { return locks; }
    std::uint8_t scanCodeOfVirtualKey(std::uint8_t virtualKey) override {
        return static_cast<std::uint8_t>(virtualKey ^ 0x80);  // any mapping the test can tell apart
    }
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags) override {
        events.push_back({virtualKey, scanCode, flags});
    }
    int keyMessage(bool send, std::uint32_t message, std::uint8_t virtualKey, std::uint32_t lParam) override {
        messages.push_back({send, message, virtualKey, lParam});
        return messageResult;
    }

    LockState locks;
    std::vector<KeyEvent> events;
    std::vector<KeyMessage> messages;
    int messageResult = 1;
};

struct MouseEvent {
    std::uint32_t flags;
    std::int32_t x;
    std::int32_t y;
    std::uint32_t data;
    bool operator==(const MouseEvent&) const = default;
};

class FakeMouseSystem : public FakeSink, public MouseSystem {
public:
    Point cursorPosition() override { return cursor; }
    Point screenSize() override { return screen; }
    void mouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y, std::uint32_t data) override {
        events.push_back({flags, x, y, data});
    }
    void messageBox(std::u16string_view text, std::u16string_view caption) override {
        boxes.emplace_back(text);
        captions.emplace_back(caption);
    }
    [[nodiscard]] std::vector<MouseRecord> records() const {
        std::vector<MouseRecord> out;
        for (const SentRecord& r : sent) {
            out.push_back(decodeMouseRecord(r.bytes.data()));
        }
        return out;
    }

    Point cursor{100, 100};
    Point screen{1280, 1024};
    std::vector<MouseEvent> events;
    std::vector<std::u16string> boxes;
    std::vector<std::u16string> captions;
};

}  // namespace kb::kinset::testing
