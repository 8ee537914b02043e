// kbhost: the heart of KbPanel without its window, for tests and the demo.
// Binds the libraries, loads and applies the active profile, runs the worker
// threads and reports what the window would show, one line each on stdout:
//   started | attach N | playing 0|1 | bank N | tables again | message TEXT | stopped
// Usage: kbhost [--profile FILE]...  run until `kbhost stop`, Ctrl+C or end of input;
//                                    with FILEs (listed in order, the first active),
//                                    the user's saved settings are not touched
//        kbhost stop                 tell the running host to shut down
//        kbhost switch               tell it to switch to the next listed profile
//                                    (as the profile menu would; prints "profile N")
#include <windows.h>

#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"
#include "heart.h"
#include "profile_file.h"
#include "profile_trust.h"
#include "registry_settings_store.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kQuitEventName[] = L"KbPanel_PX3_QM2000RB_Headless_Quit";
constexpr wchar_t kSwitchEventName[] = L"KbPanel_PX3_QM2000RB_Headless_Switch";

std::mutex g_outLock;

void say(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_outLock);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Prints what the main window would be told; records, never waits.
class ConsoleSink final : public kb::WindowSink {
public:
    // Set when the tables are due again; the main thread sends them.
    explicit ConsoleSink(HANDLE tablesDue) noexcept : tablesDue_(tablesDue) {}
    void attachState(int state) override { say("attach " + std::to_string(state)); }
    void tablesDue() override { SetEvent(tablesDue_); }
    bool editingMacroKey() override { return false; }
    void refuseBankSwitch() override { say("message " + kbtext::toUtf8(kb::kBankSwitchRefused)); }
    void bankChanged(int bank) override { say("bank " + std::to_string(bank)); }
    void layerChanged(int layer) override { say("layer " + std::to_string(layer)); }
    void setKeyButtonAssigned(int, bool) override {}
    void setApplyButtonEnabled(bool) override {}
    void showProfileMenu(const kb::ProfileMenu&) override {}
    void showMessage(std::u16string_view text) override { say("message " + kbtext::toUtf8(text)); }
    bool askYesNo(std::u16string_view text, bool defaultNo) override {
        say("message " + kbtext::toUtf8(text));
        return !defaultNo;
    }
    void playbackIndication(bool playing) override {
        // The engine reports idle after every pass; only changes are news.
        if (playing_.exchange(playing) != playing) say(std::string("playing ") + (playing ? "1" : "0"));
    }

private:
    std::atomic<bool> playing_{false};
    HANDLE tablesDue_;
};

HANDLE g_quit = nullptr;

BOOL WINAPI onConsoleEvent(DWORD) {
    if (g_quit != nullptr) SetEvent(g_quit);
    return TRUE;
}

int signalRunningHost(const wchar_t* eventName) {
    kbwin::UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName));
    if (!event) {
        std::fputs("kbhost: no host is running\n", stderr);
        return 1;
    }
    SetEvent(event.get());
    return 0;
}

// No dialogs exist without the window.
class NoDialogs final : public kb::EditingDialogs {
public:
    bool keyFunctionDialogOpen() const override { return false; }
    bool macroEditorOpen() const override { return false; }
};

int run(const std::vector<const wchar_t*>& profiles) {
    kbwin::UniqueHandle quit(CreateEventW(nullptr, TRUE, FALSE, kQuitEventName));
    if (!quit) {
        std::fputs("kbhost: cannot create the quit event\n", stderr);
        return 1;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fputs("kbhost: a host is already running\n", stderr);
        return 1;
    }
    kbwin::UniqueHandle switchRequest(CreateEventW(nullptr, FALSE, FALSE, kSwitchEventName));
    if (!switchRequest) {
        std::fputs("kbhost: cannot create the switch event\n", stderr);
        return 1;
    }
    g_quit = quit.get();
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);

    // A profile on the command line is a test or demo run: its settings live
    // in memory, so the user's saved profile list stays as it was.
    kb::RegistrySettingsStore userSettings;
    kb::MemorySettingsStore runSettings;
    kb::SettingsStore& settings = !profiles.empty() ? static_cast<kb::SettingsStore&>(runSettings) : userSettings;
    kbwin::UniqueHandle tablesDue(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!tablesDue) {
        std::fputs("kbhost: cannot create the resend event\n", stderr);
        return 1;
    }
    ConsoleSink sink(tablesDue.get());
    kb::Heart heart(sink, settings);
    if (!profiles.empty()) {
        // The given files are the profile list; the first is active.
        kb::ProfileList& list = heart.profiles();
        for (std::size_t i = 0; i < profiles.size(); ++i) {
            list.setProfilePath(static_cast<int>(i), reinterpret_cast<const char16_t*>(profiles[i]));
        }
        list.setProfileCount(static_cast<int>(profiles.size()));
        list.setActiveIndex(0);
        // Files named on the command line are accepted as they are: there is
        // no window to ask, and the caller chose them.
        kb::ProfileTrust trust(settings);
        for (const wchar_t* file : profiles) {
            if (const auto bytes = kb::readProfileBytes(std::filesystem::path(file))) {
                (void)trust.remember(reinterpret_cast<const char16_t*>(file), kb::sha256Hex(*bytes));
            }
        }
    }
    const kb::StartResult started = heart.start();
    if (started != kb::StartResult::Started) {
        std::fprintf(stderr, "kbhost: cannot start: %s\n", heart.failure());
        heart.shutdown();
        return 2;
    }
    say("started");
    // Ends on `kbhost stop`, Ctrl+C, or when the input is closed by a parent.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input != nullptr && input != INVALID_HANDLE_VALUE && GetFileType(input) == FILE_TYPE_PIPE) {
        // A blocking read sleeps until the parent writes or closes the pipe:
        // no wake-ups while idle. The thread ends with the process.
        std::thread([input, q = quit.get()] {
            char sink[256];
            DWORD n = 0;
            while (ReadFile(input, sink, sizeof sink, &n, nullptr) && n > 0) {
            }
            SetEvent(q);
        }).detach();
    }
    const HANDLE waits[3] = {quit.get(), switchRequest.get(), tablesDue.get()};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0 + 2) {
            if (heart.activation().resend()) say("tables again");
            continue;
        }
        if (woke != WAIT_OBJECT_0 + 1) break;
        // The profile menu's switch, on this (the window's) thread.
        kb::ProfileList& list = heart.profiles();
        const int count = list.profileCount();
        const int next = count > 0 ? (list.activeIndex() + 1) % count : -1;
        NoDialogs dialogs;
        if (heart.activation().switchTo(next, dialogs, nullptr) == kb::SwitchResult::Switched) {
            say("profile " + std::to_string(next));
        }
    }
    heart.shutdown();
    say("stopped");
    g_quit = nullptr;
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc == 2 && std::wstring(argv[1]) == L"stop") return signalRunningHost(kQuitEventName);
        if (argc == 2 && std::wstring(argv[1]) == L"switch") return signalRunningHost(kSwitchEventName);
        std::vector<const wchar_t*> profiles;
        bool usage = false;
        for (int i = 1; i < argc; i += 2) {
            if (i + 1 >= argc || std::wstring(argv[i]) != L"--profile") {
                usage = true;
                break;
            }
            profiles.push_back(argv[i + 1]);
        }
        if (!usage) return run(profiles);
        std::fputs("usage: kbhost [--profile FILE]... | kbhost stop | kbhost switch\n", stderr);
        return 1;
    } catch (...) {
        std::fputs("kbhost: unexpected failure\n", stderr);
        return 3;
    }
}
