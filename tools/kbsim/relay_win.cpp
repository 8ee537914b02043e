// The relay: a process of its own that holds a pending wait on the stand-in driver and
// replays every output log entry on the desktop with SendInput, in order. What it
// sends never reaches the driver (the driver sees only kbsim's keys and the injection
// library's records), so nothing it relays comes back to be relayed again.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kbsim/sieve_ioctl.h"
#include "kbsim_win.h"
#include "relay_input.h"

namespace kb::sim {

namespace {

// Exit codes of the relay process, which has no console to write to.
constexpr DWORD kServeBusy = 3;
constexpr DWORD kServeNoDevice = 4;
constexpr DWORD kStartLimitMs = 10000;

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

INPUT systemInput(const RelayedInput& r) {
    INPUT in{};
    if (r.mouse) {
        in.type = INPUT_MOUSE;
        in.mi.dx = r.x;
        in.mi.dy = r.y;
        in.mi.mouseData = static_cast<DWORD>(r.data);
        in.mi.dwFlags = r.flags;
        in.mi.dwExtraInfo = kRelayMark;
        return in;
    }
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = r.virtualKey;
    in.ki.wScan = static_cast<WORD>(r.code & 0xFF);
    in.ki.dwFlags = (r.code & 0x100 ? KEYEVENTF_EXTENDEDKEY : 0) | (r.up ? KEYEVENTF_KEYUP : 0) |
                    (r.virtualKey ? 0 : KEYEVENTF_SCANCODE);
    in.ki.dwExtraInfo = kRelayMark;
    return in;
}

void send(const std::vector<RelayedInput>& inputs) {
    if (inputs.empty()) return;
    std::vector<INPUT> batch;
    batch.reserve(inputs.size());
    for (const RelayedInput& r : inputs) batch.push_back(systemInput(r));
    SendInput(static_cast<UINT>(batch.size()), batch.data(), sizeof(INPUT));
}

struct RelayState {
    std::uint32_t state = KBS_RELAY_OFF;
    DWORD process = 0;
};

RelayState relayState() {
    std::uint8_t out[8] = {};
    DWORD got = control(KBS_SIM_RELAY_STATE, nullptr, 0, out, sizeof out, "asking for the relay's state");
    if (got < sizeof out) fail("the relay state answer is too short");
    return {get32(out), get32(out + 4)};
}

// Waits for a relay process to end; false when it is still there after the limit.
bool awaitEnd(DWORD process) {
    kbwin::UniqueHandle h(OpenProcess(SYNCHRONIZE, FALSE, process));
    return !h.valid() || WaitForSingleObject(h.get(), kStartLimitMs) == WAIT_OBJECT_0;
}

// The relay process: takes the relay, tells its starter, then relays until turned off
// or the driver goes. Whatever it left down is released on the way out.
int serve(const std::wstring& readyName) {
    UniqueHandle dev(CreateFileW(KBS_DEVICE_PATH_W, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    if (!dev.valid()) return kServeNoDevice;
    DWORD got = 0;
    if (!DeviceIoControl(dev.get(), KBS_SIM_RELAY_START, nullptr, 0, nullptr, 0, &got, nullptr))
        return GetLastError() == ERROR_BUSY ? kServeBusy : kServeNoDevice;
    {
        kbwin::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName.c_str()));
        if (ready.valid()) SetEvent(ready.get());
    }
    RelayTranslator translator;
    std::vector<std::uint8_t> buf(KBS_RELAY_HEADER_SIZE + 512 * KBS_LOG_ENTRY_SIZE);
    std::vector<RelayedInput> inputs;
    for (;;) {
        if (!DeviceIoControl(dev.get(), KBS_SIM_RELAY_WAIT, nullptr, 0, buf.data(), static_cast<DWORD>(buf.size()),
                             &got, nullptr) ||
            got < KBS_RELAY_HEADER_SIZE)
            break;
        const std::uint32_t count = get32(buf.data()), on = get32(buf.data() + 8);
        if (KBS_RELAY_HEADER_SIZE + static_cast<std::uint64_t>(count) * KBS_LOG_ENTRY_SIZE > got) break;
        inputs.clear();
        for (std::uint32_t i = 0; i < count; ++i)
            translator.translate({buf.data() + KBS_RELAY_HEADER_SIZE + i * KBS_LOG_ENTRY_SIZE, KBS_LOG_ENTRY_SIZE},
                                 inputs);
        send(inputs);
        if (count == 0 && !on) break;
    }
    inputs.clear();
    translator.releaseAll(inputs);
    send(inputs);
    return 0;
}

int relayOn() {
    RelayState now = relayState();
    if (now.state == KBS_RELAY_ON) {
        std::puts("relay: on");
        return 0;
    }
    if (now.state == KBS_RELAY_STOPPING && !awaitEnd(now.process)) fail("the previous relay does not end");
    const std::wstring readyName = L"kbsim-relay-ready-" + std::to_wstring(GetCurrentProcessId());
    kbwin::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    if (!ready.valid()) fail("cannot create the relay's start event: " + systemMessage(GetLastError()));
    std::wstring cmd = L"\"" + ownPath() + L"\" relay serve " + readyName;
    // Detached, its standard handles on NUL: the relay outlives this command and must
    // not keep its caller's pipes open. (Wine's own messages still go to the Unix
    // standard error the relay inherits.)
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    kbwin::UniqueHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inherit, OPEN_EXISTING, 0, nullptr));
    if (!nul.valid()) fail("cannot open NUL for the relay: " + systemMessage(GetLastError()));
    // This command's own standard handles are not handed down either: an inherited
    // one would keep its caller's pipe open in the Wine server.
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE h = GetStdHandle(which);
        if (h != nullptr && h != INVALID_HANDLE_VALUE) (void)SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul.get();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &si, &pi))
        fail("cannot start the relay: " + systemMessage(GetLastError()));
    kbwin::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    HANDLE waits[2] = {ready.get(), process.get()};
    DWORD w = WaitForMultipleObjects(2, waits, FALSE, kStartLimitMs);
    if (w == WAIT_OBJECT_0) {
        std::puts("relay: on");
        return 0;
    }
    if (w == WAIT_OBJECT_0 + 1) {
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        if (code == kServeBusy) fail("another relay is starting");
        fail("the relay could not take the simulated keyboard (exit " + std::to_string(code) + ")");
    }
    TerminateProcess(process.get(), 1);
    fail("the relay did not start within 10 s");
}

