// Tells the main window when the program in front may have changed, so that
// profiles can follow it. The system's foreground event, hooked out of
// context, arrives through the user-interface thread's message loop; nothing
// of ours runs in other processes and nothing polls. Where the system raises
// no such event (Wine 8 does not), each click (press and release) and the end
// of each key stroke, seen by low-level input hooks on a thread of their own,
// stand in for it until the first real foreground event shows that the system
// raises them.
#pragma once

#include <windows.h>

#include "common/win/ui_owners.h"

#include <atomic>
#include <string>
#include <thread>

namespace kb::ui {

class ForegroundWatch {
public:
    ForegroundWatch() = default;
    ForegroundWatch(const ForegroundWatch&) = delete;
    ForegroundWatch& operator=(const ForegroundWatch&) = delete;
    ~ForegroundWatch() { stop(); }

    // On the user-interface thread. `window` gets `message` posted, with the
    // window now in front as wParam (0: ask the system), lParam 1 when the
    // system's own event says so.
    bool start(HWND window, UINT message);
    void stop() noexcept;
    [[nodiscard]] bool running() const noexcept { return hook_.valid(); }
    // The window message handler calls this once it has looked: the next
    // input may post again.
    void handled(bool fromSystemEvent) noexcept;

private:
    static void CALLBACK onEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child, DWORD thread,
                                 DWORD time);
    static LRESULT CALLBACK onMouse(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK onKey(int code, WPARAM wParam, LPARAM lParam);
    static void postCheck() noexcept;
    void runInputHooks();
    void stopInputHooks() noexcept;

    static std::atomic<ForegroundWatch*> active_;
    kbwin::UniqueWinEventHook hook_;
    HWND window_ = nullptr;
    UINT message_ = 0;
    std::atomic<bool> pending_{false};
    std::thread input_;
    std::atomic<DWORD> inputThreadId_{0};
};

// The file name of the program that owns the window, lower case as bindings
// are stored; empty when it cannot be read.
[[nodiscard]] std::u16string programOfWindow(HWND window);
// True when the window belongs to this process.
[[nodiscard]] bool isOwnWindow(HWND window) noexcept;

}  // namespace kb::ui
