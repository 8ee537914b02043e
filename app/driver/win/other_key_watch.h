// What the layers ask of the system: whether it has a key down, and a
// low-level keyboard hook on a thread of its own that exists only while a
// tap/hold key is undecided, so that another key's press decides the hold.
#pragma once

#include <windows.h>

#include "layer_runner.h"

#include <atomic>
#include <thread>
#include <vector>

namespace kb {

class OtherKeyWatch final : public LayerInput {
public:
    explicit OtherKeyWatch(LayerRunner& runner) noexcept : runner_(runner) {}
    ~OtherKeyWatch() override;
    OtherKeyWatch(const OtherKeyWatch&) = delete;
    OtherKeyWatch& operator=(const OtherKeyWatch&) = delete;

    // The thread, idle in its message wait until a watch is asked for.
    [[nodiscard]] bool start();
    void stop() noexcept;

    bool isDown(WinMakeCode code) override;
    // Posted to the watch's thread: the hook is set or removed there.
    void watchOtherKeys(bool on) override;

private:
    void run() noexcept;
    static LRESULT CALLBACK onKey(int code, WPARAM message, LPARAM data);
    // On the watch's thread: the hook's answer for one key.
    [[nodiscard]] bool holdBack(WinMakeCode make, bool release);

    LayerRunner& runner_;
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    // Keys held back whose release is not given again yet; the watch's thread only.
    std::vector<WinMakeCode> pending_;
};

}  // namespace kb
