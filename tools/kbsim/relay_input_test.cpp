#include "relay_input.h"

#include <gtest/gtest.h>

#include <array>

#include "kbsim/sieve_ioctl.h"

namespace kb::sim {
namespace {

using Entry = std::array<std::uint8_t, KBS_LOG_ENTRY_SIZE>;

Entry keyEntry(std::uint8_t origin, std::uint16_t scan, std::uint16_t flags) {
    Entry e{};
    e[0] = origin;
    e[1] = KBS_KIND_KEY;
    e[4] = static_cast<std::uint8_t>(scan), e[5] = static_cast<std::uint8_t>(scan >> 8);
    e[6] = static_cast<std::uint8_t>(flags), e[7] = static_cast<std::uint8_t>(flags >> 8);
    return e;
}

Entry mouseEntry(std::uint16_t flags, std::uint16_t buttons, std::uint16_t data, std::int32_t x, std::int32_t y) {
    Entry e{};
    e[0] = KBS_ORIGIN_INJECTED;
    e[1] = KBS_KIND_MOUSE;
    auto w16 = [&](int at, std::uint16_t v) { e[at] = static_cast<std::uint8_t>(v), e[at + 1] = static_cast<std::uint8_t>(v >> 8); };
    w16(6, flags);
    w16(8, buttons);
    w16(10, data);
    for (int i = 0; i < 4; ++i) e[12 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(x) >> (8 * i));
    for (int i = 0; i < 4; ++i) e[16 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(y) >> (8 * i));
    return e;
}

RelayedInput key(std::uint16_t code, std::uint8_t vk, bool up) {
    RelayedInput in;
    in.code = code, in.virtualKey = vk, in.up = up;
    return in;
}
RelayedInput mouse(std::uint32_t flags, std::int32_t x = 0, std::int32_t y = 0, std::int32_t data = 0) {
    RelayedInput in;
    in.mouse = true, in.flags = flags, in.x = x, in.y = y, in.data = data;
    return in;
}

std::vector<RelayedInput> run(RelayTranslator& t, std::initializer_list<Entry> entries) {
    std::vector<RelayedInput> out;
    for (const Entry& e : entries) t.translate(e, out);
    return out;
}

constexpr std::uint8_t P = KBS_ORIGIN_PHYSICAL, I = KBS_ORIGIN_INJECTED;

TEST(RelayTranslator, KeysBecomeTheKeysTheSystemWouldSee) {
    RelayTranslator t;
    EXPECT_EQ(run(t, {keyEntry(P, 0x1E, 0), keyEntry(P, 0x1E, 1), keyEntry(P, 0x1C, 2), keyEntry(P, 0x45, 0),
                      keyEntry(P, 0x1D, 4), keyEntry(P, 0x45, 1)}),
              (std::vector{key(0x01E, 'A', false), key(0x01E, 'A', true), key(0x11C, 0x0D, false),
                           key(0x145, 0x90, false), key(0x045, 0x13, false), key(0x145, 0x90, true)}))
        << "A, Num Enter extended, Num Lock extended, a physical Pause then Num Lock";
    // The injection library's Pause and Print Screen sequences give one key each.
    EXPECT_EQ(run(t, {keyEntry(I, 0x1D, 4), keyEntry(I, 0x45, 0), keyEntry(I, 0x1D, 5), keyEntry(I, 0x45, 1),
                      keyEntry(I, 0x2A, 2), keyEntry(I, 0x37, 2), keyEntry(I, 0x37, 3), keyEntry(I, 0x2A, 3)}),
              (std::vector{key(0x045, 0x13, false), key(0x045, 0x13, true), key(0x137, 0x2C, true)}))
        << "Print Screen reports only its release";
    EXPECT_EQ(run(t, {keyEntry(I, 0x45, 0)}), (std::vector{key(0x145, 0x90, false)})) << "Num Lock after Pause ended";
    EXPECT_TRUE(run(t, {keyEntry(I, 0x100, 0), keyEntry(I, 0x1E, 8)}).empty()) << "no such key";
}

TEST(RelayTranslator, MouseRecordsBecomeMoveButtonAndWheelInput) {
    RelayTranslator t;
    EXPECT_EQ(run(t, {mouseEntry(1, 0, 0, 32768, 100), mouseEntry(0, 0x001 | 0x004, 0, 0, 0), mouseEntry(0, 0x008, 0, 0, 0),
                      mouseEntry(0, 0x400, static_cast<std::uint16_t>(-240), 0, 0), mouseEntry(0, 0x100, 0, 5, -3)}),
              (std::vector{mouse(kMouseMove | kMouseAbsolute, 32768, 100), mouse(kMouseLeftDown | kMouseRightDown),
                           mouse(kMouseRightUp), mouse(kMouseWheel, 0, 0, -240), mouse(kMouseMove, 5, -3),
                           mouse(kMouseXDown, 0, 0, 2)}));
}

TEST(RelayTranslator, ReleaseAllLeavesNothingDown) {
    RelayTranslator t;
    run(t, {keyEntry(P, 0x2A, 0), keyEntry(P, 0x1E, 0), keyEntry(P, 0x1E, 1), keyEntry(P, 0x1C, 2),
            mouseEntry(0, 0x001, 0, 0, 0), mouseEntry(0, 0x040, 0, 0, 0)});
    std::vector<RelayedInput> out;
    t.releaseAll(out);
    EXPECT_EQ(out, (std::vector{key(0x11C, 0x0D, true), key(0x02A, 0xA0, true), mouse(kMouseLeftUp),
                                mouse(kMouseXUp, 0, 0, 1)}));
    out.clear();
    t.releaseAll(out);
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace kb::sim
