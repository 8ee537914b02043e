// The keyboard's key thread without the driver: events signalled by hand,
// actions recorded. The control device is a stand-in file, so the thread
// starts at once and its table sends go nowhere.
#include "control_device_win.h"
#include "key_event_threads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kb {
namespace {

using Calls = std::vector<std::string>;

std::string keyText(int key) {
    char t[8];
    std::snprintf(t, sizeof t, "k%d", key);
    return t;
}

// Types "k<key>" for key index <key>; the text named by blockOn waits for
// open(), which stalls the key thread while the test signals more events.
class Actions : public KeyActions {
public:
    void sendKey(std::uint16_t, std::uint16_t) override {}
    void enqueueMacro(std::uint16_t, int) override {}
    void stopPlayback() override {}
    void runAction(int, const std::u16string& text) override {
        std::unique_lock<std::mutex> l(m_);
        const std::string t(text.begin(), text.end());
        calls_.push_back(t);
        log_.push_back(t);
        cv_.notify_all();
        cv_.wait(l, [&] { return t != blockOn_; });
    }
    void keyReleased(int slot) override {
        std::lock_guard<std::mutex> l(m_);
        log_.push_back("up " + std::to_string(slot));
        cv_.notify_all();
    }
    // Actions and releases in the order they came.
    bool waitForLog(std::size_t n) {
        std::unique_lock<std::mutex> l(m_);
        return cv_.wait_for(l, std::chrono::seconds(5), [&] { return log_.size() >= n; });
    }
    Calls log() {
        std::lock_guard<std::mutex> l(m_);
        return log_;
    }
    void blockOn(std::string text) {
        std::lock_guard<std::mutex> l(m_);
        blockOn_ = std::move(text);
    }
    void open() {
        {
            std::lock_guard<std::mutex> l(m_);
            blockOn_.clear();
        }
        cv_.notify_all();
    }
    Calls calls() {
        std::lock_guard<std::mutex> l(m_);
        return calls_;
    }
    // Waits until `n` actions were recorded (the last may be the blocked one).
    bool waitFor(std::size_t n) {
        std::unique_lock<std::mutex> l(m_);
        return cv_.wait_for(l, std::chrono::seconds(5), [&] { return calls_.size() >= n; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    Calls calls_;
    Calls log_;
    std::string blockOn_;
};

class KeyThread : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
        path_ = std::wstring(folder) + L"kb_key_thread_" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
        kbwin::UniqueHandle file(
            CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
        device_ = std::make_unique<WinControlDevice>(path_);

        engine_.active = std::make_unique<ActiveCopy>();
        for (int k = 0; k < kKeyboardKeyCount; ++k) {
            auto& pool = engine_.active->pool;
            const auto offset = static_cast<std::uint32_t>(pool.size());
            for (char c : keyText(k)) {
                pool.push_back(static_cast<std::uint8_t>(c));
                pool.push_back(0);
            }
            pool.push_back(0);
            pool.push_back(0);
            engine_.active->record.setEntry(slotOf(kDeviceKeyboard, keyboardKeys()[static_cast<std::size_t>(k)]),
                                            {6, 0, offset});
        }
        for (int i = 0; i < kKeyboardRecords; ++i) {
            owned_.emplace_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
            events_.push_back(owned_.back().get());
        }
        thread_ = std::make_unique<KeyEventThread>(KeyEventThread::Device::Keyboard, engine_, *device_, actions_,
                                                   events_);
        ASSERT_TRUE(thread_->start());
    }
    void TearDown() override {
        actions_.open();
        thread_.reset();
        device_.reset();
        DeleteFileW(path_.c_str());
    }
    void press(int key) { SetEvent(events_[static_cast<std::size_t>(key)]); }
    void release(int key) { SetEvent(events_[static_cast<std::size_t>(kKeyboardKeyCount + key)]); }
    // Holds the key thread inside the action of `key`'s press.
    void stallOn(int key) {
        actions_.blockOn(keyText(key));
        const std::size_t before = actions_.calls().size();
        press(key);
        ASSERT_TRUE(actions_.waitFor(before + 1));
    }
    // Time for the waiting threads to take what was signalled.
    static void settle() { Sleep(20); }

    Engine engine_;
    Actions actions_;
    std::wstring path_;
    std::unique_ptr<WinControlDevice> device_;
    std::vector<kbwin::UniqueHandle> owned_;
    std::vector<HANDLE> events_;
    std::unique_ptr<KeyEventThread> thread_;
};

// Press events 0-63 sit in the first wait, 64-86 in the second; releases
// (87 on) in the second and third.
TEST_F(KeyThread, EventsInDifferentGroupsAreCarriedOutInArrivalOrder) {
    stallOn(0);
    for (int key : {70, 5, 80, 30}) {
        press(key);
        settle();
    }
    actions_.open();
    ASSERT_TRUE(actions_.waitFor(5));
    settle();
    EXPECT_EQ(actions_.calls(), (Calls{"k0", "k70", "k5", "k80", "k30"}));
}

TEST_F(KeyThread, AQuickTapWhoseReleaseIsTakenFirstActsOnceAndLeavesNoLatch) {
    stallOn(1);
    release(10);  // event 97, second group
    settle();
    press(10);    // event 10, first group
    settle();
    actions_.open();
    ASSERT_TRUE(actions_.waitFor(2));
    settle();
    EXPECT_EQ(actions_.calls(), (Calls{"k1", "k10"}));
    EXPECT_EQ(engine_.keyboardLatches[10].load(), 0u);
    // The next press of the key is not taken for a held key's repeat.
    press(10);
    ASSERT_TRUE(actions_.waitFor(3));
    EXPECT_EQ(actions_.calls().back(), "k10");
}

TEST_F(KeyThread, ADoubleTapWaitingBehindAnotherKeyActsTwice) {
    press(20);
    ASSERT_TRUE(actions_.waitFor(1));
    stallOn(2);
    release(20);  // event 107, second group
    settle();
    press(20);    // the second tap
    settle();
    actions_.open();
    ASSERT_TRUE(actions_.waitFor(3));
    settle();
    EXPECT_EQ(actions_.calls(), (Calls{"k20", "k2", "k20"}));
    // A held key's repeated press does nothing more.
    press(20);
    settle();
    EXPECT_EQ(actions_.calls().size(), 3u);
}

TEST_F(KeyThread, ReleasesFollowTheirPressWithTheKeysSlotAndHeldRepeatsAddNothing) {
    const auto up = [](int key) {
        return "up " + std::to_string(slotOf(kDeviceKeyboard, keyboardKeys()[static_cast<std::size_t>(key)]));
    };
    press(40);
    press(40);  // the held key's repeat
    settle();
    release(40);
    ASSERT_TRUE(actions_.waitForLog(2));
    // A tap whose release is taken before its press: press first, then release.
    stallOn(1);
    release(10);
    settle();
    press(10);
    settle();
    actions_.open();
    ASSERT_TRUE(actions_.waitForLog(5));
    settle();
    EXPECT_EQ(actions_.log(), (Calls{"k40", up(40), "k1", "k10", up(10)}));
}

}  // namespace
}  // namespace kb
