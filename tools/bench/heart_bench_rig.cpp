#include "heart_bench_rig.h"

namespace heart_bench {

[[noreturn]] void setupFail(const std::string& message) { throw SetupError{message}; }

std::string lastError(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

double g_ticksPerMs = 0;

std::int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double msSince(std::int64_t start, std::int64_t end) { return static_cast<double>(end - start) / g_ticksPerMs; }

TypedChars g_typed;

namespace {

WNDPROC g_editProc = nullptr;

LRESULT CALLBACK editHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IME_CHAR || message == WM_CHAR) {
        if (g_typed.first == 0) g_typed.first = now();
        if (message == WM_IME_CHAR) ++g_typed.imeChars;
    }
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TypeTarget::TypeTarget() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = frameProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"KbHeartBenchTarget";
    RegisterClassW(&wc);
    frame_ = CreateWindowExW(0, wc.lpszClassName, L"heart bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 320,
                             160, nullptr, nullptr, instance, nullptr);
    if (!frame_) setupFail(lastError("cannot create the bench window"));
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 300, 120, frame_, nullptr,
                            instance, nullptr);
    if (!edit_) setupFail(lastError("cannot create the edit control"));
    g_editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&editHook)));
    SetForegroundWindow(frame_);
    SetFocus(edit_);
    pump(200);
    if (GetForegroundWindow() != frame_) setupFail("the bench window did not become the foreground window");
}

TypeTarget::~TypeTarget() {
    if (frame_) DestroyWindow(frame_);
}

void TypeTarget::pump(double ms, bool untilTyped) {
    const std::int64_t start = now();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (untilTyped && g_typed.first != 0) return;
        const double left = ms - msSince(start, now());
        if (left <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
    }
}

void pollPause(double msSincePress) {
    if (msSincePress < 20) {
        SwitchToThread();
    } else {
        Sleep(1);
    }
}

void printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void report(const std::string& label, const std::vector<double>& samples) {
    printLine(label + ": " + kb::bench::formatSummary(kb::bench::summarize(samples)));
}

std::function<void()> keyPress(Driver& driver, const BenchKey& key) {
    return [&driver, &key] {
        if (driver.key(key.code, false) != KBS_SIGNALLED)
            setupFail(std::string("key ") + key.name + " is not assigned in the installed table");
    };
}

std::function<void()> keyRelease(Driver& driver, const BenchKey& key) {
    return [&driver, &key] { (void)driver.key(key.code, true); };
}

const BenchKey& keyWithRole(KeyRole role) {
    static const std::vector<BenchKey> keys = kb::bench::benchKeys();
    for (const BenchKey& k : keys) {
        if (k.role == role) return k;
    }
    setupFail("no bench key for a role");
}

void waitForKeyboardTable(Driver& driver) {
    const std::int64_t deadline = now() + static_cast<std::int64_t>(20000 * g_ticksPerMs);
    while (!driver.keyboardTableInstalled()) {
        if (now() > deadline) setupFail("no keyboard table is installed; is the program running with the bench profile?");
        Sleep(50);
    }
}

}  // namespace heart_bench
