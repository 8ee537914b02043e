// kbsim's Windows side, shared by its commands: failures, the device and its requests.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "kbsim/win_handles.h"

namespace kb::sim {

// A command's failure: main prints "kbsim: MESSAGE" and exits with 1.
struct Failure {
    std::string message;
};
[[noreturn]] void fail(const std::string& message);
[[nodiscard]] std::string systemMessage(DWORD code);
// kbsim.exe's own path.
[[nodiscard]] std::wstring ownPath();
[[nodiscard]] UniqueHandle openDevice();
// One request on a fresh handle; fails with WHAT in the message. Returns the bytes written.
DWORD control(DWORD code, const void* in, DWORD inLen, void* out, DWORD outLen, const char* what);

// kbsim relay on|off|status (and serve, the relay process itself).
int relay(const std::vector<std::string_view>& args);

}  // namespace kb::sim
