// The DLL's exports: argument checks and the library-wide state; the work is
// done by the portable keyboard and mouse logic over the Windows layer.
#include "KinsetDll.h"

#include "key_tables.h"
#include "keyboard.h"
#include "mouse.h"
#include "service.h"
#include "sides.h"
#include "win_system.h"

#include "common/text/text_convert.h"

#include <cstdint>
#include <cstring>

namespace kb::kinset {
namespace {

static_assert(sizeof(KinsetKeyEx) == 4);
static_assert(sizeof(KinsetMouseAction) == kRecordSize);
static_assert(sizeof(KinsetMouseRecord) == kRecordSize);

// One copy per process, shared by every calling thread: the keyboard, mouse
// and sides keep their own locks.
struct Library {
    WinSystem system;
    Keyboard keyboard{system};
    Mouse mouse{system};
    Sides sides;
};

Library& lib() noexcept {
    static Library library;
    return library;
}

// No exception leaves the module.
template <class F>
int guarded(F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return 0;
    }
}

template <class T>
const std::uint8_t* bytesOf(const T* p) noexcept {
    return reinterpret_cast<const std::uint8_t*>(p);
}

std::uint16_t makeCodeOf(const KinsetKeyEx* key, std::uint16_t* flags) noexcept {
    std::uint8_t b[4];
    std::memcpy(b, key, sizeof(b));
    *flags = static_cast<std::uint16_t>(b[2] | (b[3] << 8));
    return winMakeCodeOfRecord(static_cast<std::uint16_t>(b[0] | (b[1] << 8)), *flags);
}

Device keyboardHandle() noexcept {
    return lib().sides.keyboard.handle();
}

Device mouseHandle() noexcept {
    return lib().sides.mouse.handle();
}

int repeatClick(int count, std::uint16_t buttons, int clicksEach) {
    if (count <= 0) {
        return 0;
    }
    int result = 0;
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < clicksEach; ++c) {
            result = lib().mouse.click(mouseHandle(), buttons);
        }
    }
    return result;
}

int repeatRaw(int count, std::uint16_t flags) {
    if (count <= 0) {
        return 0;
    }
    int result = 0;
    for (int i = 0; i < count; ++i) {
        result = lib().mouse.rawButtons(mouseHandle(), flags);
    }
    return result;
}

int storeHandle(HANDLE* out, Device handle) noexcept {
    if (out == nullptr) {
        return 0;
    }
    *out = toHandle(handle);
    return 1;
}

}  // namespace
}  // namespace kb::kinset

using namespace kb::kinset;

// ---- Lifetime --------------------------------------------------------------

extern "C" int WINAPI Init(void) {
    return guarded([] { return lib().sides.init(lib().system); });
}

extern "C" int WINAPI End(void) {
    return guarded([] {
        lib().sides.end(lib().system);
        return 1;
    });
}

extern "C" int WINAPI KinsetKbInit(void) {
    return guarded([] { return lib().sides.keyboard.init(lib().system); });
}

extern "C" int WINAPI KinsetKbEnd(void) {
    return guarded([] {
        lib().sides.keyboard.end(lib().system);
        return 1;
    });
}

extern "C" int WINAPI KinsetKbGetHandle(HANDLE* handle) {
    return storeHandle(handle, keyboardHandle());
}

extern "C" int WINAPI KinsetKbSetHandle(HANDLE handle) {
    lib().sides.keyboard.setHandle(toDevice(handle));
    return 1;
}

extern "C" int WINAPI SetKbMakeType(int makeType) {
    return lib().keyboard.setMakeType(makeType) ? 1 : 0;
}

// ---- Keystrokes --------------------------------------------------------

extern "C" int WINAPI KinsetKbKeyPress(int virtualKey, int count) {
    return guarded([&] { return lib().keyboard.keyPress(keyboardHandle(), virtualKey, count); });
}

extern "C" int WINAPI KeyPress(int virtualKey, int count) {
    return KinsetKbKeyPress(virtualKey, count);
}

extern "C" int WINAPI KinsetKbKeyDown(int virtualKey, int count) {
    return guarded([&] { return lib().keyboard.keyDown(keyboardHandle(), virtualKey, count); });
}

extern "C" int WINAPI KeyDown(int virtualKey, int count) {
    return KinsetKbKeyDown(virtualKey, count);
}

extern "C" int WINAPI KinsetKbKeyUp(int virtualKey, int count) {
    return guarded([&] { return lib().keyboard.keyUp(keyboardHandle(), virtualKey, count); });
}

