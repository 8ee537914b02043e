/* Test-only kernel driver: a control device "\\.\KinsetProbe" that keeps every
 * 16-byte record sent to it with the injection control code, and hands them
 * back (and forgets them) on a read request. Lets the tests see exactly what
 * the library puts on the wire; never shipped. Requests arrive one at a time
 * from the single test thread, so the buffer needs no lock. */
#include <ntddk.h>

#define PROBE_INJECT_CODE 0x222008
#define PROBE_READ_CODE CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define PROBE_RECORD_SIZE 16
#define PROBE_CAPACITY 1024

static UCHAR g_records[PROBE_CAPACITY][PROBE_RECORD_SIZE];
static ULONG g_count;
static ULONG g_rejected;
static UNICODE_STRING g_link;

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI onCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI onControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    PUCHAR buffer = (PUCHAR)irp->AssociatedIrp.SystemBuffer;
    (void)device;
    if (code == PROBE_INJECT_CODE) {
        /* Exactly one record in, nothing out: anything else is counted as a fault. */
        if (inLength != PROBE_RECORD_SIZE || outLength != 0 || g_count >= PROBE_CAPACITY) {
            ++g_rejected;
            return complete(irp, STATUS_INVALID_PARAMETER, 0);
        }
        RtlCopyMemory(g_records[g_count++], buffer, PROBE_RECORD_SIZE);
        return complete(irp, STATUS_SUCCESS, 0);
    }
    if (code == PROBE_READ_CODE) {
        /* Output: the rejected count (4 bytes), then the records. */
        ULONG room = outLength < 4 ? 0 : (outLength - 4) / PROBE_RECORD_SIZE;
        ULONG n = g_count < room ? g_count : room;
        if (outLength < 4) {
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        }
        RtlCopyMemory(buffer, &g_rejected, 4);
        RtlCopyMemory(buffer + 4, g_records, (SIZE_T)n * PROBE_RECORD_SIZE);
        g_count = 0;
        g_rejected = 0;
        return complete(irp, STATUS_SUCCESS, 4 + (ULONG_PTR)n * PROBE_RECORD_SIZE);
    }
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

static VOID NTAPI onUnload(PDRIVER_OBJECT driver) {
    IoDeleteSymbolicLink(&g_link);
    if (driver->DeviceObject != NULL) {
        IoDeleteDevice(driver->DeviceObject);
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;
    (void)registryPath;
    RtlInitUnicodeString(&name, L"\\Device\\KinsetProbe");
    RtlInitUnicodeString(&g_link, L"\\DosDevices\\KinsetProbe");
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = IoCreateSymbolicLink(&g_link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = onCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = onCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = onControl;
    driver->DriverUnload = onUnload;
    return STATUS_SUCCESS;
}
