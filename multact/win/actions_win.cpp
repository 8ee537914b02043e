#include "actions_win.h"

#include "scoped.h"
#include "common/crash/crash_report.h"
#include "common/text/text_convert.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

namespace kb::multact {
namespace {

using kbtext::asU16;
using kbtext::wide;

// Empty when the class name cannot be read.
std::u16string classNameOf(HWND window) {
    wchar_t buf[256];
    const int n = window != nullptr ? GetClassNameW(window, buf, 256) : 0;
    return n > 0 ? kbtext::u16(std::wstring_view(buf, static_cast<std::size_t>(n))) : std::u16string{};
}

// Read without a message to the window, so a window that does not answer
// cannot hold the caller.
std::u16string titleOf(HWND window) {
    wchar_t buf[512];
    const int n = InternalGetWindowText(window, buf, 512);
    return n > 0 ? kbtext::u16(std::wstring_view(buf, static_cast<std::size_t>(n))) : std::u16string{};
}

DWORD styleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)); }

// The focus window of the foreground window's thread, read while the
// calling thread's input is joined to it; the join ends on return.
HWND foregroundFocus() {
    HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) {
        return nullptr;
    }
    const DWORD thread = GetWindowThreadProcessId(foreground, nullptr);
    HWND focus = nullptr;
    {
        InputAttachment attach(thread);
        focus = GetFocus();
    }
    if (focus == nullptr) {
        // The join can be refused; the thread's own record still names its focus.
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(thread, &info)) {
            focus = info.hwndFocus;
        }
    }
    return focus;
}

// --- key taps -------------------------------------------------------------

constexpr BYTE kVkLeftControl = 0xA2;
constexpr BYTE kVkKeypadPlus = 0x6B;
constexpr BYTE kVkKeypadMinus = 0x6D;
constexpr BYTE kVkDigit2 = 0x32;

BYTE scanOf(BYTE vk) { return static_cast<BYTE>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)); }

void press(BYTE vk) {
    keybd_event(vk, scanOf(vk), 0, 0);
    Sleep(55);
}

void release(BYTE vk) {
    keybd_event(vk, scanOf(vk), KEYEVENTF_KEYUP, 0);
    Sleep(10);
}

void tap(BYTE vk) {
    press(vk);
    release(vk);
}

void tapWithControl(BYTE vk) {
    press(kVkLeftControl);
    tap(vk);
    release(kVkLeftControl);
}

// --- starting programs ----------------------------------------------------

// Balanced COM set-up for the shell on the calling thread; a thread that
// already runs another apartment model is left as it is.
class ComForShell {
public:
    ComForShell() noexcept : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ComForShell(const ComForShell&) = delete;
    ComForShell& operator=(const ComForShell&) = delete;
    ~ComForShell() {
        if (SUCCEEDED(hr_)) {
            CoUninitialize();
        }
    }

private:
    HRESULT hr_;
};

