// follow_bench: how fast the running KbPanel installs a bound profile's tables
// after its program comes to the front, against the floor of the switch's own
// driver requests, measured in the same run.
//   follow_bench requests [--rounds N] A.px3 B.px3
//        with no program running: applies A and B by turns on our own handle, as the
//        switch does (the active copy, then the keyboard table and both keypad tables,
//        each a selection and a table request); times each apply and its requests alone
//   follow_bench follow [--rounds N] [--hold MS] [--key] --other TITLE
//        KbPanel runs with following on and this program bound to a profile that is not
//        the active one. By turns our window and the window TITLE (an unbound program)
//        are clicked (a press, MS held, a release); times from the moment the window came
//        to the front to the new keyboard table. With --key the windows are put in front
//        without input and one key release follows once they are: times from that
//        release (the notice, as the system's foreground event would give it) to the table
//   follow_bench menu [--rounds N] A B
//        the profile menu's switch between list entries A and B, from the posted command
//        to the new keyboard table
// Exit status: 0 measured, 1 a measurement went wrong, 2 usage or setup.
#include <windows.h>
#include <mmsystem.h>

#include "app/driver/win/control_device_win.h"
#include "heart_bench_core.h"
#include "kbsim/sieve_ioctl.h"
#include "key_tables.h"
#include "profile_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

double g_ticksPerMs = 0;

std::int64_t now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double msBetween(std::int64_t a, std::int64_t b) { return static_cast<double>(b - a) / g_ticksPerMs; }

void report(const std::string& label, const std::vector<double>& samples) {
    std::printf("%s: %s\n", label.c_str(), kb::bench::formatSummary(kb::bench::summarize(samples)).c_str());
    std::fflush(stdout);
}

int usage() {
    std::fputs("usage: follow_bench requests [--rounds N] A.px3 B.px3 | follow [--rounds N] [--hold MS] [--key] --other TITLE"
               " | menu [--rounds N] A B\n",
               stderr);
    return 2;
}

// The stand-in driver's keyboard table, read on a handle of our own.
class TableReader {
public:
    TableReader()
        : dev_(CreateFileW(KBS_DEVICE_PATH_W, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)),
          buf_(4 + KBS_MAX_RECORDS * KBS_RECORD_SIZE) {}
    [[nodiscard]] bool ok() const { return static_cast<bool>(dev_); }
    std::vector<std::uint8_t> keyboard() {
        std::uint8_t in[4] = {};
        const std::uint32_t device = KBS_DEV_KEYBOARD;
        std::memcpy(in, &device, 4);
        DWORD got = 0;
        if (!DeviceIoControl(dev_.get(), KBS_SIM_READ_TABLE, in, sizeof in, buf_.data(), static_cast<DWORD>(buf_.size()),
                             &got, nullptr)) {
            return {};
        }
        return {buf_.begin(), buf_.begin() + got};
    }

private:
    kbwin::UniqueHandle dev_;
    std::vector<std::uint8_t> buf_;
};

void pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// Waits (pumping our window's messages) until the keyboard table differs from
// `before`; the time it was first seen, or 0 after `limitMs`.
std::int64_t waitForNewTable(TableReader& reader, const std::vector<std::uint8_t>& before,
                             std::vector<std::uint8_t>& after, DWORD limitMs,
                             const std::function<void()>& each = {}) {
    const std::int64_t start = now();
    while (msBetween(start, now()) < limitMs) {
        pump();
        if (each) each();
        after = reader.keyboard();
        if (!after.empty() && after != before) return now();
        Sleep(1);
    }
    return 0;
}