int relayOff() {
    RelayState now = relayState();
    if (now.state != KBS_RELAY_OFF) {
        kbwin::UniqueHandle h(OpenProcess(SYNCHRONIZE, FALSE, now.process));
        control(KBS_SIM_RELAY_STOP, nullptr, 0, nullptr, 0, "turning the relay off");
        // Off once the relay has given out what it had and released its keys.
        if (h.valid() && WaitForSingleObject(h.get(), kStartLimitMs) != WAIT_OBJECT_0)
            fail("the relay did not end within 10 s");
    }
    std::puts("relay: off");
    return 0;
}

}  // namespace

int relay(const std::vector<std::string_view>& args) {
    if (args.size() == 2 && args[0] == "serve") return serve(std::wstring(args[1].begin(), args[1].end()));
    if (args.size() != 1) fail("usage: kbsim relay on|off|status");
    if (args[0] == "on") return relayOn();
    if (args[0] == "off") return relayOff();
    if (args[0] == "status") {
        std::uint32_t state = relayState().state;
        std::puts(state == KBS_RELAY_ON ? "relay: on" : state == KBS_RELAY_STOPPING ? "relay: stopping" : "relay: off");
        return 0;
    }
    fail("expected on, off or status, not \"" + std::string(args[0]) + "\"");
}

}  // namespace kb::sim