extern "C" int WINAPI KeyUp(int virtualKey, int count) {
    return KinsetKbKeyUp(virtualKey, count);
}

extern "C" int WINAPI VKSendKeyEx_KB(HANDLE device, const KinsetKeyEx* key) {
    if (key == nullptr) {
        return 0;
    }
    return guarded([&] {
        std::uint16_t flags = 0;
        const std::uint16_t code = makeCodeOf(key, &flags);
        return lib().keyboard.winMakeCodeSingle(toDevice(device), code, flags & kKeyBreak);
    });
}

extern "C" int WINAPI VKSendWinMakeCodeSingle_KB(HANDLE device, unsigned short winMakeCode, int state) {
    return guarded([&] { return lib().keyboard.winMakeCodeSingle(toDevice(device), winMakeCode, state); });
}

extern "C" int WINAPI VKSendWinMakeCodeAsync_KB(HANDLE device, const unsigned short* winMakeCodes, int count) {
    return guarded([&] { return lib().keyboard.winMakeCodesAsync(toDevice(device), winMakeCodes, count); });
}

extern "C" int WINAPI VKSendWinMakeCodeSync_KB(HANDLE device, const unsigned short* winMakeCodes, int count) {
    return guarded([&] { return lib().keyboard.winMakeCodesSync(toDevice(device), winMakeCodes, count); });
}

extern "C" int WINAPI VKSendAkeysSingle_KB(HANDLE device, unsigned char akey, int state) {
    return guarded([&] { return lib().keyboard.akeySingle(toDevice(device), akey, state); });
}

extern "C" int WINAPI VKSendAkeysAsync_KB(HANDLE device, const unsigned char* akeys, int count) {
    return guarded([&] { return lib().keyboard.akeysAsync(toDevice(device), akeys, count); });
}

extern "C" int WINAPI VKSendAkeysSync_KB(HANDLE device, const unsigned char* akeys, int count) {
    return guarded([&] { return lib().keyboard.akeysSync(toDevice(device), akeys, count); });
}

extern "C" int WINAPI VKSendAkeysSeq_KB(HANDLE device, const unsigned char* text, int count) {
    return guarded([&] { return lib().keyboard.typeText(toDevice(device), text, count); });
}

extern "C" int WINAPI VKSendMsVirtualKeySingle_KB(HANDLE device, unsigned char virtualKey, int state) {
    return guarded([&] { return lib().keyboard.virtualKeySingle(toDevice(device), virtualKey, state); });
}

extern "C" int WINAPI VKSendMsVirtualKeyAsync_KB(HANDLE device, const unsigned char* virtualKeys, int count) {
    return guarded([&] { return lib().keyboard.virtualKeysAsync(toDevice(device), virtualKeys, count); });
}

extern "C" int WINAPI VKSendMsVirtualKeySync_KB(HANDLE device, const unsigned char* virtualKeys, int count) {
    return guarded([&] { return lib().keyboard.virtualKeysSync(toDevice(device), virtualKeys, count); });
}

// ---- Key names -----------------------------------------------------------

extern "C" int WINAPI AppKbWinMakeCodeAndStatus22String(unsigned short winMakeCode, unsigned int status,
                                                        wchar_t* buffer, unsigned short size) {
    return writeKeyName(winMakeCode, status, kbtext::asU16(buffer), size) ? 1 : 0;
}

extern "C" int WINAPI AppKbVkSendKeyAndStatus2String(const KinsetKeyEx* key, unsigned int status, wchar_t* buffer,
                                                     unsigned short size) {
    if (key == nullptr) {
        return 0;
    }
    std::uint16_t flags = 0;
    const std::uint16_t code = makeCodeOf(key, &flags);
    return writeKeyName(code, status, kbtext::asU16(buffer), size) ? 1 : 0;
}

// ---- Mouse -----------------------------------------------------------------

extern "C" int WINAPI KinsetMuInit(void) {
    return guarded([] { return lib().sides.mouse.init(lib().system); });
}

extern "C" int WINAPI KinsetMuEnd(void) {
    return guarded([] {
        lib().sides.mouse.end(lib().system);
        return 1;
    });
}

extern "C" int WINAPI KinsetMuGetHandle(HANDLE* handle) {
    return storeHandle(handle, mouseHandle());
}

extern "C" int WINAPI KinsetMuSetHandle(HANDLE handle) {
    lib().sides.mouse.setHandle(toDevice(handle));
    return 1;
}

