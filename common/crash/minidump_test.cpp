#include "common/crash/minidump.h"

#include <gtest/gtest.h>

namespace kb::crash {
namespace {

// An independent reader of the few fields a debugger starts from.
struct Reader {
    const std::vector<std::uint8_t>& b;
    std::uint32_t u32(std::size_t at) const {
        EXPECT_LE(at + 4, b.size());
        if (at + 4 > b.size()) return 0;
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
    }
    std::uint64_t u64(std::size_t at) const { return u32(at) | std::uint64_t(u32(at + 4)) << 32; }
    // (rva, size) of the stream, or (0, 0).
    std::pair<std::uint32_t, std::uint32_t> stream(std::uint32_t type) const {
        for (std::uint32_t i = 0; i < u32(8); ++i) {
            std::size_t e = u32(12) + 12 * i;
            if (u32(e) == type) return {u32(e + 8), u32(e + 4)};
        }
        return {0, 0};
    }
    std::u16string string(std::uint32_t rva) const {
        std::u16string s;
        for (std::uint32_t i = 0; i < u32(rva) / 2; ++i)
            s += static_cast<char16_t>(b.at(rva + 4 + 2 * i) | b.at(rva + 5 + 2 * i) << 8);
        return s;
    }
};

DumpInput sample() {
    DumpInput in;
    in.timeDateStamp = 1765170000;
    in.system = {9, 6, 0x3A09, 2, 6, 1, 7601, 2};
    in.exception = {0xC0000005u, 0, 0, 0x140001234ull, {1, 0xDEAD0000ull}};
    in.thread.id = 0x1F4;
    in.thread.teb = 0x7FFDE000;
    in.thread.stackStart = 0x22F000;
    in.thread.stack = std::vector<std::uint8_t>(1000, 0xAB);
    in.thread.context = std::vector<std::uint8_t>(1232, 0xCD);
    in.modules = {{0x140000000ull, 0x80000, 0, 0x5F000000, u"C:\\KbPanel\\KbPanel.exe"},
                  {0x7FF800000000ull, 0x10000, 7, 1, u"C:\\windows\\system32\\ntdll.dll"}};
    return in;
}

TEST(Minidump, HeaderAndStreamsAsDebuggersReadThem) {
    auto bytes = buildMinidump(sample());
    Reader r{bytes};
    EXPECT_EQ(r.u32(0), 0x504D444Du);
    EXPECT_EQ(r.u32(4) & 0xFFFF, 0xA793u);
    EXPECT_EQ(r.u32(8), 4u);

    auto [sys, sysSize] = r.stream(kSystemInfoStream);
    EXPECT_EQ(sysSize, 56u);
    EXPECT_EQ(r.u32(sys) & 0xFFFF, 9u);
    EXPECT_EQ(r.string(r.u32(sys + 24)), u"");

    auto [ex, exSize] = r.stream(kExceptionStream);
    EXPECT_EQ(exSize, 168u);
    EXPECT_EQ(r.u32(ex), 0x1F4u);
    EXPECT_EQ(r.u32(ex + 8), 0xC0000005u);
    EXPECT_EQ(r.u64(ex + 24), 0x140001234ull);
    EXPECT_EQ(r.u32(ex + 32), 2u);
    EXPECT_EQ(r.u64(ex + 48), 0xDEAD0000ull);
    const std::uint32_t contextSize = r.u32(ex + 160), contextRva = r.u32(ex + 164);
    EXPECT_EQ(contextSize, 1232u);
    EXPECT_EQ(contextRva % 16, 0u);
    EXPECT_EQ(bytes.at(contextRva), 0xCD);
    EXPECT_EQ(bytes.at(contextRva + contextSize - 1), 0xCD);

    auto [threads, threadsSize] = r.stream(kThreadListStream);
    EXPECT_EQ(threadsSize, 4u + 48u);
    EXPECT_EQ(r.u32(threads), 1u);
    EXPECT_EQ(r.u64(threads + 4 + 16), 0x7FFDE000ull);
    EXPECT_EQ(r.u64(threads + 4 + 24), 0x22F000ull);
    const std::uint32_t stackSize = r.u32(threads + 4 + 32), stackRva = r.u32(threads + 4 + 36);
    EXPECT_EQ(stackSize, 1000u);
    EXPECT_EQ(bytes.at(stackRva), 0xAB);
    EXPECT_EQ(bytes.at(stackRva + 999), 0xAB);
    EXPECT_EQ(r.u32(threads + 4 + 44), contextRva);

    auto [mods, modsSize] = r.stream(kModuleListStream);
    EXPECT_EQ(modsSize, 4u + 2 * 108u);
    EXPECT_EQ(r.u32(mods), 2u);
    EXPECT_EQ(r.u64(mods + 4), 0x140000000ull);
    EXPECT_EQ(r.string(r.u32(mods + 4 + 20)), u"C:\\KbPanel\\KbPanel.exe");
    EXPECT_EQ(r.u64(mods + 4 + 108), 0x7FF800000000ull);
    EXPECT_EQ(r.u32(mods + 4 + 108 + 12), 7u);
    EXPECT_EQ(r.string(r.u32(mods + 4 + 108 + 20)), u"C:\\windows\\system32\\ntdll.dll");
}

TEST(Minidump, EmptyPartsStillMakeAWellFormedDump) {
    DumpInput in;
    in.exception.parameters = std::vector<std::uint64_t>(20, 5);  // more than a record holds
    auto bytes = buildMinidump(in);
    Reader r{bytes};
    auto [ex, exSize] = r.stream(kExceptionStream);
    EXPECT_EQ(exSize, 168u);
    EXPECT_EQ(r.u32(ex + 32), 15u);
    auto [mods, modsSize] = r.stream(kModuleListStream);
    EXPECT_EQ(modsSize, 4u);
    EXPECT_EQ(r.u32(mods), 0u);
    for (std::uint32_t type : {kThreadListStream, kSystemInfoStream}) EXPECT_NE(r.stream(type).first, 0u);
}

}  // namespace
}  // namespace kb::crash
