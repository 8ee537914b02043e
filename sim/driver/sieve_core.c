#include "sieve_core.h"

#include <string.h>

static uint16_t rd16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
static uint32_t rd32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static void wr16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static const uint32_t kVendor[KBS_DEV_COUNT] = {KB_KEYBOARD_VENDOR, KB_KEYPAD_VENDOR, KB_KEYPAD_VENDOR};
static const uint32_t kProduct[KBS_DEV_COUNT] = {KB_KEYBOARD_PRODUCT, KB_KEYPAD_0E_PRODUCT, KB_KEYPAD_16_PRODUCT};

void kbs_core_init(KbsCore* core) {
    memset(core, 0, sizeof *core);
    core->attached[KBS_DEV_KEYBOARD] = 1;
    core->attached[KBS_DEV_KEYPAD_0E] = 1;
}

static void release(const KbsOps* ops, void* event) {
    if (event) ops->release(event);
}

void kbs_core_reset(KbsCore* core, const KbsOps* ops) {
    for (int d = 0; d < KBS_DEV_COUNT; ++d) {
        kbs_core_remove_table(core, ops, d);
        for (int s = 0; s < KBS_ATTACH_SLOTS; ++s) release(ops, core->attach[d][s].event);
    }
    memset(core, 0, offsetof(KbsCore, relayOn));
    core->attached[KBS_DEV_KEYBOARD] = 1;
    core->attached[KBS_DEV_KEYPAD_0E] = 1;
}

int kbs_selector_device(const uint8_t* selector, size_t length) {
    if (!selector || length != KBS_SELECTOR_SIZE) return -1;
    if (rd32(selector) != 2 || rd32(selector + 12) != 0) return -1;
    for (int d = 0; d < KBS_DEV_COUNT; ++d)
        if (rd32(selector + 4) == kVendor[d] && rd32(selector + 8) == kProduct[d]) return d;
    return -1;
}

uint32_t kbs_device_records(int device) {
    if (device == KBS_DEV_KEYBOARD) return KBS_KEYBOARD_RECORDS;
    if (device == KBS_DEV_KEYPAD_0E || device == KBS_DEV_KEYPAD_16) return KBS_KEYPAD_RECORDS;
    return 0;
}

uint32_t kbs_table_check(int device, const uint8_t* table, size_t length) {
    uint32_t records = kbs_device_records(device);
    if (records == 0 || !table || length != (size_t)records * KBS_RECORD_SIZE) return 0;
    for (uint32_t i = 0; i < records; ++i) {
        const uint8_t* r = table + (size_t)i * KBS_RECORD_SIZE;
        if (r[KBS_REC_HANDLER] > 1) return 0;
        if (r[KBS_REC_HANDLER] == 0 && r[KBS_REC_ACTION] > 2) return 0;
    }
    return records;
}

int kbs_record_needs_event(const uint8_t* table, uint32_t i) {
    return table[(size_t)i * KBS_RECORD_SIZE + KBS_REC_HANDLER] == 1;
}

int64_t kbs_record_event_value(const uint8_t* table, uint32_t i) {
    const uint8_t* p = table + (size_t)i * KBS_RECORD_SIZE + KBS_REC_EVENT;
    uint64_t v = (uint64_t)rd32(p) | ((uint64_t)rd32(p + 4) << 32);
    return (int64_t)v;
}

void kbs_core_remove_table(KbsCore* core, const KbsOps* ops, int device) {
    KbsTable* t = &core->tables[device];
    for (uint32_t i = 0; i < KBS_MAX_RECORDS; ++i) {
        release(ops, t->events[i]);
        t->events[i] = NULL;
    }
    t->records = 0;
    t->owner = NULL;
}

void kbs_core_set_table(KbsCore* core, const KbsOps* ops, int device, const uint8_t* table,
                        uint32_t records, void* const* events, const void* owner) {
    kbs_core_remove_table(core, ops, device);
    KbsTable* t = &core->tables[device];
    memcpy(t->bytes, table, (size_t)records * KBS_RECORD_SIZE);
    for (uint32_t i = 0; i < records; ++i) t->events[i] = events[i];
    t->records = records;
    t->owner = owner;
}

