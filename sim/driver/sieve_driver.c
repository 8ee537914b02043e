/* Kernel-mode stand-in for the keyboard filter driver: the control device, the product's
 * control codes and the simulator's own. The state lives in sieve_core.c; this file does
 * the I/O, the locking and the event object references. */
#include <ntifs.h>

#include "sieve_core.h"

#define KBS_POOL_TAG 0x6D73624Bu /* "Kbsm" */

static KbsCore g_core;
static KSPIN_LOCK g_lock;
static LIST_ENTRY g_waiters; /* pending KBS_SIM_WAIT_REPORT requests */
static PDEVICE_OBJECT g_device;
/* The relay: the handle that took it, its process and its one pending wait. */
static PFILE_OBJECT g_relayOwner;
static HANDLE g_relayProcess;
static PIRP g_relayWaiter;
/* Per device: the table requests taken and the performance counter at the last one. */
static uint32_t g_tableRequests[KBS_DEV_COUNT];
static LONGLONG g_tableRequestAt[KBS_DEV_COUNT];
/* Set while the driver unloads: every request fails from then on. */
static int g_gone;

static void signal_event(void* event) { KeSetEvent((PKEVENT)event, IO_NO_INCREMENT, FALSE); }
static void release_event(void* event) { ObDereferenceObject(event); }
static const KbsOps g_ops = {signal_event, release_event};

