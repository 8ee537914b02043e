/* Control codes and byte layouts of the simulated keyboard's filter driver.
 *
 * Shared by the stand-in driver (kernel C), the stand-in Hidport.dll and kbsim.
 * The product's side of the device (names, codes, layouts) is the contract in
 * contracts/kinsetc_device.h; the KBS_ names below are the simulator's spelling of it.
 * No Windows headers: plain C, usable from C++ and from the host build.
 *
 * Product codes:
 *   KBS_IOCTL_SELECT   in  16-byte selector {u32 2; u32 vendor; u32 product; u32 0}
 *   KBS_IOCTL_TABLE    in  the selected device's key table (4176 or 1104 bytes), or nothing
 *                          to remove it; handler-1 records carry event handles
 *   KBS_IOCTL_ATTACH   in  i64 event handle; out i32 state (1 attached, 0 not)
 *   KBS_IOCTL_INJECT   in  16-byte keyboard or mouse record (see kbs_inject_is_key)
 *
 * Simulator-only codes (function numbers 0x900 and up, unused by the product):
 *   KBS_SIM_KEY        in  KbsSimKey (8 bytes); out optional u32 KbsOutcome
 *   KBS_SIM_PLUG       in  {u32 device; u32 attached 0/1}
 *   KBS_SIM_READ_LOG   in  optional u32 flags (bit 0: remove the returned entries);
 *                      out u32 count, u32 lost, then count entries of KBS_LOG_ENTRY_SIZE
 *   KBS_SIM_READ_TABLE in  u32 device; out u32 record count (0 = none), then the records
 *   KBS_SIM_QUEUE_REPORT in 2 to 8 bytes of report data (first 16 bits: key code)
 *   KBS_SIM_WAIT_REPORT  out 8 bytes: the oldest queued report (pends until one is queued)
 *   KBS_SIM_WRITE_STATUS in  2 status bytes
 *   KBS_SIM_READ_STATUS  out u32 present, then 2 status bytes (6 bytes)
 *   KBS_SIM_RESET      no payload: tables, log, reports, status, attach registrations and
 *                      plug states back to the start state (the relay is left as it is)
 *
 * The relay: one process at a time takes a copy of every output log entry, in order, and
 * replays it on the desktop as real input.
 *   KBS_SIM_RELAY_START  no payload: the calling handle becomes the relay (busy when another
 *                        handle is); entries are copied from then on
 *   KBS_SIM_RELAY_WAIT   relay handle only; out u32 count, u32 lost, u32 on, then count
 *                        entries of KBS_LOG_ENTRY_SIZE; pends while there is nothing to give and
 *                        the relay is on; on = 0 with count 0: turned off and drained
 *   KBS_SIM_RELAY_STOP   no payload: no more entries are copied; the relay drains and ends
 *   KBS_SIM_RELAY_STATE  out u32 state (KbsRelayState), u32 the relay's process id
 *
 *   KBS_SIM_TABLE_STAMP in u32 device; out u32 the table requests (installs and removals)
 *                      the device has taken since the driver started, u32 zero, i64 the
 *                      performance counter when the last one took effect (0 before any);
 *                      a reset does not set them back. Lets a benchmark time a table's
 *                      arrival without polling the table.
 */
#ifndef KBSIM_SIEVE_IOCTL_H
#define KBSIM_SIEVE_IOCTL_H

#include "contracts/kinsetc_device.h"

#define KBS_DEVICE_PATH_W KB_CONTROL_DEVICE_PATH_W
#define KBS_NT_DEVICE_NAME_W KB_CONTROL_NT_DEVICE_NAME_W
#define KBS_DOS_DEVICE_NAME_W KB_CONTROL_DOS_DEVICE_NAME_W
#define KBS_SERVICE_NAME_W KB_DRIVER_SERVICE_NAME_W
#define KBS_DRIVER_FILE_W KB_DRIVER_FILE_NAME_W

#define KBS_CTL(fn) (0x00220000u | ((unsigned)(fn) << 2))

#define KBS_IOCTL_INJECT KB_CTL_INJECT
#define KBS_IOCTL_TABLE KB_CTL_INSTALL_TABLE
#define KBS_IOCTL_ATTACH KB_CTL_ATTACH_EVENT
#define KBS_IOCTL_SELECT KB_CTL_SELECT_DEVICE

