#include "foreground_watch.h"

#include "common/win/ui_owners.h"

namespace kb::ui {

std::atomic<ForegroundWatch*> ForegroundWatch::active_{nullptr};

bool ForegroundWatch::start(HWND window, UINT message) {
    if (running()) return true;
    window_ = window;
    message_ = message;
    active_.store(this);
    hook_.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, &ForegroundWatch::onEvent, 0,
                                0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
    if (!hook_) {
        active_.store(nullptr);
        return false;
    }
    kbwin::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) return true;  // the system's event alone
    try {
        HANDLE signal = ready.get();
        input_ = std::thread([this, signal] {
            MSG m;
            PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before anyone posts to it
            inputThreadId_.store(GetCurrentThreadId());
            SetEvent(signal);
            runInputHooks();
        });
    } catch (...) {
        return true;
    }
    WaitForSingleObject(ready.get(), 5000);
    return true;
}

void ForegroundWatch::runInputHooks() {
    HMODULE self = GetModuleHandleW(nullptr);
    const kbwin::UniqueHook mouse(SetWindowsHookExW(WH_MOUSE_LL, &ForegroundWatch::onMouse, self, 0));
    const kbwin::UniqueHook keys(SetWindowsHookExW(WH_KEYBOARD_LL, &ForegroundWatch::onKey, self, 0));
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
}

void ForegroundWatch::stopInputHooks() noexcept {
    if (!input_.joinable()) return;
    const DWORD id = inputThreadId_.exchange(0);
    if (id != 0) PostThreadMessageW(id, WM_QUIT, 0, 0);
    input_.join();
}

void ForegroundWatch::stop() noexcept {
    stopInputHooks();
    hook_.reset();
    ForegroundWatch* self = this;
    active_.compare_exchange_strong(self, nullptr);
    pending_.store(false);
}

void ForegroundWatch::handled(bool fromSystemEvent) noexcept {
    pending_.store(false);
    // The system raises the event: the input hooks are not needed.
    if (fromSystemEvent) stopInputHooks();
}

void CALLBACK ForegroundWatch::onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG, LONG, DWORD, DWORD) {
    ForegroundWatch* w = active_.load();
    if (w == nullptr || event != EVENT_SYSTEM_FOREGROUND || window == nullptr) return;
    PostMessageW(w->window_, w->message_, reinterpret_cast<WPARAM>(window), 1);
}

void ForegroundWatch::postCheck() noexcept {
    ForegroundWatch* w = active_.load();
    if (w == nullptr || w->pending_.exchange(true)) return;
    if (!PostMessageW(w->window_, w->message_, 0, 0)) w->pending_.store(false);
}

LRESULT CALLBACK ForegroundWatch::onMouse(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        switch (wParam) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            postCheck();
            break;
        default:
            break;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK ForegroundWatch::onKey(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && (wParam == WM_KEYUP || wParam == WM_SYSKEYUP)) postCheck();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::u16string programOfWindow(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == 0) return {};
    kbwin::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
    std::u16string name(path, path + size);
    const auto cut = name.find_last_of(u"\\/");
    if (cut != std::u16string::npos) name.erase(0, cut + 1);
    for (char16_t& c : name)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return name;
}

bool isOwnWindow(HWND window) noexcept {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid == GetCurrentProcessId();
}

}  // namespace kb::ui