static void log_append(KbsCore* core, uint8_t origin, uint8_t kind, const uint8_t* record) {
    if (core->logCount == KBS_LOG_CAPACITY) {
        /* Keep the newest input: the oldest entry goes and is counted. */
        core->logHead = (core->logHead + 1) % KBS_LOG_CAPACITY;
        --core->logCount;
        ++core->logLost;
    }
    uint8_t* e = core->log[(core->logHead + core->logCount) % KBS_LOG_CAPACITY];
    e[0] = origin;
    e[1] = kind;
    e[2] = e[3] = 0;
    memcpy(e + 4, record, KBS_INJECT_SIZE);
    ++core->logCount;
    if (!core->relayOn) return;
    if (core->relayCount == KBS_RELAY_CAPACITY) {
        core->relayHead = (core->relayHead + 1) % KBS_RELAY_CAPACITY;
        --core->relayCount;
        ++core->relayLost;
    }
    memcpy(core->relay[(core->relayHead + core->relayCount) % KBS_RELAY_CAPACITY], e, KBS_LOG_ENTRY_SIZE);
    ++core->relayCount;
}

static void log_key(KbsCore* core, uint8_t origin, uint16_t scan, uint16_t flags) {
    uint8_t rec[KBS_INJECT_SIZE];
    memset(rec, 0, sizeof rec);
    wr16(rec, scan);
    wr16(rec + 2, flags);
    log_append(core, origin, KBS_KIND_KEY, rec);
}

enum KbsOutcome kbs_core_key(KbsCore* core, const KbsOps* ops, int device, uint16_t scan,
                             uint16_t flags) {
    const KbsTable* t = &core->tables[device];
    for (uint32_t i = 0; i < t->records; ++i) {
        const uint8_t* r = t->bytes + (size_t)i * KBS_RECORD_SIZE;
        if (rd16(r + KBS_REC_SCAN) != scan || rd16(r + KBS_REC_FLAGS) != flags) continue;
        if (r[KBS_REC_HANDLER] == 1) {
            if (t->events[i]) ops->signal(t->events[i]);
            return KBS_SIGNALLED;
        }
        switch (r[KBS_REC_ACTION]) {
        case 1:
            log_key(core, KBS_ORIGIN_PHYSICAL, rd16(r + KBS_REC_TARGET_SCAN), rd16(r + KBS_REC_TARGET_FLAGS));
            return KBS_REPLACED;
        case 2:
            return KBS_SWALLOWED;
        default:
            break;
        }
        break;
    }
    log_key(core, KBS_ORIGIN_PHYSICAL, scan, flags);
    return KBS_PASSED;
}

int kbs_inject_is_key(const uint8_t* record) {
    if (rd16(record) == 0) return 0;
    for (int i = 4; i < KBS_INJECT_SIZE; ++i)
        if (record[i] != 0) return 0;
    return 1;
}

void kbs_core_inject(KbsCore* core, const uint8_t* record) {
    log_append(core, KBS_ORIGIN_INJECTED, kbs_inject_is_key(record) ? KBS_KIND_KEY : KBS_KIND_MOUSE,
               record);
}

uint32_t kbs_core_read_log(KbsCore* core, uint8_t* out, uint32_t room, int remove) {
    uint32_t n = core->logCount < room ? core->logCount : room;
    for (uint32_t i = 0; i < n; ++i)
        memcpy(out + (size_t)i * KBS_LOG_ENTRY_SIZE, core->log[(core->logHead + i) % KBS_LOG_CAPACITY],
               KBS_LOG_ENTRY_SIZE);
    if (remove) {
        core->logHead = (core->logHead + n) % KBS_LOG_CAPACITY;
        core->logCount -= n;
        if (core->logCount == 0) core->logLost = 0;
    }
    return n;
}