#define KBS_SIM_KEY KBS_CTL(0x900)
#define KBS_SIM_PLUG KBS_CTL(0x901)
#define KBS_SIM_READ_LOG KBS_CTL(0x902)
#define KBS_SIM_READ_TABLE KBS_CTL(0x903)
#define KBS_SIM_QUEUE_REPORT KBS_CTL(0x904)
#define KBS_SIM_WAIT_REPORT KBS_CTL(0x905)
#define KBS_SIM_WRITE_STATUS KBS_CTL(0x906)
#define KBS_SIM_READ_STATUS KBS_CTL(0x907)
#define KBS_SIM_RESET KBS_CTL(0x908)
#define KBS_SIM_RELAY_START KBS_CTL(0x909)
#define KBS_SIM_RELAY_WAIT KBS_CTL(0x90A)
#define KBS_SIM_RELAY_STOP KBS_CTL(0x90B)
#define KBS_SIM_RELAY_STATE KBS_CTL(0x90C)
#define KBS_SIM_TABLE_STAMP KBS_CTL(0x90D)
#define KBS_TABLE_STAMP_SIZE 16

/* Devices by index, in this order everywhere. */
enum KbsDevice { KBS_DEV_KEYBOARD = 0, KBS_DEV_KEYPAD_0E = 1, KBS_DEV_KEYPAD_16 = 2, KBS_DEV_COUNT = 3 };

#define KBS_SELECTOR_SIZE KB_SELECTOR_SIZE
#define KBS_RECORD_SIZE KB_KEY_RECORD_SIZE
#define KBS_KEYBOARD_RECORDS KB_KEYBOARD_RECORDS
#define KBS_KEYPAD_RECORDS KB_KEYPAD_RECORDS
#define KBS_MAX_RECORDS KBS_KEYBOARD_RECORDS

/* Key record offsets (24 bytes). */
#define KBS_REC_HANDLER KB_REC_HANDLER
#define KBS_REC_ACTION KB_REC_ACTION
#define KBS_REC_SCAN KB_REC_SCAN
#define KBS_REC_FLAGS KB_REC_FLAGS
#define KBS_REC_TARGET_SCAN KB_REC_TARGET_SCAN
#define KBS_REC_TARGET_FLAGS KB_REC_TARGET_FLAGS
#define KBS_REC_EVENT KB_REC_EVENT

/* Key flags of a keyboard input record. */
#define KBS_KEY_BREAK KB_KEY_BREAK
#define KBS_KEY_E0 KB_KEY_E0
#define KBS_KEY_E1 KB_KEY_E1

#define KBS_INJECT_SIZE KB_INJECT_RECORD_SIZE
#define KBS_SIM_KEY_SIZE 8 /* {u32 device; u16 scan; u16 flags} */
#define KBS_SIM_PLUG_SIZE 8
#define KBS_REPORT_SIZE 8
#define KBS_STATUS_SIZE 2

/* What a simulated physical key came to. */
enum KbsOutcome { KBS_PASSED = 0, KBS_REPLACED = 1, KBS_SWALLOWED = 2, KBS_SIGNALLED = 3 };

/* Output log entry (20 bytes): u8 origin (0 physical, 1 injected); u8 kind (0 key,
 * 1 mouse); u16 zero; then the 16-byte record as it reached the system:
 * key   {u16 scan; u16 flags; 12 zero bytes}
 * mouse {u16 unit; u16 flags; u16 button flags; u16 button data; i32 x; i32 y}. */
#define KBS_LOG_ENTRY_SIZE 20
#define KBS_LOG_HEADER_SIZE 8
#define KBS_LOG_CAPACITY 4096
enum KbsOrigin { KBS_ORIGIN_PHYSICAL = 0, KBS_ORIGIN_INJECTED = 1 };
enum KbsKind { KBS_KIND_KEY = 0, KBS_KIND_MOUSE = 1 };

#define KBS_REPORT_QUEUE 64

#define KBS_RELAY_HEADER_SIZE 12
#define KBS_RELAY_CAPACITY 4096
enum KbsRelayState { KBS_RELAY_OFF = 0, KBS_RELAY_ON = 1, KBS_RELAY_STOPPING = 2 };

#endif
