// What the library's tests share: the library loaded by name, test windows
// on a window thread of their own that record what reaches them, and the
// fixture that checks every export was found.
#pragma once
#include "multact.h"
#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace multact_test {

using MultactFn = decltype(&Multact);
using Multact2Fn = decltype(&Multact2);
using MultactForWin2000Fn = decltype(&MultactForWin2000);

template <typename Fn>
inline Fn lookUp(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

struct Library {
    kbwin::UniqueModule owner{LoadLibraryW(L"Multact.dll")};
    HMODULE module = owner.get();
    MultactFn multact = lookUp<MultactFn>(module, "Multact");
    Multact2Fn multact2 = lookUp<Multact2Fn>(module, "Multact2");
    MultactForWin2000Fn forWin2000 = lookUp<MultactForWin2000Fn>(module, "MultactForWin2000");
};

// --- messages seen by the test windows -------------------------------------

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::mutex gSeenLock;
inline std::vector<Seen> gSeen;
inline constexpr UINT kMarker = WM_APP + 7;

inline std::vector<Seen> seenMessages(UINT message) {
    std::lock_guard lock(gSeenLock);
    std::vector<Seen> out;
    for (const Seen& s : gSeen) {
        if (s.message == message) {
            out.push_back(s);
        }
    }
    return out;
}

inline void clearSeen() {
    std::lock_guard lock(gSeenLock);
    gSeen.clear();
}

inline bool isRecorded(UINT message) {
    return message == WM_HSCROLL || message == WM_SYSCOMMAND || message == WM_IME_CHAR || message == kMarker ||
           message == WM_KEYDOWN || message == WM_KEYUP || message == WM_MOUSEWHEEL || message == WM_SIZE;
}

inline LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (isRecorded(message)) {
        std::lock_guard lock(gSeenLock);
        gSeen.push_back({window, message, wParam, lParam});
    }
    if (message == WM_IME_CHAR) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

inline INT_PTR CALLBACK recordingDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (isRecorded(message)) {
        std::lock_guard lock(gSeenLock);
        gSeen.push_back({window, message, wParam, lParam});
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Registers (once) a class with the recording window procedure.
inline const wchar_t* recordingClass(const wchar_t* name = L"KbMultactTestWindow") {
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    return name;
}

// Key messages seen, as (down?, virtual key) pairs.
inline std::vector<std::pair<bool, WPARAM>> seenKeys() {
    std::lock_guard lock(gSeenLock);
    std::vector<std::pair<bool, WPARAM>> out;
    for (const Seen& s : gSeen) {
        if (s.message == WM_KEYDOWN || s.message == WM_KEYUP) {
            out.emplace_back(s.message == WM_KEYDOWN, s.wParam);
        }
    }
    return out;
}

// A thread that owns test windows and answers their messages. `build` runs
// on it and returns the window to bring to the foreground and the one to
// give the focus.
class WindowThread {
public:
    struct Made {
        HWND foreground = nullptr;
        HWND focus = nullptr;
    };
    explicit WindowThread(std::function<Made()> build) {
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        thread_ = std::thread([this, build] {
            made_ = build();
            if (made_.foreground != nullptr) {
                ShowWindow(made_.foreground, SW_SHOWNORMAL);
                SetForegroundWindow(made_.foreground);
            }
            if (made_.focus != nullptr) {
                SetFocus(made_.focus);
            }
            id_ = GetCurrentThreadId();
            SetEvent(ready_.get());
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            // The thread's windows go with it (destroying them one by one
            // makes Wine wait on the display for each).
        });
        WaitForSingleObject(ready_.get(), 10000);
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    ~WindowThread() {
        PostThreadMessageW(id_, WM_QUIT, 0, 0);
        thread_.join();
    }
    [[nodiscard]] HWND foreground() const { return made_.foreground; }
    [[nodiscard]] HWND focus() const { return made_.focus; }

    // Everything posted to this thread's windows before the call has been
    // handled once it returns true.
    bool drain(HWND anyWindow) {
        PostMessageW(anyWindow, kMarker, 0, 0);
        for (int i = 0; i < 500; ++i) {
            for (const Seen& s : seenMessages(kMarker)) {
                if (s.window == anyWindow) {
                    clearMarkers();
                    return true;
                }
            }
            Sleep(10);
        }
        return false;
    }

private:
    static void clearMarkers() {
        std::lock_guard lock(gSeenLock);
        std::erase_if(gSeen, [](const Seen& s) { return s.message == kMarker; });
    }
    kbwin::UniqueHandle ready_;
    std::thread thread_;
    Made made_;
    DWORD id_ = 0;
};

inline HWND makeWindow(const wchar_t* title, DWORD style, HWND parent = nullptr, const wchar_t* cls = nullptr,
                int x = 100, int y = 100, int w = 400, int h = 300) {
    return CreateWindowExW(0, cls != nullptr ? cls : recordingClass(), title, style, x, y, w, h, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// Polls a condition for up to five seconds.
inline bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) {
            return true;
        }
        Sleep(10);
    }
    return condition();
}

class MultactTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(lib.module, nullptr) << "Multact.dll not loaded, error " << GetLastError();
        ASSERT_NE(lib.multact, nullptr);
        ASSERT_NE(lib.multact2, nullptr);
        ASSERT_NE(lib.forWin2000, nullptr);
        clearSeen();
    }
    // The windows must really be in front for the foreground actions.
    static void expectInFront(const WindowThread& ui) {
        ASSERT_EQ(GetForegroundWindow(), ui.foreground()) << "test window did not become the foreground window";
    }
    Library lib;
};

// SetUp has looked up every export by name; a wrong name fails there.

}  // namespace multact_test
