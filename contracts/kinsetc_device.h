/* The keyboard filter driver's control device, as the program, the injection
 * library and anything standing in for the driver see it: names, control codes,
 * device selection and the byte layouts of key tables and injected records.
 *
 * Plain C without Windows headers: the kernel-mode stand-in, user-mode C++ and
 * the host build all include it. Integers are little-endian; every request is
 * METHOD_BUFFERED on device type 0x22.
 *
 *   KB_CTL_SELECT_DEVICE  in  16-byte selector {u32 2; u32 vendor; u32 product; u32 0}
 *   KB_CTL_INSTALL_TABLE  in  the selected device's key table, or nothing to remove it;
 *                             handler-1 records carry event handles
 *   KB_CTL_ATTACH_EVENT   in  i64 event handle; out i32 state (above 0: attached)
 *   KB_CTL_INJECT         in  16-byte keyboard or mouse record
 */
#ifndef KB_CONTRACTS_KINSETC_DEVICE_H
#define KB_CONTRACTS_KINSETC_DEVICE_H

#define KB_CONTROL_DEVICE_PATH_W L"\\\\.\\KbSieve_PX3_Plexor3"
#define KB_CONTROL_NT_DEVICE_NAME_W L"\\Device\\KbSieve_PX3_Plexor3"
#define KB_CONTROL_DOS_DEVICE_NAME_W L"\\DosDevices\\KbSieve_PX3_Plexor3"
/* The driver's service and file name; the injection library's installer falls back to it. */
#define KB_DRIVER_SERVICE_NAME_W L"KinsetC"
#define KB_DRIVER_SERVICE_NAME_U16 u"KinsetC"
#define KB_DRIVER_FILE_NAME_W L"KinsetC.sys"

#define KB_CTL_INJECT 0x222008u
#define KB_CTL_INSTALL_TABLE 0x22210Cu
#define KB_CTL_ATTACH_EVENT 0x222110u
#define KB_CTL_SELECT_DEVICE 0x222128u

/* Device selection: the keyboard and the two keypad models. */
#define KB_SELECTOR_SIZE 16
#define KB_SELECTOR_KIND 2u
#define KB_KEYBOARD_VENDOR 0x04D9u
#define KB_KEYBOARD_PRODUCT 0x2819u
#define KB_KEYPAD_VENDOR 0x1C4Fu
#define KB_KEYPAD_0E_PRODUCT 0x000Eu
#define KB_KEYPAD_16_PRODUCT 0x0016u

/* Key tables: press records first, then release records, 24 bytes each. */
#define KB_KEY_RECORD_SIZE 24
#define KB_KEYBOARD_RECORDS 174
#define KB_KEYPAD_RECORDS 46
#define KB_REC_HANDLER 0      /* u8: 1 = signal the record's event */
#define KB_REC_ACTION 1       /* u8: KB_ACTION_* */
#define KB_REC_SCAN 4         /* u16 */
#define KB_REC_FLAGS 6        /* u16 */
#define KB_REC_TARGET_SCAN 8  /* u16 */
#define KB_REC_TARGET_FLAGS 10 /* u16 */
#define KB_REC_EVENT 16       /* i64 event handle */
#define KB_ACTION_PASS 0
#define KB_ACTION_REPLACE 1
#define KB_ACTION_SWALLOW 2

/* Injected records (16 bytes). Keyboard: {u16 scan; u16 flags; 12 zero bytes}.
 * Mouse: {u16 unit; u16 flags; u16 button flags; u16 button data; i32 x; i32 y}. */
#define KB_INJECT_RECORD_SIZE 16
#define KB_KEY_BREAK 1u
#define KB_KEY_E0 2u
#define KB_KEY_E1 4u
#define KB_MOUSE_ABSOLUTE 1u

#endif
