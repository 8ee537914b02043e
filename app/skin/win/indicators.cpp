#include "indicators.h"

#include <atomic>
#include <thread>

#include "gdi_owner.h"
#include "skin_ini.h"

namespace kbskin {
namespace {

constexpr UINT kCheckLamps = WM_APP + 1;
constexpr UINT kPauseHook = WM_APP + 2;
constexpr UINT kResumeHook = WM_APP + 3;
constexpr UINT_PTR kClockTimer = 1;
// The hook runs before the system records the new toggle state; a second look
// a moment later sees the settled state.
constexpr UINT kSettleMs = 60;

// A message-only window on the UI thread: worker threads post to it, and its
// handler runs where the buttons live.
class MessageWindow {
public:
    using Handler = std::function<void(UINT, WPARAM, LPARAM)>;
    explicit MessageWindow(Handler handler) : handler_(std::move(handler)) {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &Procedure;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"KbSkinIndicatorSink";
            return RegisterClassW(&wc);
        }();
        if (atom)
            window_ = CreateWindowExW(0, L"KbSkinIndicatorSink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), this);
    }
    ~MessageWindow() {
        if (window_) DestroyWindow(window_);
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    [[nodiscard]] HWND get() const noexcept { return window_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && (message >= WM_APP || message == WM_TIMER)) {
            try {
                self->handler_(message, wParam, lParam);
            } catch (...) {
            }
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Handler handler_;
    HWND window_ = nullptr;
};

// The program's clock: a timer of a message-only window on this thread.
class TimerClock final : public StepClock {
public:
    TimerClock()
        : window_([this](UINT message, WPARAM id, LPARAM) {
              // A tick already queued when the clock halted is dropped.
              if (message == WM_TIMER && id == kClockTimer && running_ && step_) step_();
          }) {}
    ~TimerClock() override { Halt(); }
    [[nodiscard]] bool Ready() const noexcept { return window_.get() != nullptr; }
    void Run(UINT periodMs, std::function<void()> step) override {
        step_ = std::move(step);
        running_ = SetTimer(window_.get(), kClockTimer, periodMs, nullptr) != 0;
    }
    void Halt() override {
        running_ = false;
        if (window_.get()) KillTimer(window_.get(), kClockTimer);
    }

private:
    std::function<void()> step_;
    bool running_ = false;
    MessageWindow window_;
};

// The caller's clock, or else a timer of our own made into `own`; null when
// no timer can be made.
StepClock* clockOr(StepClock* given, std::unique_ptr<TimerClock>& own) {
    if (given) return given;
    own = std::make_unique<TimerClock>();
    return own->Ready() ? own.get() : nullptr;
}

// Watches a window's visibility without the window's cooperation.
class ShowWatch : public CSubclassWnd {
public:
    explicit ShowWatch(std::function<void(bool)> onChange) : onChange_(std::move(onChange)) {}

protected:
    LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM) override {
        const LRESULT result = PassOn();
        // WM_SHOWWINDOW comes before the change and a window may still refuse
        // it (a dialog kept in the tray drops SWP_SHOWWINDOW), so a show is
        // only believed once the window really is visible.
        if (message == WM_SHOWWINDOW && wParam == FALSE) onChange_(false);
        else if (message == WM_SIZE || message == WM_WINDOWPOSCHANGED) {
            const HWND w = HookedWindow();
            onChange_(IsWindowVisible(w) != FALSE && IsIconic(w) == FALSE);  // a minimised one is unseen
        }
        return result;
    }

private:
    std::function<void(bool)> onChange_;
};

// The low-level hook has no context argument; one lamp set listens at a time.
std::atomic<HWND> g_lampSink{nullptr};

LRESULT CALLBACK LampHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        if (key->vkCode == VK_CAPITAL || key->vkCode == VK_NUMLOCK || key->vkCode == VK_SCROLL) {
            if (HWND sink = g_lampSink.load()) PostMessageW(sink, kCheckLamps, 0, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

// --- Lock lamps ------------------------------------------------------------------

struct LockLamps::Impl {
    SkinButton* lamps[3] = {};
    static constexpr int kKeys[3] = {VK_NUMLOCK, VK_CAPITAL, VK_SCROLL};
    bool lastOn[3] = {false, false, false};
    const StatusSurface* unlit = nullptr;
    const StatusSurface* lit = nullptr;
    bool visible = false;
    std::unique_ptr<MessageWindow> sink;
    std::unique_ptr<TimerClock> ownClock;
    StepClock* clock = nullptr;
    std::unique_ptr<ShowWatch> watch;
    std::thread hookThread;
    std::atomic<DWORD> hookThreadId{0};

    void Refresh() {
        for (int i = 0; i < 3; ++i) {
            const bool on = LockIsOn(kKeys[i]);
            if (on == lastOn[i]) continue;
            lastOn[i] = on;
            if (!lamps[i]) continue;
            if (on) lamps[i]->SetSurfaces(lit, lit, lit, lit, unlit, true);
            else lamps[i]->SetSurfaces(unlit, unlit, unlit, unlit, lit, true);
        }
    }

    void OnMessage(UINT message) {
        if (message != kCheckLamps || !visible) return;
        Refresh();
        clock->Run(kSettleMs, [this] {
            clock->Halt();
            if (visible) Refresh();
        });
    }

    void OnShow(bool shown) {
        if (shown == visible) return;
        visible = shown;
        if (DWORD id = hookThreadId.load()) PostThreadMessageW(id, shown ? kResumeHook : kPauseHook, 0, 0);
        if (shown) Refresh();
    }

    void RunHook(HANDLE ready) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
        UniqueHook hook;
        auto install = [&] {
            if (!hook) hook.reset(SetWindowsHookExW(WH_KEYBOARD_LL, &LampHook, GetModuleHandleW(nullptr), 0));
        };
        if (visible) install();
        hookThreadId = GetCurrentThreadId();
        SetEvent(ready);
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (message.message == kPauseHook) {
                hook.reset();
            } else if (message.message == kResumeHook) {
                install();
            }
        }
    }
};

LockLamps::LockLamps() = default;
LockLamps::~LockLamps() { Stop(); }

bool LockLamps::LockIsOn(int virtualKey) { return (GetKeyState(virtualKey) & 1) != 0; }

bool LockLamps::Start(HWND window, SkinButton* numLamp, SkinButton* capsLamp, SkinButton* scrollLamp,
                      const StatusSurface* unlit, const StatusSurface* lit, StepClock* clock) {
    Stop();
    auto impl = std::make_unique<Impl>();
    impl->lamps[0] = numLamp;
    impl->lamps[1] = capsLamp;
    impl->lamps[2] = scrollLamp;
    impl->unlit = unlit;
    impl->lit = lit;
    Impl* raw = impl.get();
    impl->sink = std::make_unique<MessageWindow>([raw](UINT m, WPARAM, LPARAM) { raw->OnMessage(m); });
    if (!impl->sink->get()) return false;
    impl->clock = clockOr(clock, impl->ownClock);
    if (!impl->clock) return false;
    impl->watch = std::make_unique<ShowWatch>([raw](bool shown) { raw->OnShow(shown); });
    if (window) impl->watch->AttachHook(window);
    impl->visible = window == nullptr || IsWindowVisible(window);
    // Set once the thread has its queue, so pause and resume are never lost.
    kbwin::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) return false;
    g_lampSink = impl->sink->get();
    try {
        impl->hookThread = std::thread([raw, r = ready.get()] { raw->RunHook(r); });
    } catch (...) {
        g_lampSink = nullptr;
        return false;
    }
    WaitForSingleObject(ready.get(), INFINITE);
    impl_ = std::move(impl);
    if (impl_->visible) impl_->Refresh();
    return true;
}

void LockLamps::Stop() {
    if (!impl_) return;
    HWND expected = impl_->sink ? impl_->sink->get() : nullptr;
    g_lampSink.compare_exchange_strong(expected, nullptr);
    if (impl_->hookThread.joinable()) {
        PostThreadMessageW(impl_->hookThreadId.load(), WM_QUIT, 0, 0);
        impl_->hookThread.join();
    }
    impl_->clock->Halt();
    impl_.reset();
}

void LockLamps::Refresh() {
    if (impl_) impl_->Refresh();
}

// --- Arrows ------------------------------------------------------------------------

struct ArrowAnimator::Impl {
    SkinButton* buttons[2] = {};
    std::wstring iniPath;
    const StatusSurface* strip = nullptr;
    std::function<bool()> flipOn;
    UINT periodMs = 1000;
    ArrowState state;
    int step = 0;
    unsigned ticks = 0;
    bool running = false;
    std::unique_ptr<TimerClock> ownClock;
    StepClock* clock = nullptr;
    std::unique_ptr<ShowWatch> watch;