extern "C" int WINAPI SetMuMakeType(int makeType) {
    return lib().mouse.setMakeType(makeType) ? 1 : 0;
}

extern "C" int WINAPI VKSendKeyAction_MU(HANDLE device, const KinsetMouseAction* action) {
    if (action == nullptr) {
        return 0;
    }
    return guarded([&] { return lib().mouse.action(toDevice(device), decodeMouseAction(bytesOf(action))); });
}

extern "C" int WINAPI VKSendKeyEx_MU(HANDLE device, const KinsetMouseRecord* record) {
    if (record == nullptr) {
        return 0;
    }
    return guarded([&] { return lib().mouse.sendRecord(toDevice(device), decodeMouseRecord(bytesOf(record))); });
}

extern "C" int WINAPI KinsetMuLeftClick(int count) {
    return guarded([&] { return repeatClick(count, kLeftButton, 1); });
}

extern "C" int WINAPI LeftClick(int count) {
    return KinsetMuLeftClick(count);
}

extern "C" int WINAPI KinsetMuRightClick(int count) {
    return guarded([&] { return repeatClick(count, kRightButton, 1); });
}

extern "C" int WINAPI RightClick(int count) {
    return KinsetMuRightClick(count);
}

extern "C" int WINAPI KinsetMuMiddleClick(int count) {
    return guarded([&] { return repeatClick(count, kMiddleButton, 1); });
}

extern "C" int WINAPI MiddleClick(int count) {
    return KinsetMuMiddleClick(count);
}

extern "C" int WINAPI KinsetMuLeftDoubleClick(int count) {
    return guarded([&] { return repeatClick(count, kLeftButton, 2); });
}

extern "C" int WINAPI LeftDoubleClick(int count) {
    return KinsetMuLeftDoubleClick(count);
}

extern "C" int WINAPI KinsetMuLeftDown(int count) {
    return guarded([&] { return repeatRaw(count, kLeftDown); });
}

extern "C" int WINAPI LeftDown(int count) {
    return KinsetMuLeftDown(count);
}

extern "C" int WINAPI KinsetMuLeftUp(int count) {
    return guarded([&] { return repeatRaw(count, kLeftUp); });
}

extern "C" int WINAPI LeftUp(int count) {
    return KinsetMuLeftUp(count);
}

extern "C" int WINAPI KinsetMuRightDown(int count) {
    return guarded([&] { return repeatRaw(count, kRightDown); });
}

extern "C" int WINAPI RightDown(int count) {
    return KinsetMuRightDown(count);
}

extern "C" int WINAPI KinsetMuRightUp(int count) {
    return guarded([&] { return repeatRaw(count, kRightUp); });
}

extern "C" int WINAPI RightUp(int count) {
    return KinsetMuRightUp(count);
}

extern "C" int WINAPI KinsetMuMoveTo(int x, int y) {
    return guarded([&] { return lib().mouse.move(mouseHandle(), kMoveAccelerated, true, x, y); });
}

extern "C" int WINAPI MoveTo(int x, int y) {
    return KinsetMuMoveTo(x, y);
}

extern "C" int WINAPI KinsetMuMoveR(int dx, int dy) {
    return guarded([&] { return lib().mouse.move(mouseHandle(), kMoveAccelerated, false, dx, dy); });
}

extern "C" int WINAPI MoveR(int dx, int dy) {
    return KinsetMuMoveR(dx, dy);
}

extern "C" int WINAPI KinsetMuMouseWheel(int notches) {
    return guarded([&] { return lib().mouse.wheel(mouseHandle(), static_cast<std::int16_t>(notches)); });
}

extern "C" int WINAPI MouseWheel(int notches) {
    return KinsetMuMouseWheel(notches);
}

// ---- Driver service and device ------------------------------------------

extern "C" int WINAPI KmdDriverInstall(const wchar_t* driverPath, SC_HANDLE* service) {
    return installDriverService(driverPath, service);
}

extern "C" int WINAPI KmdDriverRemove(SC_HANDLE service) {
    return removeDriverService(service);
}

extern "C" int WINAPI DriverDeviceOpen(const wchar_t* devicePath, HANDLE* handle) {
    if (devicePath == nullptr || handle == nullptr) {
        return 0;
    }
    HANDLE h = openDevice(devicePath);
    if (h == INVALID_HANDLE_VALUE) {
        return 0;
    }
    *handle = h;
    return 1;
}

extern "C" int WINAPI DriverDeviceClose(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    return CloseHandle(handle) ? 1 : 0;
}