int requests(int rounds, const std::vector<std::wstring>& files) {
    if (files.size() != 2) return usage();
    kb::ProfileModel models[2];
    for (int i = 0; i < 2; ++i) {
        if (kb::loadProfileFile(models[i], std::filesystem::path(files[i])) != 1) {
            std::fputs("cannot load a profile file\n", stderr);
            return 2;
        }
    }
    kb::WinControlDevice device;
    if (device.open() != 1) {
        std::fputs("cannot open the control device; is the stand-in driver installed?\n", stderr);
        return 2;
    }
    kb::Engine engine;
    std::vector<double> applies, sends;
    for (int r = 0; r < rounds + 2; ++r) {
        kb::ProfileModel& m = models[r % 2];
        const std::int64_t a = now();
        const int done = kb::applyProfile(m, engine, device);
        const std::int64_t b = now();
        kb::sendKeyboardTable(engine, device);
        kb::sendKeypadTables(engine, device);
        const std::int64_t c = now();
        if (done != 1) return 1;
        if (r < 2) continue;  // warming up
        applies.push_back(msBetween(a, b));
        sends.push_back(msBetween(b, c));
    }
    report("apply (active copy and its 6 driver requests), our own handle", applies);
    report("the 6 driver requests alone (3 selections, 3 tables)", sends);
    kb::withdrawKeyboardTable(device);
    kb::withdrawKeypadTables(device);
    return 0;
}

// --- follow ----------------------------------------------------------------

LRESULT CALLBACK windowProc(HWND w, UINT message, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, message, wp, lp); }

void sendMouse(DWORD flags, int x, int y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>(x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1));
    in.mi.dy = static_cast<LONG>(y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1));
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

struct Click {
    std::int64_t front = 0;    // when the target was first seen in front (0: not yet)
    std::int64_t release = 0;
};

// A click in the middle of `target`'s client area: press, `holdMs` pumping
// (and calling `each`), release.
Click click(HWND target, DWORD holdMs, const std::function<void()>& each = {}) {
    RECT r{};
    GetClientRect(target, &r);
    POINT p{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
    ClientToScreen(target, &p);
    sendMouse(MOUSEEVENTF_MOVE, p.x, p.y);
    sendMouse(MOUSEEVENTF_LEFTDOWN, p.x, p.y);
    const std::int64_t down = now();
    Click c;
    while (msBetween(down, now()) < holdMs) {
        pump();
        if (c.front == 0 && GetForegroundWindow() == target) c.front = now();
        if (each) each();
        Sleep(1);
    }
    c.release = now();
    sendMouse(MOUSEEVENTF_LEFTUP, p.x, p.y);
    return c;
}

void sendKeyUp(WORD vk) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &in, sizeof in);
}

// Puts `target` in front without input, then releases a key nobody uses.
Click frontThenKey(HWND target) {
    Click c;
    SetForegroundWindow(target);
    const std::int64_t start = now();
    while (GetForegroundWindow() != target && msBetween(start, now()) < 1000) {
        pump();
        Sleep(1);
    }
    c.front = now();
    Sleep(5);
    c.release = now();
    sendKeyUp(VK_F24);
    return c;
}

