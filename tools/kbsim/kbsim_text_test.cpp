#include "kbsim_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "kbsim/sieve_ioctl.h"

namespace {

using namespace kb::sim;

TEST(KbsimParse, MakeCodesAreHexWinMakeCodes) {
    EXPECT_EQ(parseMakeCode("1E"), 0x1E);
    EXPECT_EQ(parseMakeCode("11c"), 0x11C);
    EXPECT_EQ(parseMakeCode("0x045"), 0x45);
    EXPECT_EQ(parseMakeCode("17F"), 0x17F);
    EXPECT_FALSE(parseMakeCode(""));
    EXPECT_FALSE(parseMakeCode("0"));
    EXPECT_FALSE(parseMakeCode("100"));  // no key has a zero low byte
    EXPECT_FALSE(parseMakeCode("180"));
    EXPECT_FALSE(parseMakeCode("1G"));
    EXPECT_FALSE(parseMakeCode("-1"));
    EXPECT_FALSE(parseMakeCode("0x"));
    EXPECT_FALSE(parseMakeCode("00001E"));
}

std::array<std::uint8_t, KBS_LOG_ENTRY_SIZE> entry(std::uint8_t origin, std::uint8_t kind,
                                                   std::array<std::uint8_t, 16> record) {
    std::array<std::uint8_t, KBS_LOG_ENTRY_SIZE> e{};
    e[0] = origin;
    e[1] = kind;
    for (int i = 0; i < 16; ++i) e[4 + i] = record[i];
    return e;
}

TEST(KbsimFormat, LogLinesSayOriginKindAndFields) {
    EXPECT_EQ(formatLogEntry(entry(0, 0, {0x1C, 0, 2, 0})), "phys key 1C 0002");
    EXPECT_EQ(formatLogEntry(entry(1, 0, {0x2A, 0, 3, 0})), "inj key 2A 0003");
    // Wheel down two notches: button data -240.
    EXPECT_EQ(formatLogEntry(entry(1, 1, {0, 0, 0, 0, 0x00, 0x04, 0x10, 0xFF})), "inj mouse 0000 0400 FF10 0 0");
    // Absolute move; coordinates are signed decimals.
    EXPECT_EQ(formatLogEntry(entry(1, 1, {0, 0, 1, 0, 0, 0, 0, 0, 0x01, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})),
              "inj mouse 0001 0000 0000 32769 -1");
    EXPECT_FALSE(formatLogEntry(entry(2, 0, {})));
    EXPECT_FALSE(formatLogEntry(entry(0, 2, {})));
    auto e = entry(0, 0, {});
    EXPECT_FALSE(formatLogEntry(std::span(e.data(), e.size() - 1)));
}

TEST(KbsimFormat, RecordsAndStatusAreHexBytes) {
    std::array<std::uint8_t, KBS_RECORD_SIZE> r{};
    r[0] = 1;
    r[1] = 2;
    r[4] = 0x1D;
    r[6] = 0x04;
    r[16] = 0xF4;
    r[23] = 0xFF;
    EXPECT_EQ(formatRecord(r), "01 02 00 00 1D 00 04 00 00 00 00 00 00 00 00 00 F4 00 00 00 00 00 00 FF");
    EXPECT_EQ(formatStatus(5, 2), "05 02");
    EXPECT_EQ(formatStatus(0xAB, 0), "AB 00");
}

}  // namespace
