#include "other_key_watch.h"

#include "common/win/ui_owners.h"
#include "common/win/unique_handle.h"

#include <algorithm>
#include <chrono>

namespace kb {
namespace {

constexpr UINT kWatchOff = WM_APP;
constexpr UINT kWatchOn = WM_APP + 1;
constexpr UINT kReplay = WM_APP + 2;  // wParam: the key, lParam: the direction

// The low-level hook has no parameter of its own: one watch per process.
std::atomic<OtherKeyWatch*> g_watch{nullptr};

std::uint64_t nowMs() noexcept {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// Keys of the E0 set by their virtual key; the others the layout maps.
UINT virtualKeyOf(WinMakeCode code) noexcept {
    switch (code) {
    case 0x045: return VK_PAUSE;
    case 0x145: return VK_NUMLOCK;
    case 0x11C: return VK_RETURN;
    case 0x11D: return VK_RCONTROL;
    case 0x135: return VK_DIVIDE;
    case 0x137: return VK_SNAPSHOT;
    case 0x138: return VK_RMENU;
    case 0x147: return VK_HOME;
    case 0x148: return VK_UP;
    case 0x149: return VK_PRIOR;
    case 0x14B: return VK_LEFT;
    case 0x14D: return VK_RIGHT;
    case 0x14F: return VK_END;
    case 0x150: return VK_DOWN;
    case 0x151: return VK_NEXT;
    case 0x152: return VK_INSERT;
    case 0x153: return VK_DELETE;
    case 0x15B: return VK_LWIN;
    case 0x15C: return VK_RWIN;
    case 0x15D: return VK_APPS;
    default: return code < 0x100 ? MapVirtualKeyW(code, MAPVK_VSC_TO_VK_EX) : 0;
    }
}

}  // namespace

OtherKeyWatch::~OtherKeyWatch() { stop(); }

bool OtherKeyWatch::start() {
    if (thread_.joinable()) return true;
    OtherKeyWatch* none = nullptr;
    if (!g_watch.compare_exchange_strong(none, this)) return false;
    kbwin::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) return false;
    try {
        thread_ = std::thread([this, r = ready.get()] {
            MSG msg;
            // The queue exists before anyone posts to it.
            PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
            threadId_ = GetCurrentThreadId();
            SetEvent(r);
            run();
        });
    } catch (...) {
        g_watch = nullptr;
        return false;
    }
    WaitForSingleObject(ready.get(), INFINITE);
    return true;
}

void OtherKeyWatch::stop() noexcept {
    if (!thread_.joinable()) return;
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    g_watch = nullptr;
}

bool OtherKeyWatch::isDown(WinMakeCode code) {
    const UINT vk = virtualKeyOf(code);
    return vk != 0 && (GetAsyncKeyState(static_cast<int>(vk)) & 0x8000) != 0;
}

void OtherKeyWatch::watchOtherKeys(bool on) {
    if (const DWORD id = threadId_; id != 0) PostThreadMessageW(id, on ? kWatchOn : kWatchOff, 0, 0);
}

bool OtherKeyWatch::holdBack(WinMakeCode make, bool release) {
    const auto it = std::find(pending_.begin(), pending_.end(), make);
    if (release) {
        // A held-back key's release follows its press given again, whenever
        // that is: passed on now it could reach the system before it.
        if (it == pending_.end()) return false;
    } else if (!runner_.otherKeyPressed(nowMs())) {
        return false;
    } else {
        pending_.push_back(make);
    }
    // Posted: given again once the hook has answered, in the order held back.
    PostThreadMessageW(threadId_, kReplay, make, release ? 1 : 0);
    return true;
}

LRESULT CALLBACK OtherKeyWatch::onKey(int code, WPARAM message, LPARAM data) {
    OtherKeyWatch* watch = g_watch;
    if (code == HC_ACTION && watch != nullptr) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        const bool release = message == WM_KEYUP || message == WM_SYSKEYUP;
        const auto make = static_cast<WinMakeCode>((key->scanCode & 0xFF) | ((key->flags & LLKHF_EXTENDED) ? 0x100 : 0));
        // The press given again comes back through here too, and passes.
        try {
            if (watch->holdBack(make, release)) return 1;
        } catch (...) {
            // Nothing escapes the hook: the key passes.
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

void OtherKeyWatch::run() noexcept {
    kbwin::UniqueHook hook;
    bool wanted = false;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kWatchOn) {
            wanted = true;
        } else if (msg.message == kWatchOff) {
            wanted = false;
        } else if (msg.message == kReplay) {
            const auto make = static_cast<WinMakeCode>(msg.wParam);
            runner_.replay(make, static_cast<std::uint16_t>(msg.lParam));
            if (msg.lParam != 0) std::erase(pending_, make);
        }
        // Kept until a held-back key's release is seen: it must not pass
        // before the press given again.
        if ((wanted || !pending_.empty()) && !hook) {
            hook.reset(SetWindowsHookExW(WH_KEYBOARD_LL, onKey, GetModuleHandleW(nullptr), 0));
        } else if (!wanted && pending_.empty() && hook) {
            hook.reset();
        }
    }
}

}  // namespace kb
