// Binary interface of Hidport.dll, the HID request library: record layouts and the ten
// entry points. Stand-ins implement it; the program's binding code looks the
// entry points up by name and takes their types from here:
//     using InitFn = decltype(&HidportInit);
//     auto init = reinterpret_cast<InitFn>(GetProcAddress(dll, kHidportInitName));
// The exported names are the plain ones ("Init", "End", ...); the Hidport* names below are
// only the prototypes (the plain names would clash with KinsetDll's Init and End).
//
// Layouts: every field sits at its naturally aligned offset, so the records differ between
// 32-bit and 64-bit only where a pointer is involved. Offsets (32-bit / 64-bit):
//
//   HidportSelector (16 / 16)
//     0 u32 match mask (bit 0 vendor, 1 product, 2 usage page, 3 usage; 0x0F = all)
//     4 u16 vendor   6 u16 product   8 u16 usage page   10 u16 usage   12 u32 zero
//   HidportDescriptor (24 / 32)
//     0 selector   16 u32 tag   20 / 24 handler
//   HidportCompletion (12 / 16) - what a handler receives
//     0 u32 status (1 = the request completed with data)   4 u32 zero
//     8 HidportRequest* request
//   HidportRequest (28 / 40)
//     0 u32 tag (the tag given with the request)   4 i32 unit id   8 u32 kind (1 read,
//     2 status write)   12 u32 zero   16 HidportBlock* block
//     20 / 24 const HidportDescriptor* descriptor   24 / 32 handler
//   HidportBlock (32 / 40)
//     0 u32 size of the block   4 i32 unit id   8 u16 vendor   10 u16 product
//     12 u16 usage page   14 u16 usage   16 u32 data length   20 u32 zero[2]
//     28 / 32 uint8_t* data (a macro-key report: first 16 bits = key code)
#ifndef KB_CONTRACTS_HIDPORT_ABI_H
#define KB_CONTRACTS_HIDPORT_ABI_H

#include <cstddef>
#include <cstdint>

#include "contracts/kinsetc_device.h"

#ifdef _WIN32
#define KB_HIDPORT_CALL __stdcall
#else
#define KB_HIDPORT_CALL
#endif

struct HidportSelector {
    uint32_t matchMask;
    uint16_t vendor;
    uint16_t product;
    uint16_t usagePage;
    uint16_t usage;
    uint32_t reserved;
};

struct HidportCompletion;
// Called on a thread of the library; returns 1.
typedef int(KB_HIDPORT_CALL* HidportHandler)(HidportCompletion* completion);

struct HidportDescriptor {
    HidportSelector selector;
    uint32_t tag;
    HidportHandler handler;
};

struct HidportBlock {
    uint32_t size;
    int32_t unitId;
    uint16_t vendor;
    uint16_t product;
    uint16_t usagePage;
    uint16_t usage;
    uint32_t dataLength;
    uint32_t reserved[2];
    uint8_t* data;
};

enum : uint32_t { kHidportRead = 1, kHidportStatusWrite = 2 };

struct HidportRequest {
    uint32_t tag;
    int32_t unitId;
    uint32_t kind;
    uint32_t reserved;
    HidportBlock* block;
    const HidportDescriptor* descriptor;
    HidportHandler handler;
};

struct HidportCompletion {
    uint32_t status;
    uint32_t reserved;
    HidportRequest* request;
};

constexpr bool kHidport64 = sizeof(void*) == 8;
static_assert(sizeof(HidportSelector) == 16);
static_assert(offsetof(HidportDescriptor, tag) == 16);
static_assert(offsetof(HidportDescriptor, handler) == (kHidport64 ? 24 : 20));
static_assert(offsetof(HidportCompletion, request) == 8);
static_assert(offsetof(HidportRequest, block) == 16);
static_assert(offsetof(HidportRequest, descriptor) == (kHidport64 ? 24 : 20));
static_assert(offsetof(HidportBlock, data) == (kHidport64 ? 32 : 28));
static_assert(sizeof(HidportDescriptor) == (kHidport64 ? 32 : 24));
static_assert(sizeof(HidportCompletion) == (kHidport64 ? 16 : 12));
static_assert(sizeof(HidportRequest) == (kHidport64 ? 40 : 28));
static_assert(sizeof(HidportBlock) == (kHidport64 ? 40 : 32));