// Opens a file with the shell without any error box, so a failure comes
// back as a result instead of waiting for the user. With keepProcess the
// started process's handle (if the shell gives one) is returned in it.
[[nodiscard]] bool shellOpen(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder, UniqueHandle* keepProcess) {
    ComForShell com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | (keepProcess != nullptr ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.lpVerb = L"open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = folder;
    info.nShow = SW_SHOWNORMAL;
    const bool ok = ShellExecuteExW(&info) != FALSE;
    if (keepProcess != nullptr) {
        keepProcess->reset(ok ? info.hProcess : nullptr);
    } else if (ok) {
        UniqueHandle unwanted(info.hProcess);
    }
    return ok;
}

constexpr int kFrontRounds = 70;
constexpr DWORD kFrontRoundMs = 100;

struct FrontSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findWindowWithChild(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<FrontSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->processId && GetWindow(window, GW_CHILD) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// One round: true once the program's window is visible and was raised.
bool raiseStartedWindow(DWORD processId) {
    FrontSearch search{processId, nullptr};
    EnumWindows(findWindowWithChild, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return false;
    }
    HWND root = GetAncestor(search.found, GA_ROOTOWNER);
    if (root == nullptr) {
        root = search.found;
    }
    if (!IsWindowVisible(root)) {
        return false;
    }
    const bool wasTopmost = (GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    // Asynchronous: a program that does not answer cannot hold this thread.
    constexpr UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS;
    SetWindowPos(root, HWND_TOPMOST, 0, 0, 0, 0, flags);
    if (!wasTopmost) {
        SetWindowPos(root, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
    }
    return true;
}

struct FrontJob {
    UniqueHandle process;
    DWORD processId = 0;
    HMODULE module = nullptr;
};

// Detached: brings the started program's window to the front, then ends.
// It holds the process handle (so the id cannot be reused meanwhile and an
// ended program stops the search at once) and a reference on this library.
DWORD WINAPI bringToFront(void* param) {
    HMODULE module = nullptr;
    try {
        kb::crash::ThreadGuard guard;
        std::unique_ptr<FrontJob> job(static_cast<FrontJob*>(param));
        module = job->module;
        for (int round = 0; round < kFrontRounds; ++round) {
            if (WaitForSingleObject(job->process.get(), kFrontRoundMs) != WAIT_TIMEOUT) {
                break;
            }
            if (raiseStartedWindow(job->processId)) {
                break;
            }
        }
    } catch (...) {
    }
    FreeLibraryAndExitThread(module, 0);
}

void startFrontThread(UniqueHandle process) {
    const DWORD processId = GetProcessId(process.get());
    ModuleReference module;
    if (processId == 0 || !module) {
        return;
    }
    auto job = std::make_unique<FrontJob>();
    job->process = std::move(process);
    job->processId = processId;
    job->module = module.get();
    UniqueHandle thread(CreateThread(nullptr, 0, bringToFront, job.get(), 0, nullptr));
    if (thread) {
        // The thread owns both from here on.
        (void)job.release();
        (void)module.release();
    }
}

int startProgram(const wchar_t* path, const wchar_t* parameters) {
    if (path == nullptr || *path == L'\0') {
        return 0;
    }
    const std::wstring folder = wide(workingFolderOf(asU16(path)));
    UniqueHandle process;
    const bool ok = shellOpen(path, parameters != nullptr && *parameters != L'\0' ? parameters : nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &process);
    if (ok && process) {
        startFrontThread(std::move(process));
    }
    return ok ? 1 : 0;
}

// --- typing a text --------------------------------------------------------

// A window that does not take a unit within this time is not waited for
// again: the rest of the text is dropped instead of blocking the caller.
constexpr UINT kTypeUnitTimeoutMs = 1000;

void typeUnits(const std::wstring& units) {
    HWND focus = foregroundFocus();
    if (focus == nullptr) {
        return;
    }
    for (wchar_t unit : units) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(focus, WM_IME_CHAR, unit, 1, SMTO_NORMAL | SMTO_ABORTIFHUNG, kTypeUnitTimeoutMs,
                                 &answer)) {
            break;
        }
    }
}

struct TypeJob {
    const std::wstring* units;
    HMODULE module;  // a reference of the callback's own
    HANDLE done;
};

// Runs on a thread of the system's pool, so a press starts no thread. The
// pool sets `done` and drops the reference only after this has returned:
// a caller that frees the library once its call is back never leaves a
// thread running code that is gone.
void CALLBACK typeOnPoolThread(PTP_CALLBACK_INSTANCE instance, void* param) {
    const auto* job = static_cast<const TypeJob*>(param);
    FreeLibraryWhenCallbackReturns(instance, job->module);
    SetEventWhenCallbackReturns(instance, job->done);
    try {
        kb::crash::ThreadGuard guard;
        typeUnits(*job->units);
    } catch (...) {
    }
}

// Waits for an event while still answering messages sent to the caller's
// own windows: the typing thread may be sending to one of them.
void waitAnsweringSends(HANDLE event) {
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_SENDMESSAGE, 0);
        if (woke == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (woke != WAIT_OBJECT_0) {
            WaitForSingleObject(event, INFINITE);
        }
        return;
    }
}

int typeText(const wchar_t* text) {
    if (text == nullptr) {
        return 0;
    }
    const std::wstring units = wide(typedUnits(asU16(text)));
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ModuleReference module;
    if (!done || !module) {
        return 0;
    }
    TypeJob job{&units, module.get(), done.get()};
    if (!TrySubmitThreadpoolCallback(typeOnPoolThread, &job, nullptr)) {
        return 0;
    }
    // The callback drops the reference.
    (void)module.release();
    waitAnsweringSends(done.get());
    return 1;
}

// --- horizontal scrolling -------------------------------------------------

WindowId idOf(HWND window) { return reinterpret_cast<WindowId>(window); }
HWND windowOf(WindowId id) { return reinterpret_cast<HWND>(id); }

// Bounds a sibling walk that could otherwise loop while windows reorder.
constexpr std::size_t kMaxChildrenListed = 4096;

class SystemWindowTree final : public WindowTree {
public:
    WindowId parentOf(WindowId window) const override {
        HWND h = windowOf(window);
        return (styleOf(h) & WS_CHILD) != 0 ? idOf(GetAncestor(h, GA_PARENT)) : 0;
    }
    std::vector<WindowId> childrenOf(WindowId window) const override {
        std::vector<WindowId> children;
        for (HWND c = GetWindow(windowOf(window), GW_CHILD); c != nullptr && children.size() < kMaxChildrenListed;
             c = GetWindow(c, GW_HWNDNEXT)) {
            children.push_back(idOf(c));
        }
        return children;
    }
    bool isScrollBarControl(WindowId window) const override {
        HWND h = windowOf(window);
        ControlFacts facts;
        facts.hasChildren = GetWindow(h, GW_CHILD) != nullptr;
        facts.className = classNameOf(h);
        facts.style = styleOf(h);
        // Asked last and only of a likely control: it is a call into the window.
        facts.reportsControlInfo = true;
        if (!isHorizontalScrollBarControl(facts)) {
            return false;
        }
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        return GetScrollInfo(h, SB_CTL, &info) != FALSE;
    }
};

void scrollHorizontally(WPARAM scrollCode) {
    HWND focus = foregroundFocus();
    if (focus == nullptr) {
        return;
    }
    const DWORD style = styleOf(focus);
    bool reports = false;
    if ((style & WS_HSCROLL) != 0) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        reports = GetScrollInfo(focus, SB_HORZ, &info) != FALSE;
    }
    if (scrollsItself(classNameOf(focus), style, reports)) {
        PostMessageW(focus, WM_HSCROLL, scrollCode, 0);
        return;
    }
    for (WindowId id : findScrollBarControls(SystemWindowTree{}, idOf(focus))) {
        HWND control = windowOf(id);
        HWND owner = GetAncestor(control, GA_PARENT);
        if (owner != nullptr) {
            PostMessageW(owner, WM_HSCROLL, scrollCode, reinterpret_cast<LPARAM>(control));
        }
    }
}

