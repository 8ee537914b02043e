#include "win_system.h"

#include "common/text/text_convert.h"
#include "common/win/unique_handle.h"

#include <string>

namespace kb::kinset {
namespace {

// Key messages go to the window that has the keyboard focus in the
// foreground thread, or to the foreground window itself.
HWND messageTarget() noexcept {
    HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) {
        return nullptr;
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info) && info.hwndFocus != nullptr) {
        return info.hwndFocus;
    }
    return foreground;
}

// A hung target must not hang the sender.
constexpr UINT kSendTimeoutMs = 1000;

}  // namespace

HANDLE openDevice(const wchar_t* path) noexcept {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

int WinSystem::sendRecord(Device device, const Record& record) {
    DWORD returned = 0;
    Record buffer = record;
    return DeviceIoControl(toHandle(device), kInjectControlCode, buffer.data(), static_cast<DWORD>(buffer.size()),
                           nullptr, 0, &returned, nullptr)
               ? 1
               : 0;
}

void WinSystem::yield() {
    Sleep(0);
}

LockState WinSystem::lockState() {
    return {(GetKeyState(VK_CAPITAL) & 1) != 0, (GetKeyState(VK_NUMLOCK) & 1) != 0};
}

std::uint8_t WinSystem::scanCodeOfVirtualKey(std::uint8_t virtualKey) {
    return static_cast<std::uint8_t>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
}

void WinSystem::keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags) {
    keybd_event(virtualKey, scanCode, flags, 0);
}

int WinSystem::keyMessage(bool send, std::uint32_t message, std::uint8_t virtualKey, std::uint32_t lParam) {
    HWND target = messageTarget();
    if (target == nullptr) {
        return 0;
    }
    const auto l = static_cast<LPARAM>(lParam);
    if (!send) {
        return PostMessageW(target, message, virtualKey, l) ? 1 : 0;
    }
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(target, message, virtualKey, l, SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer) != 0
               ? 1
               : 0;
}

Point WinSystem::cursorPosition() {
    POINT p{};
    if (!GetCursorPos(&p)) {
        return {};
    }
    return {p.x, p.y};
}

Point WinSystem::screenSize() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void WinSystem::mouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y, std::uint32_t data) {
    mouse_event(flags, static_cast<DWORD>(x), static_cast<DWORD>(y), data, 0);
}

void WinSystem::messageBox(std::u16string_view text, std::u16string_view caption) {
    const std::u16string t(text);
    const std::u16string c(caption);
    MessageBoxW(nullptr, kbtext::asWide(t), kbtext::asWide(c), MB_OK);
}

Device WinSystem::openControlDevice() {
    return toDevice(openDevice(kControlDevicePath));
}

void WinSystem::closeDevice(Device device) {
    kbwin::UniqueHandle owned(toHandle(device));
}

}  // namespace kb::kinset
