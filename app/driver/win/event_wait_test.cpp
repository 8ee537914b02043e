#include "event_wait.h"

#include "common/win/unique_handle.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kb {
namespace {

struct Events {
    explicit Events(int n) {
        for (int i = 0; i < n; ++i) owned.emplace_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        for (auto& e : owned) raw.push_back(e.get());
    }
    std::vector<kbwin::UniqueHandle> owned;
    std::vector<HANDLE> raw;
};

TEST(EventWait, FindsTheSignalledEventInEveryGroup) {
    Events ev(174);
    for (int i : {0, 63, 64, 127, 128, 150, 173}) {
        SetEvent(ev.raw[static_cast<std::size_t>(i)]);
        EXPECT_EQ(waitAnyEvent(ev.raw, 15, nullptr), i);
        // Auto-reset: the event was consumed by the wait.
        EXPECT_EQ(WaitForSingleObject(ev.raw[static_cast<std::size_t>(i)], 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
}

TEST(EventWait, AnEventSetLaterEndsAPollingWait) {
    Events ev(174);
    std::thread setter([&] {
        Sleep(60);
        SetEvent(ev.raw[170]);
    });
    EXPECT_EQ(waitAnyEvent(ev.raw, 15, nullptr), 170);
    setter.join();
}

TEST(EventWait, QuitEndsBothKindsOfWait) {
    Events ev(174);
    Events quit(1);
    std::thread setter([&] {
        Sleep(40);
        SetEvent(quit.raw[0]);
    });
    EXPECT_EQ(waitAnyEvent(ev.raw, 15, quit.raw[0]), kWaitQuit);
    setter.join();

    Events keypad(46);
    std::thread setter2([&] {
        Sleep(40);
        SetEvent(quit.raw[0]);
    });
    EXPECT_EQ(waitAnyEvent(keypad.raw, INFINITE, quit.raw[0]), kWaitQuit);
    setter2.join();
    SetEvent(keypad.raw[45]);
    EXPECT_EQ(waitAnyEvent(keypad.raw, INFINITE, quit.raw[0]), 45);
}

TEST(EventWait, ABadHandleFailsInsteadOfSpinning) {
    std::vector<HANDLE> bad(3, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7FF0)));
    EXPECT_EQ(waitAnyEvent(bad, 15, nullptr), kWaitFailed);
    EXPECT_EQ(waitAnyEvent({}, 15, nullptr), kWaitFailed);
}

}  // namespace
}  // namespace kb