// --- zoom, calendar, window size -----------------------------------------

int zoom(bool in) {
    POINT cursor{};
    if (!GetCursorPos(&cursor)) {
        return 0;
    }
    const std::u16string foregroundClass = classNameOf(GetForegroundWindow());
    const std::u16string cursorClass = classNameOf(WindowFromPoint(cursor));
    if (foregroundClass.empty() || cursorClass.empty()) {
        return 0;
    }
    const BYTE key = in ? kVkKeypadPlus : kVkKeypadMinus;
    switch (zoomMethodFor(foregroundClass, cursorClass)) {
    case ZoomMethod::KeypadTap:
        tap(key);
        break;
    case ZoomMethod::ControlKeypadTap:
        tapWithControl(key);
        break;
    case ZoomMethod::ControlWheel:
        press(kVkLeftControl);
        mouse_event(MOUSEEVENTF_WHEEL, 0, 0, static_cast<DWORD>(in ? WHEEL_DELTA : -WHEEL_DELTA), 0);
        Sleep(10);
        release(kVkLeftControl);
        break;
    }
    return 1;
}

bool isMailProgramWindow(HWND window) { return isMailWindow(titleOf(window), classNameOf(window)); }

BOOL CALLBACK findMailWindow(HWND window, LPARAM param) {
    try {
        if (isMailProgramWindow(window)) {
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        }
        return TRUE;
    } catch (...) {
        return FALSE;  // nothing may unwind through the system's frames
    }
}