int follow(int rounds, DWORD holdMs, bool byKey, const std::wstring& other) {
    TableReader reader;
    if (!reader.ok()) return 2;
    const HWND otherWindow = FindWindowW(nullptr, other.c_str());
    if (otherWindow == nullptr) {
        std::fputs("the other program's window is not there\n", stderr);
        return 2;
    }
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"KbFollowBench";
    RegisterClassW(&wc);
    HWND own = CreateWindowExW(0, wc.lpszClassName, L"follow_bench", WS_OVERLAPPEDWINDOW, 80, 80, 320, 160, nullptr,
                               nullptr, wc.hInstance, nullptr);
    if (own == nullptr) return 2;
    ShowWindow(own, SW_SHOWNORMAL);
    // Start with the other program in front and its (the active) profile's tables.
    (void)click(otherWindow, holdMs);
    Sleep(500);
    pump();
    std::vector<double> inBound, inBoundRelease, back, backRelease;
    std::vector<std::uint8_t> homeTable = reader.keyboard(), boundTable, seen;
    int wrong = 0;
    for (int r = 0; r < rounds + 1; ++r) {
        for (int leg = 0; leg < 2; ++leg) {
            const bool toOwn = leg == 0;
            const std::vector<std::uint8_t>& before = toOwn ? homeTable : boundTable;
            const HWND target = toOwn ? own : otherWindow;
            // The table may change while the button is still down: watched from the press on.
            std::int64_t seenAt = 0;
            auto watchTable = [&] {
                if (seenAt != 0) return;
                seen = reader.keyboard();
                if (!seen.empty() && seen != before) seenAt = now();
            };
            Click c = byKey ? frontThenKey(target) : click(target, holdMs, watchTable);
            auto watchFront = [&] {
                if (c.front == 0 && GetForegroundWindow() == target) c.front = now();
            };
            watchFront();
            if (seenAt == 0) seenAt = waitForNewTable(reader, before, seen, 3000, watchFront);
            if (seenAt == 0) {
                std::fprintf(stderr, "round %d: no new table after the click\n", r);
                return 1;
            }
            const std::int64_t front = c.front;
            if (r == 0 && toOwn) boundTable = seen;
            if (seen != (toOwn ? boundTable : homeTable)) ++wrong;
            if (r == 0) continue;  // warming up
            (toOwn ? inBoundRelease : backRelease).push_back(msBetween(c.release, seenAt));
            if (front != 0) (toOwn ? inBound : back).push_back(msBetween(front, seenAt));
            Sleep(50);
            pump();
        }
    }
    DestroyWindow(own);
    if (byKey) {
        report("bound program in front: from the notice to the new table", inBoundRelease);
        report("unbound program in front: from the notice to the old table", backRelease);
    } else {
        report("bound program clicked to the front: from its activation to the new table", inBound);
        report("unbound program clicked to the front: from its activation to the old table", back);
    }
    if (wrong != 0) std::fprintf(stderr, "%d switches installed an unexpected table\n", wrong);
    return wrong == 0 ? 0 : 1;
}

// --- menu -------------------------------------------------------------------

int menu(int rounds, int a, int b) {
    TableReader reader;
    if (!reader.ok()) return 2;
    HWND main = nullptr;
    // The main window: a dialog of KbPanel's titled as the program names it.
    main = FindWindowW(L"#32770", L"Vortek键盘设定");
    if (main == nullptr) {
        std::fputs("KbPanel's main window is not there\n", stderr);
        return 2;
    }
    std::vector<double> samples;
    std::vector<std::uint8_t> before = reader.keyboard(), seen;
    for (int r = 0; r < rounds + 2; ++r) {
        const int entry = r % 2 == 0 ? b : a;
        const std::int64_t start = now();
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(9001 + entry, 0), 0);
        const std::int64_t seenAt = waitForNewTable(reader, before, seen, 3000);
        if (seenAt == 0) {
            std::fprintf(stderr, "round %d: no new table after the menu's command\n", r);
            return 1;
        }
        before = seen;
        if (r >= 2) samples.push_back(msBetween(start, seenAt));
        Sleep(50);
    }
    report("the profile menu's switch: from the command to the new table", samples);
    return 0;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) return usage();
    const std::wstring cmd = argv[1];
    int rounds = 50;
    DWORD hold = 60;
    bool byKey = false;
    std::wstring other;
    std::vector<std::wstring> rest;
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--rounds" && i + 1 < argc) {
            rounds = _wtoi(argv[++i]);
        } else if (arg == L"--hold" && i + 1 < argc) {
            hold = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (arg == L"--key") {
            byKey = true;
        } else if (arg == L"--other" && i + 1 < argc) {
            other = argv[++i];
        } else {
            rest.push_back(arg);
        }
    }
    if (rounds < 1) return usage();
    if (cmd == L"requests") return requests(rounds, rest);
    if (cmd == L"follow" && !other.empty()) return follow(rounds, hold, byKey, other);
    if (cmd == L"menu" && rest.size() == 2) return menu(rounds, _wtoi(rest[0].c_str()), _wtoi(rest[1].c_str()));
    return usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { ExitProcess(3); });
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    g_ticksPerMs = static_cast<double>(f.QuadPart) / 1000.0;
    timeBeginPeriod(1);
    int rc = 2;
    try {
        rc = run(argc, argv);
    } catch (...) {
        rc = 2;
    }
    timeEndPeriod(1);
    return rc;
}
