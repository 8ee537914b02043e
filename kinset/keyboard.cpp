#include "keyboard.h"

#include "key_tables.h"

#include <array>

namespace kb::kinset {
namespace {

constexpr std::uint16_t kShiftCode = 0x02A;
constexpr std::uint16_t kNumLockCode = 0x145;

std::uint8_t akeyOfVirtualKeyArg(int virtualKey) noexcept {
    return virtualKey >= 0 && virtualKey <= 0xFF ? akeyOfVirtualKey(static_cast<std::uint8_t>(virtualKey))
                                                 : 0;
}

bool isLetter(std::uint8_t c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool Keyboard::setMakeType(int type) noexcept {
    if (type < 0 || type > 3) {
        return false;
    }
    makeType_ = static_cast<KeyMakeType>(type);
    return true;
}

int Keyboard::sendToDriver(std::uint8_t akey, int state) {
    const Akey& k = akeyEntry(akey);
    int result = 1;
    auto send = [&](std::uint8_t scan, std::uint16_t flags) {
        result = system_.sendRecord(device_, keyRecord(scan, flags));
        system_.yield();
    };
    const bool release = state != kPress;
    switch (k.kind) {
        case kKindPlain:
        case kKindShifted:
        case kKindKeypad:
            send(k.scan1, release ? kKeyBreak : 0);
            break;
        case kKindReleaseOnly:
            if (release) {
                send(k.scan1, kKeyBreak);
            }
            break;
        case kKindE0:
            if (!release) {
                send(k.scan1, kKeyE0);
                if (k.scan2 != 0) {
                    send(k.scan2, kKeyE0);
                }
            } else {
                if (k.scan2 != 0) {
                    send(k.scan2, kKeyE0 | kKeyBreak);
                }
                send(k.scan1, kKeyE0 | kKeyBreak);
            }
            break;
        case kKindE1:
            send(k.scan1, release ? kKeyE1 | kKeyBreak : kKeyE1);
            send(k.scan2, release ? kKeyBreak : 0);
            break;
        default:
            break;
    }
    return result;
}

int Keyboard::sendAkey(std::uint8_t akey, int state) {
    if (makeType_ == KeyMakeType::Driver) {
        return sendToDriver(akey, state);
    }
    const Akey& k = akeyEntry(akey);
    if (k.virtualKey == 0 || k.virtualKey == 0xFF) {
        return 1;
    }
    const std::uint16_t code = winMakeCodeOfAkey(akey);
    const bool up = state == kRelease;
    if (makeType_ == KeyMakeType::KeybdEvent) {
        std::uint32_t flags = up ? kKeyEventKeyUp : 0;
        if ((code & 0x100) != 0 || akey == 0xE1) {
            flags |= kKeyEventExtended;
        }
        system_.keybdEvent(k.virtualKey, system_.scanCodeOfVirtualKey(k.virtualKey), flags);
        system_.yield();
        return 1;
    }
    std::uint32_t lParam = (static_cast<std::uint32_t>(code) << 16) | 1u;
    if (up) {
        lParam |= 0xC0000000u;
    }
    return system_.keyMessage(makeType_ == KeyMakeType::SendMessage, up ? kMessageKeyUp : kMessageKeyDown,
                              k.virtualKey, lParam) != 0
               ? 1
               : 0;
}

int Keyboard::tap(std::uint8_t akey) {
    sendAkey(akey, kPress);
    return sendAkey(akey, kRelease);
}

int Keyboard::chord(const std::uint8_t* akeys, std::size_t n) {
    if (n < 1 || n > kMaxChord) {
        return 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
        sendAkey(akeys[i], kPress);
    }
    int result = 0;
    for (std::size_t i = n; i-- > 0;) {
        result = sendAkey(akeys[i], kRelease);
    }
    return result;
}

int Keyboard::akeySingle(Device device, std::uint8_t akey, int state) {
    const std::lock_guard hold(lock_);
    device_ = device;
    return sendAkey(akey, state);
}

int Keyboard::winMakeCodeSingle(Device device, std::uint16_t winMakeCode, int state) {
    const std::lock_guard hold(lock_);
    device_ = device;
    return sendAkey(akeyOfWinMakeCode(winMakeCode), state);
}

int Keyboard::virtualKeySingle(Device device, std::uint8_t virtualKey, int state) {
    const std::lock_guard hold(lock_);
    device_ = device;
    return sendAkey(akeyOfVirtualKey(virtualKey), state);
}

int Keyboard::keyEx(Device device, std::uint16_t makeCode, std::uint16_t flags) {
    return winMakeCodeSingle(device, winMakeCodeOfRecord(makeCode, flags), flags & kKeyBreak);
}

int Keyboard::akeysAsync(Device device, const std::uint8_t* akeys, int count) {
    const std::lock_guard hold(lock_);
    device_ = device;
    const std::size_t n = listLength(akeys, count);
    int result = 0;
    for (std::size_t i = 0; i < n; ++i) {
        result = tap(akeys[i]);
    }
    return result;
}

int Keyboard::winMakeCodesAsync(Device device, const std::uint16_t* codes, int count) {
    const std::lock_guard hold(lock_);
    device_ = device;
    const std::size_t n = listLength(codes, count);
    int result = 0;
    for (std::size_t i = 0; i < n; ++i) {
        result = tap(akeyOfWinMakeCode(codes[i]));
    }
    return result;
}

int Keyboard::virtualKeysAsync(Device device, const std::uint8_t* virtualKeys, int count) {
    const std::lock_guard hold(lock_);
    device_ = device;
    const std::size_t n = listLength(virtualKeys, count);
    int result = 0;
    for (std::size_t i = 0; i < n; ++i) {
        result = tap(akeyOfVirtualKey(virtualKeys[i]));
    }
    return result;
}

int Keyboard::akeysSync(Device device, const std::uint8_t* akeys, int count) {
    const std::lock_guard hold(lock_);
    device_ = device;
    return chord(akeys, listLength(akeys, count));
}

int Keyboard::winMakeCodesSync(Device device, const std::uint16_t* codes, int count) {
    const std::lock_guard hold(lock_);
    device_ = device;
    const std::size_t n = listLength(codes, count);
    if (n > kMaxChord) {
        return 0;
    }
    std::array<std::uint8_t, kMaxChord> akeys{};
    for (std::size_t i = 0; i < n; ++i) {
        akeys[i] = akeyOfWinMakeCode(codes[i]);
    }
    return chord(akeys.data(), n);
}

int Keyboard::virtualKeysSync(Device device, const std::uint8_t* virtualKeys, int count) {
    const std::lock_guard hold(lock_);
    device_ = device;
    const std::size_t n = listLength(virtualKeys, count);
    if (n > kMaxChord) {
        return 0;
    }
    std::array<std::uint8_t, kMaxChord> akeys{};
    for (std::size_t i = 0; i < n; ++i) {
        akeys[i] = akeyOfVirtualKey(virtualKeys[i]);
    }
    return chord(akeys.data(), n);
}

int Keyboard::typeText(Device device, const std::uint8_t* text, int count) {
    const std::lock_guard hold(lock_);
    device_ = device;
    const std::size_t n = listLength(text, count);
    const std::uint8_t shift = akeyOfWinMakeCode(kShiftCode);
    const std::uint8_t numLock = akeyOfWinMakeCode(kNumLockCode);
    int result = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = text[i];
        const LockState locks = system_.lockState();
        const std::uint8_t kind = akeyEntry(c).kind;
        bool shifted = false;
        bool numTapped = false;
        if (isLetter(c)) {
            shifted = (c >= 'A' && c <= 'Z') != locks.capsLock;
        } else if (kind == kKindShifted) {
            shifted = true;
        } else if (kind == kKindKeypad && !locks.numLock) {
            numTapped = true;
        }
        if (shifted) {
            sendAkey(shift, kPress);
        } else if (numTapped) {
            tap(numLock);
        }
        result = tap(c);
        if (shifted) {
            result = sendAkey(shift, kRelease);
        } else if (numTapped) {
            result = tap(numLock);
        }
    }
    return result;
}

int Keyboard::keyPress(Device keyboard, int virtualKey, int count) {
    if (count < 1) {
        return 0;
    }
    const std::lock_guard hold(lock_);
    device_ = keyboard;
    const std::uint8_t akey = akeyOfVirtualKeyArg(virtualKey);
    int result = 0;
    for (int i = 0; i < count; ++i) {
        result = tap(akey);
    }
    return result;
}

int Keyboard::keyDown(Device keyboard, int virtualKey, int count) {
    const std::lock_guard hold(lock_);
    device_ = keyboard;
    const std::uint8_t akey = akeyOfVirtualKeyArg(virtualKey);
    for (int i = 0; i < count; ++i) {
        sendAkey(akey, kPress);
    }
    return 0;
}

int Keyboard::keyUp(Device keyboard, int virtualKey, int count) {
    const std::lock_guard hold(lock_);
    device_ = keyboard;
    const std::uint8_t akey = akeyOfVirtualKeyArg(virtualKey);
    int result = 0;
    for (int i = 0; i < count; ++i) {
        result = sendAkey(akey, kRelease);
    }
    return result;
}

}  // namespace kb::kinset