int kbs_core_register_attach(KbsCore* core, const KbsOps* ops, int device, void* event,
                             const void* owner) {
    KbsAttach* slots = core->attach[device];
    KbsAttach* free_slot = NULL;
    for (int s = 0; s < KBS_ATTACH_SLOTS; ++s) {
        if (slots[s].event && slots[s].owner == owner) {
            release(ops, slots[s].event);
            slots[s].event = event;
            return 1;
        }
        if (!slots[s].event && !free_slot) free_slot = &slots[s];
    }
    if (!free_slot) return 0;
    free_slot->owner = owner;
    free_slot->event = event;
    return 1;
}

int kbs_core_plug(KbsCore* core, const KbsOps* ops, int device, int attached) {
    uint8_t state = attached ? 1 : 0;
    if (core->attached[device] == state) return 0;
    core->attached[device] = state;
    for (int s = 0; s < KBS_ATTACH_SLOTS; ++s)
        if (core->attach[device][s].event) ops->signal(core->attach[device][s].event);
    return 1;
}

void kbs_core_signal_attach(KbsCore* core, const KbsOps* ops) {
    for (int d = 0; d < KBS_DEV_COUNT; ++d)
        for (int s = 0; s < KBS_ATTACH_SLOTS; ++s)
            if (core->attach[d][s].event) ops->signal(core->attach[d][s].event);
}

void kbs_core_drop_owner(KbsCore* core, const KbsOps* ops, const void* owner) {
    for (int d = 0; d < KBS_DEV_COUNT; ++d) {
        /* A program that ends without withdrawing its table must not leave keys swallowed. */
        if (core->tables[d].records && core->tables[d].owner == owner) kbs_core_remove_table(core, ops, d);
        for (int s = 0; s < KBS_ATTACH_SLOTS; ++s) {
            KbsAttach* a = &core->attach[d][s];
            if (a->event && a->owner == owner) {
                release(ops, a->event);
                a->event = NULL;
                a->owner = NULL;
            }
        }
    }
}

void kbs_core_relay_start(KbsCore* core) {
    kbs_core_relay_clear(core);
    core->relayOn = 1;
}

void kbs_core_relay_stop(KbsCore* core) { core->relayOn = 0; }

void kbs_core_relay_clear(KbsCore* core) {
    core->relayOn = 0;
    core->relayHead = core->relayCount = core->relayLost = 0;
}

uint32_t kbs_core_relay_take(KbsCore* core, uint8_t* out, uint32_t room) {
    uint32_t n = core->relayCount < room ? core->relayCount : room;
    for (uint32_t i = 0; i < n; ++i)
        memcpy(out + (size_t)i * KBS_LOG_ENTRY_SIZE, core->relay[(core->relayHead + i) % KBS_RELAY_CAPACITY],
               KBS_LOG_ENTRY_SIZE);
    core->relayHead = (core->relayHead + n) % KBS_RELAY_CAPACITY;
    core->relayCount -= n;
    if (core->relayCount == 0) core->relayLost = 0;
    return n;
}

int kbs_core_push_report(KbsCore* core, const uint8_t* data, size_t length) {
    if (length < 2 || length > KBS_REPORT_SIZE || core->reportCount == KBS_REPORT_QUEUE) return 0;
    uint8_t* r = core->reports[(core->reportHead + core->reportCount) % KBS_REPORT_QUEUE];
    memset(r, 0, KBS_REPORT_SIZE);
    memcpy(r, data, length);
    ++core->reportCount;
    return 1;
}

int kbs_core_pop_report(KbsCore* core, uint8_t* out) {
    if (core->reportCount == 0) return 0;
    memcpy(out, core->reports[core->reportHead], KBS_REPORT_SIZE);
    core->reportHead = (core->reportHead + 1) % KBS_REPORT_QUEUE;
    --core->reportCount;
    return 1;
}
