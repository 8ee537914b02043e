// A small minidump ("MDMP") written by hand: system info, the exception with
// the crashed thread's context, that thread's stack and the module list, the
// streams a debugger needs to show where a crash happened. Written without
// the system's dump library, which under some hosts loads every module's
// debug information first and takes seconds inside a crashed process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kb::crash {

struct DumpModule {
    std::uint64_t base = 0;
    std::uint32_t size = 0;
    std::uint32_t checksum = 0;
    std::uint32_t timeDateStamp = 0;
    std::u16string path;
};

struct DumpThread {
    std::uint32_t id = 0;
    std::uint64_t teb = 0;
    std::uint64_t stackStart = 0;         // lowest address of the saved stack bytes
    std::vector<std::uint8_t> stack;
    std::vector<std::uint8_t> context;    // the platform's CONTEXT record, as it lies in memory
};

struct DumpException {
    std::uint32_t code = 0;
    std::uint32_t flags = 0;
    std::uint64_t nested = 0;             // address of a nested record, 0 if none
    std::uint64_t address = 0;
    std::vector<std::uint64_t> parameters;  // at most 15 are kept
};

struct DumpSystem {
    std::uint16_t processorArchitecture = 0;  // 0 x86, 9 x64
    std::uint16_t processorLevel = 0;
    std::uint16_t processorRevision = 0;
    std::uint8_t processors = 0;
    std::uint32_t majorVersion = 0, minorVersion = 0, buildNumber = 0, platformId = 0;
};

struct DumpInput {
    std::uint32_t timeDateStamp = 0;
    DumpSystem system;
    DumpException exception;
    DumpThread thread;                    // the crashed thread
    std::vector<DumpModule> modules;
};

// Stream types used.
inline constexpr std::uint32_t kThreadListStream = 3, kModuleListStream = 4, kExceptionStream = 6,
                               kSystemInfoStream = 7;

[[nodiscard]] std::vector<std::uint8_t> buildMinidump(const DumpInput& in);

}  // namespace kb::crash
