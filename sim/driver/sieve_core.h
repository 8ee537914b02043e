/* State of the simulated keyboard's filter driver: key tables, key events, the output
 * log, attach registrations, queued HID reports and the status bytes.
 *
 * Plain C with no Windows headers so that the same code runs in the kernel driver and in
 * host unit tests. Not thread-safe: the driver calls it under its spin lock. Event objects
 * are opaque; the caller references them before handing them over, and the core gives
 * each one back exactly once through ops->release (when replaced, removed or reset). */
#ifndef KBSIM_SIEVE_CORE_H
#define KBSIM_SIEVE_CORE_H

#include <stddef.h>
#include <stdint.h>

#include "kbsim/sieve_ioctl.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KBS_ATTACH_SLOTS 8

typedef struct KbsOps {
    void (*signal)(void* event);
    void (*release)(void* event);
} KbsOps;

typedef struct KbsTable {
    uint32_t records; /* 0 = no table */
    const void* owner;
    uint8_t bytes[KBS_MAX_RECORDS * KBS_RECORD_SIZE];
    void* events[KBS_MAX_RECORDS];
} KbsTable;

typedef struct KbsAttach {
    const void* owner;
    void* event;
} KbsAttach;

typedef struct KbsCore {
    KbsTable tables[KBS_DEV_COUNT];
    uint8_t attached[KBS_DEV_COUNT];
    KbsAttach attach[KBS_DEV_COUNT][KBS_ATTACH_SLOTS];
    uint8_t log[KBS_LOG_CAPACITY][KBS_LOG_ENTRY_SIZE];
    uint32_t logHead;  /* index of the oldest entry */
    uint32_t logCount;
    uint32_t logLost;  /* entries dropped because the log was full */
    uint8_t reports[KBS_REPORT_QUEUE][KBS_REPORT_SIZE];
    uint32_t reportHead;
    uint32_t reportCount;
    uint8_t status[KBS_STATUS_SIZE];
    uint8_t hasStatus;
    /* Last: a reset keeps the relay and what it has still to give. */
    uint8_t relayOn;
    uint32_t relayHead;
    uint32_t relayCount;
    uint32_t relayLost;
    uint8_t relay[KBS_RELAY_CAPACITY][KBS_LOG_ENTRY_SIZE];
} KbsCore;

/* Start state: no tables, empty log and queue, keyboard and first keypad attached. */
void kbs_core_init(KbsCore* core);
/* Releases every event and returns to the start state; the relay stays as it is. */
void kbs_core_reset(KbsCore* core, const KbsOps* ops);

/* Device index of a 16-byte selector, or -1 for a wrong size or an unknown device. */
int kbs_selector_device(const uint8_t* selector, size_t length);
uint32_t kbs_device_records(int device);

/* Checks a table for a device: the exact size and known handler/action values. Returns
 * the record count, or 0 when the table is refused. */
uint32_t kbs_table_check(int device, const uint8_t* table, size_t length);
/* Whether record i of a checked table needs an event (handler 1). */
int kbs_record_needs_event(const uint8_t* table, uint32_t i);
/* The 64-bit event value carried by record i. */
int64_t kbs_record_event_value(const uint8_t* table, uint32_t i);

/* Installs a checked table; events[i] is the referenced event of each handler-1 record
 * (null otherwise). Ownership of the events passes to the core. The old table's events
 * are released. */
void kbs_core_set_table(KbsCore* core, const KbsOps* ops, int device, const uint8_t* table,
                        uint32_t records, void* const* events, const void* owner);
void kbs_core_remove_table(KbsCore* core, const KbsOps* ops, int device);

/* A physical key of a device through its table; what reaches the system is logged. */
enum KbsOutcome kbs_core_key(KbsCore* core, const KbsOps* ops, int device, uint16_t scan,
                             uint16_t flags);

/* Whether a 16-byte injected record is a keyboard record (scan code at 0 not zero and
 * bytes 4 to 15 zero) rather than a mouse record. */
int kbs_inject_is_key(const uint8_t* record);
void kbs_core_inject(KbsCore* core, const uint8_t* record);

/* Copies up to `room` oldest entries to out; with remove set they leave the log.
 * Returns the number copied. */
uint32_t kbs_core_read_log(KbsCore* core, uint8_t* out, uint32_t room, int remove);

/* Registers an event for a device's attach changes, replacing the owner's earlier one.
 * Returns 0 when every slot is taken (the event is then not taken over). */
int kbs_core_register_attach(KbsCore* core, const KbsOps* ops, int device, void* event,
                             const void* owner);
/* Sets a device's attach state; signals its registered events when the state changes.
 * Returns 1 when it changed. */
int kbs_core_plug(KbsCore* core, const KbsOps* ops, int device, int attached);

/* Signals every registered attach event, as when the devices go away. */
void kbs_core_signal_attach(KbsCore* core, const KbsOps* ops);

/* Drops the tables and attach registrations made through a handle that is closing. */
void kbs_core_drop_owner(KbsCore* core, const KbsOps* ops, const void* owner);

/* The relay's copy of the log: from start on, every entry also lands in it until stop.
 * Take moves up to `room` oldest entries to out and returns how many. */
void kbs_core_relay_start(KbsCore* core);
void kbs_core_relay_stop(KbsCore* core);
void kbs_core_relay_clear(KbsCore* core);
uint32_t kbs_core_relay_take(KbsCore* core, uint8_t* out, uint32_t room);

/* Report queue: push returns 0 when full; pop returns 0 when empty. */
int kbs_core_push_report(KbsCore* core, const uint8_t* data, size_t length);
int kbs_core_pop_report(KbsCore* core, uint8_t* out);

#ifdef __cplusplus
}
#endif

#endif