extern "C" {
// "Init": 1 when the keyboard answers, 0 otherwise. Argument 0.
int KB_HIDPORT_CALL HidportInit(int32_t reserved);
// "End": cancels every request and stops every thread of the library; 1.
int KB_HIDPORT_CALL HidportEnd(int32_t reserved);
// "Debug": trace level; the stand-in has no trace output and ignores it. 1.
int KB_HIDPORT_CALL HidportDebug(int32_t level);
// "RequestGetDeviceCount": the number of collections that match the selector.
int KB_HIDPORT_CALL HidportRequestGetDeviceCount(const HidportDescriptor* descriptor);
// "RequestWrite": output reports; the simulated keyboard takes none, so 0.
int KB_HIDPORT_CALL HidportRequestWrite(const HidportDescriptor* descriptor, HidportHandler handler,
                                        uint32_t tag, const uint8_t* data, int32_t length,
                                        int32_t* unitId);
// "RequestStatusGet": copies the last status report; 1, or 0 when there is none.
int KB_HIDPORT_CALL HidportRequestStatusGet(const HidportDescriptor* descriptor, uint8_t* data,
                                            int32_t length);
// "RequestStatusWrite": hands `length` status bytes to the keyboard, then completes through
// the handler (status 1) on the library's thread. 1 with *unitId set, 0 on failure.
int KB_HIDPORT_CALL HidportRequestStatusWrite(const HidportDescriptor* descriptor,
                                              HidportHandler handler, uint32_t tag,
                                              const uint8_t* data, int32_t length, int32_t* unitId);
// "RequestAsyncRead": delivers every report of the collection to the handler until the
// request is deleted. 1 with *unitId set, 0 on failure.
int KB_HIDPORT_CALL HidportRequestAsyncRead(const HidportDescriptor* descriptor,
                                            HidportHandler handler, uint32_t tag, int32_t* unitId);
// "DeleteRequestFromUnitId" / "DeleteRequestFromHandle": cancel requests; when they return,
// the handler is not running for them and is never called for them again (except when
// called from inside that handler, where the running call finishes). 1 when one was found.
int KB_HIDPORT_CALL HidportDeleteRequestFromUnitId(int32_t unitId);
int KB_HIDPORT_CALL HidportDeleteRequestFromHandle(HidportHandler handler);
}

// The keyboard's two collections the program uses: macro-key reports (first 16
// bits of the data: the key code) and the bank status lamp.
inline constexpr std::uint16_t kHidportVendor = KB_KEYBOARD_VENDOR;
inline constexpr std::uint16_t kHidportProduct = KB_KEYBOARD_PRODUCT;
inline constexpr std::uint16_t kHidportMacroKeysUsagePage = 0x000C;
inline constexpr std::uint16_t kHidportMacroKeysUsage = 0x0001;
inline constexpr std::uint16_t kHidportStatusUsagePage = 0x0008;
inline constexpr std::uint16_t kHidportStatusUsage = 0x0089;

inline constexpr const char* kHidportInitName = "Init";
inline constexpr const char* kHidportEndName = "End";
inline constexpr const char* kHidportDebugName = "Debug";
inline constexpr const char* kHidportRequestGetDeviceCountName = "RequestGetDeviceCount";
inline constexpr const char* kHidportRequestWriteName = "RequestWrite";
inline constexpr const char* kHidportRequestStatusGetName = "RequestStatusGet";
inline constexpr const char* kHidportRequestStatusWriteName = "RequestStatusWrite";
inline constexpr const char* kHidportRequestAsyncReadName = "RequestAsyncRead";
inline constexpr const char* kHidportDeleteRequestFromUnitIdName = "DeleteRequestFromUnitId";
inline constexpr const char* kHidportDeleteRequestFromHandleName = "DeleteRequestFromHandle";

#endif