void showCalendar() {
    HWND foreground = GetForegroundWindow();
    if (foreground != nullptr && isMailProgramWindow(foreground)) {
        tapWithControl(kVkDigit2);
        return;
    }
    HWND mail = nullptr;
    EnumWindows(findMailWindow, reinterpret_cast<LPARAM>(&mail));
    if (mail != nullptr) {
        // Asynchronous: a mail program that does not answer cannot hold the caller.
        constexpr UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS;
        SetWindowPos(mail, HWND_TOPMOST, 0, 0, 0, 0, flags);
        ShowWindowAsync(mail, SW_SHOWMAXIMIZED);
        SetWindowPos(mail, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
        Sleep(50);
        tapWithControl(kVkDigit2);
        return;
    }
    if (!shellOpen(L"outlook.exe", L"/select outlook:calendar", nullptr, nullptr)) {
        (void)shellOpen(L"rundll32.exe", L"shell32.dll,Control_RunDLL timedate.cpl", nullptr, nullptr);
    }
}

void maximiseForeground() {
    HWND foreground = GetForegroundWindow();
    if (foreground != nullptr && (styleOf(foreground) & WS_MAXIMIZEBOX) != 0) {
        PostMessageW(foreground, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    }
}

void minimiseForeground() {
    HWND foreground = GetForegroundWindow();
    if (foreground != nullptr) {
        PostMessageW(foreground, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
}

int run(Entry entry, int code, const wchar_t* text, const wchar_t* parameters) {
    switch (actionOf(entry, code)) {
    case Action::None:
        return 0;
    case Action::ScrollRight:
        scrollHorizontally(SB_LINERIGHT);
        return 0;
    case Action::ScrollLeft:
        scrollHorizontally(SB_LINELEFT);
        return 0;
    case Action::ZoomIn:
        return zoom(true);
    case Action::ZoomOut:
        return zoom(false);
    case Action::StartWordProcessor:
        if (startProgram(L"WinWord.exe", nullptr) != 0) {
            return 1;
        }
        return startProgram(L"WordPad.exe", nullptr);
    case Action::StartSpreadsheet:
        return startProgram(L"EXCEL.EXE", nullptr);
    case Action::StartPresentation:
        return startProgram(L"POWERPNT.EXE", nullptr);
    case Action::ShowCalendar:
        showCalendar();
        return 0;
    case Action::Maximise:
        maximiseForeground();
        return 0;
    case Action::Minimise:
        minimiseForeground();
        return 0;
    case Action::StartProgram:
        return startProgram(text, parameters);
    case Action::TypeText:
        return typeText(text);
    case Action::StartMediaPlayer:
        return shellOpen(L"wmplayer.exe", nullptr, nullptr, nullptr) ||
                       shellOpen(L"mplayer2.exe", nullptr, nullptr, nullptr)
                   ? 1
                   : 0;
    case Action::StartCalculator:
        (void)shellOpen(L"calc.exe", nullptr, nullptr, nullptr);
        return 0;
    case Action::OpenComputerFolder:
        (void)shellOpen(L"explorer.exe", L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", nullptr, nullptr);
        return 0;
    }
    return 0;
}

}  // namespace

int runAction(Entry entry, int code, const wchar_t* text, const wchar_t* parameters) noexcept {
    try {
        return run(entry, code, text, parameters);
    } catch (...) {
        return 0;
    }
}

}  // namespace kb::multact