    void Show(ArrowSide side, int frame, bool setEnable, bool enable) {
        const auto shown = state.Step(side, frame, setEnable, enable);
        SkinButton* button = buttons[static_cast<int>(side)];
        if (!shown || !button) return;
        bool flip = false;
        try {
            flip = flipOn && flipOn();
        } catch (...) {
        }
        const std::wstring key = ArrowFrameKey(side, flip, *shown);
        PlaceFrameButton(*button, iniPath.c_str(), L"BUTTONINFO",
                         side == ArrowSide::Left ? L"LEFT_ARROW" : L"RIGHT_ARROW", L"BUTTONINFO2", key.c_str(),
                         strip);
    }

    void Run(bool shown) {
        if (shown == running) return;
        running = shown;
        if (shown) clock->Run(periodMs, [this] { OnStep(); });
        else clock->Halt();
    }

    void OnStep() {
        Show(ArrowSide::Left, step, false, false);
        Show(ArrowSide::Right, step, false, false);
        step = (step + 1) % 2;
        ++ticks;
    }
};

ArrowAnimator::ArrowAnimator() : impl_(std::make_unique<Impl>()) {}
ArrowAnimator::~ArrowAnimator() { Stop(); }

bool ArrowAnimator::Start(HWND window, SkinButton* left, SkinButton* right, const wchar_t* iniPath,
                          const StatusSurface* strip, std::function<bool()> flipOn, UINT periodMs,
                          StepClock* clock) {
    Stop();
    impl_ = std::make_unique<Impl>();
    Impl* raw = impl_.get();
    raw->buttons[0] = left;
    raw->buttons[1] = right;
    raw->iniPath = iniPath ? iniPath : L"";
    raw->strip = strip;
    raw->flipOn = std::move(flipOn);
    raw->periodMs = periodMs;
    (void)raw->state.Step(ArrowSide::Left, 2, true, true);
    (void)raw->state.Step(ArrowSide::Right, 2, true, true);
    raw->clock = clockOr(clock, raw->ownClock);
    if (!raw->clock) return false;
    raw->watch = std::make_unique<ShowWatch>([raw](bool shown) { raw->Run(shown); });
    if (window) raw->watch->AttachHook(window);
    raw->Run(window == nullptr || IsWindowVisible(window));
    return true;
}

void ArrowAnimator::Stop() {
    if (!impl_) return;
    if (impl_->clock) impl_->clock->Halt();
    impl_->watch.reset();
    impl_->ownClock.reset();
    impl_->clock = nullptr;
    impl_->running = false;
}

void ArrowAnimator::ShowArrowFrame(ArrowSide side, int frame, bool setEnable, bool enable) {
    impl_->Show(side, frame, setEnable, enable);
}

const ArrowState& ArrowAnimator::State() const noexcept { return impl_->state; }
unsigned ArrowAnimator::Ticks() const noexcept { return impl_->ticks; }

}  // namespace kbskin
