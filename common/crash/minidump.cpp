#include "common/crash/minidump.h"

#include <algorithm>

namespace kb::crash {
namespace {

class Writer {
public:
    std::uint32_t pos() const { return static_cast<std::uint32_t>(out.size()); }
    void u8(std::uint8_t v) { out.push_back(v); }
    void u16(std::uint16_t v) { for (int i = 0; i < 2; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i))); }
    void u32(std::uint32_t v) { for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i))); }
    void u64(std::uint64_t v) { for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i))); }
    void bytes(const std::vector<std::uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); }
    void zeros(std::size_t n) { out.insert(out.end(), n, 0); }
    void align(std::size_t to) { while (out.size() % to) u8(0); }
    void put32(std::uint32_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    std::vector<std::uint8_t> out;
};

// MINIDUMP_STRING: byte length (no terminator), UTF-16 units, a zero unit.
std::uint32_t writeString(Writer& w, const std::u16string& s) {
    w.align(4);
    std::uint32_t at = w.pos();
    w.u32(static_cast<std::uint32_t>(s.size() * 2));
    for (char16_t c : s) w.u16(static_cast<std::uint16_t>(c));
    w.u16(0);
    return at;
}

}  // namespace

std::vector<std::uint8_t> buildMinidump(const DumpInput& in) {
    Writer w;
    constexpr std::uint32_t kStreams = 4;
    // Header (32 bytes).
    w.u32(0x504D444D);           // "MDMP"
    w.u32(0x0000A793);           // format version
    w.u32(kStreams);
    w.u32(32);                   // directory follows the header
    w.u32(0);                    // checksum
    w.u32(in.timeDateStamp);
    w.u64(0);                    // MiniDumpNormal
    const std::uint32_t directory = w.pos();
    w.zeros(12 * kStreams);
    std::uint32_t entry = 0;
    auto record = [&](std::uint32_t type, std::uint32_t rva, std::uint32_t size) {
        w.put32(directory + 12 * entry, type);
        w.put32(directory + 12 * entry + 4, size);
        w.put32(directory + 12 * entry + 8, rva);
        ++entry;
    };

    // The thread's context and stack, referred to by two streams.
    w.align(16);
    const std::uint32_t contextRva = w.pos();
    w.bytes(in.thread.context);
    const auto contextSize = static_cast<std::uint32_t>(in.thread.context.size());
    w.align(16);
    const std::uint32_t stackRva = w.pos();
    w.bytes(in.thread.stack);
    const auto stackSize = static_cast<std::uint32_t>(in.thread.stack.size());

    const std::uint32_t noServicePack = writeString(w, u"");

    // System info (56 bytes).
    w.align(4);
    std::uint32_t at = w.pos();
    w.u16(in.system.processorArchitecture);
    w.u16(in.system.processorLevel);
    w.u16(in.system.processorRevision);
    w.u8(in.system.processors);
    w.u8(1);                     // workstation
    w.u32(in.system.majorVersion);
    w.u32(in.system.minorVersion);
    w.u32(in.system.buildNumber);
    w.u32(in.system.platformId);
    w.u32(noServicePack);
    w.u16(0);
    w.u16(0);
    w.zeros(24);                 // processor features
    record(kSystemInfoStream, at, w.pos() - at);

    // Exception stream (168 bytes).
    w.align(4);
    at = w.pos();
    w.u32(in.thread.id);
    w.u32(0);
    w.u32(in.exception.code);
    w.u32(in.exception.flags);
    w.u64(in.exception.nested);
    w.u64(in.exception.address);
    const auto params = static_cast<std::uint32_t>(std::min<std::size_t>(in.exception.parameters.size(), 15));
    w.u32(params);
    w.u32(0);
    for (std::uint32_t i = 0; i < 15; ++i) w.u64(i < params ? in.exception.parameters[i] : 0);
    w.u32(contextSize);
    w.u32(contextRva);
    record(kExceptionStream, at, w.pos() - at);

    // Thread list: the crashed thread.
    w.align(4);
    at = w.pos();
    w.u32(1);
    w.u32(in.thread.id);
    w.u32(0);                    // suspend count
    w.u32(0);                    // priority class
    w.u32(0);                    // priority
    w.u64(in.thread.teb);
    w.u64(in.thread.stackStart);
    w.u32(stackSize);
    w.u32(stackRva);
    w.u32(contextSize);
    w.u32(contextRva);
    record(kThreadListStream, at, w.pos() - at);

    // Module list: fixed 108-byte entries, names after them.
    w.align(4);
    at = w.pos();
    w.u32(static_cast<std::uint32_t>(in.modules.size()));
    std::vector<std::uint32_t> nameFields;
    for (const DumpModule& m : in.modules) {
        w.u64(m.base);
        w.u32(m.size);
        w.u32(m.checksum);
        w.u32(m.timeDateStamp);
        nameFields.push_back(w.pos());
        w.u32(0);                // name RVA, filled below
        w.zeros(52);             // version info
        w.zeros(8);              // CodeView record
        w.zeros(8);              // misc record
        w.zeros(16);             // reserved
    }
    const std::uint32_t listSize = w.pos() - at;
    for (std::size_t i = 0; i < in.modules.size(); ++i)
        w.put32(nameFields[i], writeString(w, in.modules[i].path));
    record(kModuleListStream, at, listSize);
    return w.out;
}

}  // namespace kb::crash