static uint32_t rd32(const UCHAR* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static void wr32(UCHAR* p, uint32_t v) {
    p[0] = (UCHAR)v;
    p[1] = (UCHAR)(v >> 8);
    p[2] = (UCHAR)(v >> 16);
    p[3] = (UCHAR)(v >> 24);
}

/* The caller's process, opened once per request for the duplicate-handle road. */
typedef struct CallerProcess {
    HANDLE handle;
} CallerProcess;

static void caller_close(CallerProcess* caller) {
    if (caller->handle) ZwClose(caller->handle);
    caller->handle = NULL;
}

/* References the user-mode event behind a handle value of the calling process. Windows
 * allows a UserMode reference; Wine does not, so there the handle is duplicated out of the
 * caller's process and referenced as a kernel handle. */
static NTSTATUS reference_event(CallerProcess* caller, int64_t value, PKEVENT* out) {
    HANDLE user = (HANDLE)(LONG_PTR)value;
    PVOID object = NULL;
    *out = NULL;
    if (value == 0) return STATUS_INVALID_HANDLE;
    NTSTATUS st = ObReferenceObjectByHandle(user, EVENT_MODIFY_STATE, (POBJECT_TYPE)ExEventObjectType,
                                            UserMode, &object, NULL);
    if (NT_SUCCESS(st)) {
        *out = (PKEVENT)object;
        return st;
    }
    if (!caller->handle) {
        OBJECT_ATTRIBUTES oa;
        CLIENT_ID cid;
        InitializeObjectAttributes(&oa, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
        cid.UniqueProcess = PsGetCurrentProcessId();
        cid.UniqueThread = NULL;
        st = ZwOpenProcess(&caller->handle, PROCESS_DUP_HANDLE, &oa, &cid);
        if (!NT_SUCCESS(st)) {
            caller->handle = NULL;
            return st;
        }
    }
    HANDLE kernel = NULL;
    st = ZwDuplicateObject(caller->handle, user, NtCurrentProcess(), &kernel, EVENT_MODIFY_STATE,
                           OBJ_KERNEL_HANDLE, 0);
    if (!NT_SUCCESS(st)) return st;
    st = ObReferenceObjectByHandle(kernel, EVENT_MODIFY_STATE, (POBJECT_TYPE)ExEventObjectType, KernelMode,
                                   &object, NULL);
    ZwClose(kernel);
    if (NT_SUCCESS(st)) *out = (PKEVENT)object;
    return NT_SUCCESS(st) ? st : STATUS_INVALID_HANDLE;
}

static int selected_device(PIO_STACK_LOCATION sp) {
    ULONG_PTR v = (ULONG_PTR)sp->FileObject->FsContext2;
    return v ? (int)v - 1 : -1;
}

/* Under the lock, as the table request takes effect. */
static void stamp_table_request(int dev) {
    ++g_tableRequests[dev];
    g_tableRequestAt[dev] = KeQueryPerformanceCounter(NULL).QuadPart;
}

static NTSTATUS do_table(PIO_STACK_LOCATION sp, const UCHAR* in, ULONG inLen) {
    int dev = selected_device(sp);
    KIRQL irql;
    if (dev < 0) return STATUS_INVALID_DEVICE_STATE;
    if (inLen == 0) {
        KeAcquireSpinLock(&g_lock, &irql);
        kbs_core_remove_table(&g_core, &g_ops, dev);
        stamp_table_request(dev);
        KeReleaseSpinLock(&g_lock, irql);
        return STATUS_SUCCESS;
    }
    uint32_t records = kbs_table_check(dev, in, inLen);
    if (records == 0) return STATUS_INVALID_PARAMETER;
    void** events = (void**)ExAllocatePoolWithTag(NonPagedPool, sizeof(void*) * records, KBS_POOL_TAG);
    if (!events) return STATUS_INSUFFICIENT_RESOURCES;
    CallerProcess caller = {NULL};
    NTSTATUS st = STATUS_SUCCESS;
    uint32_t i;
    for (i = 0; i < records; ++i) {
        events[i] = NULL;
        if (!kbs_record_needs_event(in, i)) continue;
        st = reference_event(&caller, kbs_record_event_value(in, i), (PKEVENT*)&events[i]);
        if (!NT_SUCCESS(st)) break;
    }
    caller_close(&caller);
    if (!NT_SUCCESS(st)) {
        for (uint32_t j = 0; j < i; ++j)
            if (events[j]) ObDereferenceObject(events[j]);
        ExFreePoolWithTag(events, KBS_POOL_TAG);
        return STATUS_INVALID_HANDLE;
    }
    KeAcquireSpinLock(&g_lock, &irql);
    kbs_core_set_table(&g_core, &g_ops, dev, in, records, events, sp->FileObject);
    stamp_table_request(dev);
    KeReleaseSpinLock(&g_lock, irql);
    ExFreePoolWithTag(events, KBS_POOL_TAG);
    return STATUS_SUCCESS;
}

static NTSTATUS do_attach(PIO_STACK_LOCATION sp, UCHAR* buf, ULONG inLen, ULONG outLen, ULONG_PTR* info) {
    int dev = selected_device(sp);
    if (dev < 0) return STATUS_INVALID_DEVICE_STATE;
    if (inLen != 8 || outLen < 4) return STATUS_INVALID_PARAMETER;
    int64_t value = (int64_t)((uint64_t)rd32(buf) | ((uint64_t)rd32(buf + 4) << 32));
    CallerProcess caller = {NULL};
    PKEVENT event = NULL;
    NTSTATUS st = reference_event(&caller, value, &event);
    caller_close(&caller);
    if (!NT_SUCCESS(st)) return STATUS_INVALID_HANDLE;
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    int ok = kbs_core_register_attach(&g_core, &g_ops, dev, event, sp->FileObject);
    uint32_t state = g_core.attached[dev];
    KeReleaseSpinLock(&g_lock, irql);
    if (!ok) {
        ObDereferenceObject(event);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    wr32(buf, state);
    *info = 4;
    return STATUS_SUCCESS;
}

static VOID cancel_wait(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    UNREFERENCED_PARAMETER(device);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&g_lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&g_lock, irql);
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

/* Takes the oldest waiter that is not being cancelled; called under the lock. */
static PIRP take_waiter(PFILE_OBJECT only) {
    PLIST_ENTRY e = g_waiters.Flink;
    while (e != &g_waiters) {
        PIRP irp = CONTAINING_RECORD(e, IRP, Tail.Overlay.ListEntry);
        PLIST_ENTRY next = e->Flink;
        if (!only || IoGetCurrentIrpStackLocation(irp)->FileObject == only) {
            RemoveEntryList(e);
            InitializeListHead(e);
            if (IoSetCancelRoutine(irp, NULL) != NULL) return irp;
            /* Its cancel routine is running and will complete it. */
        }
        e = next;
    }
    return NULL;
}

static NTSTATUS do_wait_report(PIRP irp, UCHAR* buf, ULONG outLen, ULONG_PTR* info) {
    KIRQL irql;
    if (outLen < KBS_REPORT_SIZE) return STATUS_BUFFER_TOO_SMALL;
    KeAcquireSpinLock(&g_lock, &irql);
    if (kbs_core_pop_report(&g_core, buf)) {
        KeReleaseSpinLock(&g_lock, irql);
        *info = KBS_REPORT_SIZE;
        return STATUS_SUCCESS;
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, cancel_wait);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        KeReleaseSpinLock(&g_lock, irql);
        irp->IoStatus.Status = STATUS_CANCELLED;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_PENDING;
    }
    InsertTailList(&g_waiters, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&g_lock, irql);
    return STATUS_PENDING;
}

static NTSTATUS do_queue_report(const UCHAR* in, ULONG inLen) {
    KIRQL irql;
    UCHAR data[KBS_REPORT_SIZE];
    if (inLen < 2 || inLen > KBS_REPORT_SIZE) return STATUS_INVALID_PARAMETER;
    RtlZeroMemory(data, sizeof data);
    RtlCopyMemory(data, in, inLen);
    KeAcquireSpinLock(&g_lock, &irql);
    if (!g_core.attached[KBS_DEV_KEYBOARD]) {
        /* An unplugged keyboard sends no reports. */
        KeReleaseSpinLock(&g_lock, irql);
        return STATUS_DEVICE_NOT_CONNECTED;
    }
    PIRP waiter = g_core.reportCount == 0 ? take_waiter(NULL) : NULL;
    int queued = waiter ? 1 : kbs_core_push_report(&g_core, data, KBS_REPORT_SIZE);
    KeReleaseSpinLock(&g_lock, irql);
    if (waiter) {
        RtlCopyMemory(waiter->AssociatedIrp.SystemBuffer, data, KBS_REPORT_SIZE);
        waiter->IoStatus.Status = STATUS_SUCCESS;
        waiter->IoStatus.Information = KBS_REPORT_SIZE;
        IoCompleteRequest(waiter, IO_NO_INCREMENT);
    }
    return queued ? STATUS_SUCCESS : STATUS_DEVICE_BUSY;
}

static NTSTATUS do_read_log(UCHAR* buf, ULONG inLen, ULONG outLen, ULONG_PTR* info) {
    KIRQL irql;
    if (inLen != 0 && inLen != 4) return STATUS_INVALID_PARAMETER;
    if (outLen < KBS_LOG_HEADER_SIZE) return STATUS_BUFFER_TOO_SMALL;
    int remove = inLen == 4 && (rd32(buf) & 1);
    uint32_t room = (outLen - KBS_LOG_HEADER_SIZE) / KBS_LOG_ENTRY_SIZE;
    KeAcquireSpinLock(&g_lock, &irql);
    uint32_t lost = g_core.logLost;
    uint32_t n = kbs_core_read_log(&g_core, buf + KBS_LOG_HEADER_SIZE, room, remove);
    KeReleaseSpinLock(&g_lock, irql);
    wr32(buf, n);
    wr32(buf + 4, lost);
    *info = KBS_LOG_HEADER_SIZE + (ULONG_PTR)n * KBS_LOG_ENTRY_SIZE;
    return STATUS_SUCCESS;
}

static NTSTATUS do_read_table(UCHAR* buf, ULONG inLen, ULONG outLen, ULONG_PTR* info) {
    KIRQL irql;
    if (inLen != 4) return STATUS_INVALID_PARAMETER;
    uint32_t dev = rd32(buf);
    if (dev >= KBS_DEV_COUNT) return STATUS_INVALID_PARAMETER;
    if (outLen < 4) return STATUS_BUFFER_TOO_SMALL;
    NTSTATUS st = STATUS_SUCCESS;
    KeAcquireSpinLock(&g_lock, &irql);
    const KbsTable* t = &g_core.tables[dev];
    ULONG need = 4 + t->records * KBS_RECORD_SIZE;
    if (outLen < need) {
        st = STATUS_BUFFER_TOO_SMALL;
    } else {
        wr32(buf, t->records);
        RtlCopyMemory(buf + 4, t->bytes, t->records * KBS_RECORD_SIZE);
        *info = need;
    }
    KeReleaseSpinLock(&g_lock, irql);
    return st;
}

/* Fills a relay wait's answer from the relay queue; called under the lock. */
static ULONG_PTR relay_fill(UCHAR* buf, ULONG outLen) {
    uint32_t room = (outLen - KBS_RELAY_HEADER_SIZE) / KBS_LOG_ENTRY_SIZE;
    uint32_t lost = g_core.relayLost;
    uint32_t n = kbs_core_relay_take(&g_core, buf + KBS_RELAY_HEADER_SIZE, room);
    wr32(buf, n);
    wr32(buf + 4, lost);
    wr32(buf + 8, g_core.relayOn);
    return KBS_RELAY_HEADER_SIZE + (ULONG_PTR)n * KBS_LOG_ENTRY_SIZE;
}

/* The pending relay wait, when it has something to give now (entries, or the end); called
 * under the lock. The caller completes it after releasing the lock. */
static PIRP relay_ready_waiter(void) {
    PIRP irp = g_relayWaiter;
    if (!irp || (g_core.relayCount == 0 && g_core.relayOn)) return NULL;
    if (IoSetCancelRoutine(irp, NULL) == NULL) return NULL; /* its cancel routine completes it */
    g_relayWaiter = NULL;
    ULONG outLen = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
    irp->IoStatus.Information = relay_fill((UCHAR*)irp->AssociatedIrp.SystemBuffer, outLen);
    irp->IoStatus.Status = STATUS_SUCCESS;
    return irp;
}

static void relay_complete(PIRP irp) {
    if (irp) IoCompleteRequest(irp, IO_NO_INCREMENT);
}

/* Takes the pending relay wait away for a cancelled ending; called under the lock. */
static PIRP relay_take_waiter(void) {
    PIRP irp = g_relayWaiter;
    if (!irp || IoSetCancelRoutine(irp, NULL) == NULL) return NULL;
    g_relayWaiter = NULL;
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    return irp;
}

static VOID cancel_relay_wait(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    UNREFERENCED_PARAMETER(device);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&g_lock, &irql);
    if (g_relayWaiter == irp) g_relayWaiter = NULL;
    KeReleaseSpinLock(&g_lock, irql);
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

static NTSTATUS do_relay_wait(PIRP irp, PIO_STACK_LOCATION sp, UCHAR* buf, ULONG outLen, ULONG_PTR* info) {
    KIRQL irql;
    if (outLen < KBS_RELAY_HEADER_SIZE + KBS_LOG_ENTRY_SIZE) return STATUS_BUFFER_TOO_SMALL;
    KeAcquireSpinLock(&g_lock, &irql);
    NTSTATUS st = STATUS_SUCCESS;
    if (g_relayOwner != sp->FileObject) {
        st = STATUS_INVALID_DEVICE_STATE;
    } else if (g_core.relayCount || !g_core.relayOn) {
        *info = relay_fill(buf, outLen);
    } else if (g_relayWaiter) {
        st = STATUS_DEVICE_BUSY;
    } else {
        IoMarkIrpPending(irp);
        IoSetCancelRoutine(irp, cancel_relay_wait);
        if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
            KeReleaseSpinLock(&g_lock, irql);
            irp->IoStatus.Status = STATUS_CANCELLED;
            irp->IoStatus.Information = 0;
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            return STATUS_PENDING;
        }
        g_relayWaiter = irp;
        st = STATUS_PENDING;
    }
    KeReleaseSpinLock(&g_lock, irql);
    return st;
}

static NTSTATUS do_control(PIRP irp, PIO_STACK_LOCATION sp) {
    UCHAR* buf = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
    ULONG inLen = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLen = sp->Parameters.DeviceIoControl.OutputBufferLength;
    ULONG_PTR* info = &irp->IoStatus.Information;
    KIRQL irql;
    if ((inLen || outLen) && !buf) return STATUS_INVALID_PARAMETER;
    if (g_gone) return STATUS_DELETE_PENDING;

    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case KBS_IOCTL_SELECT: {
        int dev = kbs_selector_device(buf, inLen);
        if (dev < 0) return STATUS_INVALID_PARAMETER;
        sp->FileObject->FsContext2 = (PVOID)(ULONG_PTR)(dev + 1);
        return STATUS_SUCCESS;
    }
    case KBS_IOCTL_TABLE:
        return do_table(sp, buf, inLen);
    case KBS_IOCTL_ATTACH:
        return do_attach(sp, buf, inLen, outLen, info);
    case KBS_IOCTL_INJECT: {
        if (inLen != KBS_INJECT_SIZE) return STATUS_INVALID_PARAMETER;
        KeAcquireSpinLock(&g_lock, &irql);
        kbs_core_inject(&g_core, buf);
        PIRP relay = relay_ready_waiter();
        KeReleaseSpinLock(&g_lock, irql);
        relay_complete(relay);
        return STATUS_SUCCESS;
    }
    case KBS_SIM_KEY: {
        if (inLen != KBS_SIM_KEY_SIZE) return STATUS_INVALID_PARAMETER;
        uint32_t dev = rd32(buf);
        uint16_t scan = (uint16_t)(buf[4] | (buf[5] << 8));
        uint16_t flags = (uint16_t)(buf[6] | (buf[7] << 8));
        if (dev >= KBS_DEV_COUNT || scan == 0 || scan > 0xFF || flags > 7) return STATUS_INVALID_PARAMETER;
        NTSTATUS st = STATUS_SUCCESS;
        uint32_t outcome = 0;
        PIRP relay = NULL;
        KeAcquireSpinLock(&g_lock, &irql);
        if (!g_core.attached[dev]) {
            st = STATUS_DEVICE_NOT_CONNECTED;
        } else {
            outcome = (uint32_t)kbs_core_key(&g_core, &g_ops, (int)dev, scan, flags);
            relay = relay_ready_waiter();
        }
        KeReleaseSpinLock(&g_lock, irql);
        relay_complete(relay);
        if (NT_SUCCESS(st) && outLen >= 4) {
            wr32(buf, outcome);
            *info = 4;
        }
        return st;
    }
    case KBS_SIM_PLUG: {
        if (inLen != KBS_SIM_PLUG_SIZE) return STATUS_INVALID_PARAMETER;
        uint32_t dev = rd32(buf), state = rd32(buf + 4);
        if (dev >= KBS_DEV_COUNT || state > 1) return STATUS_INVALID_PARAMETER;
        KeAcquireSpinLock(&g_lock, &irql);
        kbs_core_plug(&g_core, &g_ops, (int)dev, (int)state);
        KeReleaseSpinLock(&g_lock, irql);
        return STATUS_SUCCESS;
    }
    case KBS_SIM_READ_LOG:
        return do_read_log(buf, inLen, outLen, info);
    case KBS_SIM_READ_TABLE:
        return do_read_table(buf, inLen, outLen, info);
    case KBS_SIM_QUEUE_REPORT:
        return do_queue_report(buf, inLen);
    case KBS_SIM_WAIT_REPORT:
        return do_wait_report(irp, buf, outLen, info);
    case KBS_SIM_WRITE_STATUS:
    {
        if (inLen != KBS_STATUS_SIZE) return STATUS_INVALID_PARAMETER;
        NTSTATUS st = STATUS_DEVICE_NOT_CONNECTED;
        KeAcquireSpinLock(&g_lock, &irql);
        if (g_core.attached[KBS_DEV_KEYBOARD]) {
            g_core.status[0] = buf[0];
            g_core.status[1] = buf[1];
            g_core.hasStatus = 1;
            st = STATUS_SUCCESS;
        }
        KeReleaseSpinLock(&g_lock, irql);
        return st;
    }
    case KBS_SIM_READ_STATUS:
        if (outLen < 6) return STATUS_BUFFER_TOO_SMALL;
        KeAcquireSpinLock(&g_lock, &irql);
        wr32(buf, g_core.hasStatus);
        buf[4] = g_core.status[0];
        buf[5] = g_core.status[1];
        KeReleaseSpinLock(&g_lock, irql);
        *info = 6;
        return STATUS_SUCCESS;
    case KBS_SIM_RESET:
        if (inLen != 0) return STATUS_INVALID_PARAMETER;
        KeAcquireSpinLock(&g_lock, &irql);
        kbs_core_reset(&g_core, &g_ops);
        KeReleaseSpinLock(&g_lock, irql);
        return STATUS_SUCCESS;
    case KBS_SIM_RELAY_START:
        if (inLen != 0) return STATUS_INVALID_PARAMETER;
        KeAcquireSpinLock(&g_lock, &irql);
        if (g_relayOwner && g_relayOwner != sp->FileObject) {
            KeReleaseSpinLock(&g_lock, irql);
            return STATUS_DEVICE_BUSY;
        }
        if (!g_relayOwner) kbs_core_relay_start(&g_core);
        g_relayOwner = sp->FileObject;
        g_relayProcess = PsGetCurrentProcessId();
        KeReleaseSpinLock(&g_lock, irql);
        return STATUS_SUCCESS;
    case KBS_SIM_RELAY_WAIT:
        return do_relay_wait(irp, sp, buf, outLen, info);
    case KBS_SIM_RELAY_STOP: {
        if (inLen != 0) return STATUS_INVALID_PARAMETER;
        KeAcquireSpinLock(&g_lock, &irql);
        kbs_core_relay_stop(&g_core);
        PIRP relay = relay_ready_waiter();
        KeReleaseSpinLock(&g_lock, irql);
        relay_complete(relay);
        return STATUS_SUCCESS;
    }
    case KBS_SIM_TABLE_STAMP: {
        if (inLen != 4) return STATUS_INVALID_PARAMETER;
        uint32_t dev = rd32(buf);
        if (dev >= KBS_DEV_COUNT) return STATUS_INVALID_PARAMETER;
        if (outLen < KBS_TABLE_STAMP_SIZE) return STATUS_BUFFER_TOO_SMALL;
        KeAcquireSpinLock(&g_lock, &irql);
        const uint32_t requests = g_tableRequests[dev];
        const uint64_t at = (uint64_t)g_tableRequestAt[dev];
        KeReleaseSpinLock(&g_lock, irql);
        wr32(buf, requests);
        wr32(buf + 4, 0);
        wr32(buf + 8, (uint32_t)at);
        wr32(buf + 12, (uint32_t)(at >> 32));
        *info = KBS_TABLE_STAMP_SIZE;
        return STATUS_SUCCESS;
    }
    case KBS_SIM_RELAY_STATE:
        if (outLen < 8) return STATUS_BUFFER_TOO_SMALL;
        KeAcquireSpinLock(&g_lock, &irql);
        wr32(buf, !g_relayOwner ? KBS_RELAY_OFF : g_core.relayOn ? KBS_RELAY_ON : KBS_RELAY_STOPPING);
        wr32(buf + 4, g_relayOwner ? (uint32_t)(ULONG_PTR)g_relayProcess : 0);
        KeReleaseSpinLock(&g_lock, irql);
        *info = 8;
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

static NTSTATUS dispatch_control(PDEVICE_OBJECT device, PIRP irp) {
    UNREFERENCED_PARAMETER(device);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    irp->IoStatus.Information = 0;
    NTSTATUS st = do_control(irp, sp);
    if (st == STATUS_PENDING) return st;
    if (!NT_SUCCESS(st)) irp->IoStatus.Information = 0;
    irp->IoStatus.Status = st;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return st;
}

static NTSTATUS dispatch_create(PDEVICE_OBJECT device, PIRP irp) {
    UNREFERENCED_PARAMETER(device);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->FileObject) sp->FileObject->FsContext2 = NULL;
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

/* A closing handle takes its pending waits, tables and attach registrations with it. */
static NTSTATUS dispatch_close(PDEVICE_OBJECT device, PIRP irp) {
    UNREFERENCED_PARAMETER(device);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    PFILE_OBJECT fo = sp->FileObject;
    if (fo) {
        for (;;) {
            KIRQL irql;
            KeAcquireSpinLock(&g_lock, &irql);
            PIRP w = take_waiter(fo);
            KeReleaseSpinLock(&g_lock, irql);
            if (!w) break;
            w->IoStatus.Status = STATUS_CANCELLED;
            w->IoStatus.Information = 0;
            IoCompleteRequest(w, IO_NO_INCREMENT);
        }
        KIRQL irql;
        PIRP relay = NULL;
        KeAcquireSpinLock(&g_lock, &irql);
        kbs_core_drop_owner(&g_core, &g_ops, fo);
        if (g_relayOwner == fo) {
            relay = relay_take_waiter();
            g_relayOwner = NULL;
            g_relayProcess = NULL;
            kbs_core_relay_clear(&g_core);
        }
        KeReleaseSpinLock(&g_lock, irql);
        relay_complete(relay);
    }
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

static VOID driver_unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    KIRQL irql;
    UNREFERENCED_PARAMETER(driver);
    /* The devices go with the driver: whoever waits on an attach event hears of it,
     * and its next question fails. */
    KeAcquireSpinLock(&g_lock, &irql);
    g_gone = 1;
    kbs_core_signal_attach(&g_core, &g_ops);
    KeReleaseSpinLock(&g_lock, irql);
    for (;;) {
        KeAcquireSpinLock(&g_lock, &irql);
        PIRP w = take_waiter(NULL);
        KeReleaseSpinLock(&g_lock, irql);
        if (!w) break;
        w->IoStatus.Status = STATUS_CANCELLED;
        w->IoStatus.Information = 0;
        IoCompleteRequest(w, IO_NO_INCREMENT);
    }
    KeAcquireSpinLock(&g_lock, &irql);
    PIRP relay = relay_take_waiter();
    g_relayOwner = NULL;
    kbs_core_reset(&g_core, &g_ops);
    kbs_core_relay_clear(&g_core);
    KeReleaseSpinLock(&g_lock, irql);
    relay_complete(relay);
    RtlInitUnicodeString(&link, KBS_DOS_DEVICE_NAME_W);
    IoDeleteSymbolicLink(&link);
    if (g_device) IoDeleteDevice(g_device);
    g_device = NULL;
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry) {
    UNICODE_STRING name, link;
    UNREFERENCED_PARAMETER(registry);
    KeInitializeSpinLock(&g_lock);
    InitializeListHead(&g_waiters);
    g_gone = 0;
    RtlZeroMemory(g_tableRequests, sizeof g_tableRequests);
    RtlZeroMemory(g_tableRequestAt, sizeof g_tableRequestAt);
    kbs_core_init(&g_core);
    RtlInitUnicodeString(&name, KBS_NT_DEVICE_NAME_W);
    RtlInitUnicodeString(&link, KBS_DOS_DEVICE_NAME_W);
    /* Not exclusive: the program, the injection library and kbsim each hold a handle. */
    NTSTATUS st = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_device);
    if (!NT_SUCCESS(st)) return st;
    st = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(st)) {
        IoDeleteDevice(g_device);
        g_device = NULL;
        return st;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
    driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_close;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
    driver->DriverUnload = driver_unload;
    return STATUS_SUCCESS;
}
