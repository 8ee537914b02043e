#include "event_wait.h"
#include "playback_clock_win.h"

#include "common/win/unique_handle.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kb {
namespace {

struct Events {
    explicit Events(int n, BOOL manual = FALSE) {
        for (int i = 0; i < n; ++i) owned.emplace_back(CreateEventW(nullptr, manual, FALSE, nullptr));
        for (auto& e : owned) raw.push_back(e.get());
    }
    std::vector<kbwin::UniqueHandle> owned;
    std::vector<HANDLE> raw;
};

TEST(EventArrivals, FindsTheSignalledEventInEveryGroup) {
    Events ev(174);
    Events quit(1, TRUE);
    EventArrivals arrivals(ev.raw, quit.raw[0]);
    ASSERT_TRUE(arrivals.start());
    for (int i : {0, 62, 63, 125, 126, 150, 173}) {
        SetEvent(ev.raw[static_cast<std::size_t>(i)]);
        EXPECT_EQ(arrivals.next(), i);
        // Auto-reset: the event was consumed by the wait.
        EXPECT_EQ(WaitForSingleObject(ev.raw[static_cast<std::size_t>(i)], 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    // An event set while nobody asks is kept until asked for.
    std::thread setter([&] {
        Sleep(60);
        SetEvent(ev.raw[170]);
    });
    EXPECT_EQ(arrivals.next(), 170);
    setter.join();
}

TEST(EventArrivals, PendingEventsCanBeTakenOutOfTurn) {
    Events ev(174);
    Events quit(1, TRUE);
    EventArrivals arrivals(ev.raw, quit.raw[0]);
    ASSERT_TRUE(arrivals.start());
    SetEvent(ev.raw[100]);
    SetEvent(ev.raw[3]);
    Sleep(30);
    EXPECT_TRUE(arrivals.takePending(3));
    EXPECT_FALSE(arrivals.takePending(3));
    EXPECT_FALSE(arrivals.takePending(174));
    EXPECT_EQ(arrivals.next(), 100);

    // With one group nothing is queued: a signalled event is taken directly.
    Events keypad(46);
    EventArrivals single(keypad.raw, quit.raw[0]);
    ASSERT_TRUE(single.start());
    SetEvent(keypad.raw[7]);
    EXPECT_TRUE(single.takePending(7));
    EXPECT_FALSE(single.takePending(7));
}

TEST(EventArrivals, QuitEndsBothKindsOfWait) {
    for (int count : {174, 46}) {
        Events ev(count);
        Events quit(1, TRUE);
        EventArrivals arrivals(ev.raw, quit.raw[0]);
        ASSERT_TRUE(arrivals.start());
        std::thread setter([&] {
            Sleep(40);
            SetEvent(quit.raw[0]);
        });
        EXPECT_EQ(arrivals.next(), kWaitQuit) << count;
        setter.join();
    }
}

TEST(EventArrivals, ABadHandleFailsInsteadOfSpinning) {
    Events quit(1, TRUE);
    std::vector<HANDLE> bad(3, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7FF0)));
    EventArrivals few(bad, quit.raw[0]);
    ASSERT_TRUE(few.start());
    EXPECT_EQ(few.next(), kWaitFailed);

    std::vector<HANDLE> many(174, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7FF0)));
    EventArrivals grouped(many, quit.raw[0]);
    ASSERT_TRUE(grouped.start());
    EXPECT_EQ(grouped.next(), kWaitFailed);

    EventArrivals none({}, quit.raw[0]);
    EXPECT_FALSE(none.start());
    EXPECT_EQ(none.next(), kWaitFailed);
}

// The playback thread's clock: a wait never ends before its deadline unless
// woken, and a wake that comes first is kept for the next wait.
TEST(WinPlaybackClock, DeadlinesHoldAndWakesAreKept) {
    WinPlaybackClock clock;
    for (std::uint64_t ms : {1, 7, 30}) {
        const std::uint64_t deadline = clock.nowUs() + ms * 1000;
        clock.waitUntil(deadline);
        EXPECT_GE(clock.nowUs(), deadline) << ms;
    }
    clock.wake();
    clock.waitUntil(PlaybackClock::kForever);  // returns at once: the wake came first

    std::thread waker([&] {
        Sleep(30);
        clock.wake();
    });
    const std::uint64_t start = clock.nowUs();
    clock.waitUntil(start + 3600ull * 1000 * 1000);
    EXPECT_LT(clock.nowUs() - start, 3600ull * 1000 * 1000);
    waker.join();
}

}  // namespace
}  // namespace kb
