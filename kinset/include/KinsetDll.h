/* KinsetDll.dll: synthetic keyboard and mouse input through the keyboard
 * filter driver's control device or the system's input calls, and the
 * driver's service. Every export is stdcall and returns a 32-bit int; the
 * exports named KinsetKb... and KinsetMu... (except the Get/SetHandle ones)
 * are also exported under their decorated names (_KinsetKbInit@0, ...).
 *
 * Look entry points up with GetProcAddress and type them from these
 * prototypes, e.g. decltype(&VKSendWinMakeCodeSingle_KB). */
#ifndef KINSETDLL_H
#define KINSETDLL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Driver-style key: set-1 make code; flags bit 0 break, bit 1 E0, bit 2 E1. */
typedef struct KinsetKeyEx {
    unsigned short makeCode;
    unsigned short flags;
} KinsetKeyEx;

/* Mouse action, 16 bytes. kind: 0 move, 1 button, 2 wheel.
 * style: move: 0 direct, 1 smooth, 2 accelerated (3-5 unsupported);
 *        button: 1 click, 0 raw flags; wheel: notches (signed).
 * target: move: 1 absolute, 0 relative; button: button bits when clicking
 *        (1 left, 2 right, 4 middle, 8 fourth, 0x10 fifth) or raw flags. */
typedef struct KinsetMouseAction {
    unsigned short kind;
    unsigned short unused;
    unsigned short style;
    unsigned short target;
    int x;
    int y;
} KinsetMouseAction;

/* Driver mouse record, 16 bytes: flags bit 0 absolute; buttonFlags 0x001 left
 * down ... 0x200 fifth up, 0x400 wheel; x and y 0 to 65536 across the screen. */
typedef struct KinsetMouseRecord {
    unsigned short unitId;
    unsigned short flags;
    unsigned short buttonFlags;
    short buttonData;
    int x;
    int y;
} KinsetMouseRecord;

/* Keyboard make types and mouse make types. */
#define KINSET_MAKE_DRIVER 0
#define KINSET_MAKE_SYSTEM_EVENT 1 /* keybd_event / mouse_event */
#define KINSET_MAKE_POST_MESSAGE 2
#define KINSET_MAKE_SEND_MESSAGE 3

/* Results of Init and the side inits when the control device cannot be opened. */
#define KINSET_KB_OPEN_FAILED (-8)
#define KINSET_MU_OPEN_FAILED (-9)

/* ---- Lifetime ---------------------------------------------------------- */
int WINAPI Init(void);
int WINAPI End(void);
int WINAPI KinsetKbInit(void);
int WINAPI KinsetKbEnd(void);
int WINAPI KinsetKbGetHandle(HANDLE* handle);
int WINAPI KinsetKbSetHandle(HANDLE handle);
int WINAPI SetKbMakeType(int makeType);

/* ---- Keystrokes (counts of lists: low byte; 0 = up to the terminating zero) */
int WINAPI KeyPress(int virtualKey, int count);
int WINAPI KinsetKbKeyPress(int virtualKey, int count);
int WINAPI KeyDown(int virtualKey, int count);
int WINAPI KinsetKbKeyDown(int virtualKey, int count);
int WINAPI KeyUp(int virtualKey, int count);
int WINAPI KinsetKbKeyUp(int virtualKey, int count);
int WINAPI VKSendKeyEx_KB(HANDLE device, const KinsetKeyEx* key);
int WINAPI VKSendWinMakeCodeSingle_KB(HANDLE device, unsigned short winMakeCode, int state);
int WINAPI VKSendWinMakeCodeAsync_KB(HANDLE device, const unsigned short* winMakeCodes, int count);
int WINAPI VKSendWinMakeCodeSync_KB(HANDLE device, const unsigned short* winMakeCodes, int count);
int WINAPI VKSendAkeysSingle_KB(HANDLE device, unsigned char akey, int state);
int WINAPI VKSendAkeysAsync_KB(HANDLE device, const unsigned char* akeys, int count);
int WINAPI VKSendAkeysSync_KB(HANDLE device, const unsigned char* akeys, int count);
int WINAPI VKSendAkeysSeq_KB(HANDLE device, const unsigned char* text, int count);
int WINAPI VKSendMsVirtualKeySingle_KB(HANDLE device, unsigned char virtualKey, int state);
int WINAPI VKSendMsVirtualKeyAsync_KB(HANDLE device, const unsigned char* virtualKeys, int count);
int WINAPI VKSendMsVirtualKeySync_KB(HANDLE device, const unsigned char* virtualKeys, int count);

/* ---- Key names (status: 0x02/0x20 Shift, 0x100 Num Lock, 0x200 Caps Lock;
 *      size in characters; 0 when the buffer is null or of size 0) ------- */
int WINAPI AppKbWinMakeCodeAndStatus22String(unsigned short winMakeCode, unsigned int status,
                                             wchar_t* buffer, unsigned short size);
int WINAPI AppKbVkSendKeyAndStatus2String(const KinsetKeyEx* key, unsigned int status,
                                          wchar_t* buffer, unsigned short size);

/* ---- Mouse -------------------------------------------------------------- */
int WINAPI KinsetMuInit(void);
int WINAPI KinsetMuEnd(void);
int WINAPI KinsetMuGetHandle(HANDLE* handle);
int WINAPI KinsetMuSetHandle(HANDLE handle);
int WINAPI SetMuMakeType(int makeType);
int WINAPI VKSendKeyAction_MU(HANDLE device, const KinsetMouseAction* action);
int WINAPI VKSendKeyEx_MU(HANDLE device, const KinsetMouseRecord* record);
int WINAPI LeftClick(int count);
int WINAPI KinsetMuLeftClick(int count);
int WINAPI RightClick(int count);
int WINAPI KinsetMuRightClick(int count);
int WINAPI MiddleClick(int count);
int WINAPI KinsetMuMiddleClick(int count);
int WINAPI LeftDoubleClick(int count);
int WINAPI KinsetMuLeftDoubleClick(int count);
int WINAPI LeftDown(int count);
int WINAPI KinsetMuLeftDown(int count);
int WINAPI LeftUp(int count);
int WINAPI KinsetMuLeftUp(int count);
int WINAPI RightDown(int count);
int WINAPI KinsetMuRightDown(int count);
int WINAPI RightUp(int count);
int WINAPI KinsetMuRightUp(int count);
int WINAPI MoveTo(int x, int y);
int WINAPI KinsetMuMoveTo(int x, int y);
int WINAPI MoveR(int dx, int dy);
int WINAPI KinsetMuMoveR(int dx, int dy);
int WINAPI MouseWheel(int notches);
int WINAPI KinsetMuMouseWheel(int notches);

/* ---- Driver service and device ----------------------------------------- */
int WINAPI KmdDriverInstall(const wchar_t* driverPath, SC_HANDLE* service);
int WINAPI KmdDriverRemove(SC_HANDLE service);
int WINAPI DriverDeviceOpen(const wchar_t* devicePath, HANDLE* handle);
int WINAPI DriverDeviceClose(HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif /* KINSETDLL_H */
