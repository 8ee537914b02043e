#include "fake_systems.h"
#include "key_tables.h"
#include "keyboard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kb::kinset {
namespace {

using testing::FakeKeyboardSystem;
using testing::KeyEvent;
using testing::KeyMessage;
using Keys = std::vector<std::pair<int, int>>;

constexpr Device kDev = 0x1234;

class KeyboardTest : public ::testing::Test {
protected:
    FakeKeyboardSystem sys;
    Keyboard kb{sys};
};

// --- Driver record sequences, one per kind of key --------------------------

TEST_F(KeyboardTest, PlainKeysSendOneRecordEachWay) {
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x01E, kPress), 1);
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x01E, kRelease), 1);
    EXPECT_EQ(sys.keys(), (Keys{{0x1E, 0}, {0x1E, 1}}));
    // Any non-zero state releases on the driver.
    sys.sent.clear();
    (void)kb.winMakeCodeSingle(kDev, 0x01E, 7);
    EXPECT_EQ(sys.keys(), (Keys{{0x1E, 1}}));
}

TEST_F(KeyboardTest, TwoByteExtendedKeysReleaseInReverse) {
    (void)kb.winMakeCodeSingle(kDev, 0x137, kPress);  // Print Screen
    (void)kb.winMakeCodeSingle(kDev, 0x137, kRelease);
    EXPECT_EQ(sys.keys(), (Keys{{0x2A, 2}, {0x37, 2}, {0x37, 3}, {0x2A, 3}}));
    sys.sent.clear();
    (void)kb.winMakeCodeSingle(kDev, 0x147, kPress);  // Home
    (void)kb.winMakeCodeSingle(kDev, 0x147, kRelease);
    EXPECT_EQ(sys.keys(), (Keys{{0x47, 2}, {0x47, 3}}));
}

TEST_F(KeyboardTest, PauseSendsE1Pair) {
    (void)kb.winMakeCodeSingle(kDev, 0x045, kPress);
    (void)kb.winMakeCodeSingle(kDev, 0x045, kRelease);
    EXPECT_EQ(sys.keys(), (Keys{{0x1D, 4}, {0x45, 0}, {0x1D, 5}, {0x45, 1}}));
    sys.sent.clear();
    (void)kb.winMakeCodeSingle(kDev, 0x145, kPress);  // Num Lock is a plain key
    EXPECT_EQ(sys.keys(), (Keys{{0x45, 0}}));
}

TEST_F(KeyboardTest, ReleaseOnlyKeyPressSendsNothing) {
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x071, kPress), 1);
    EXPECT_TRUE(sys.sent.empty());
    (void)kb.winMakeCodeSingle(kDev, 0x071, kRelease);
    EXPECT_EQ(sys.keys(), (Keys{{0x71, 1}}));
}

TEST_F(KeyboardTest, CodesWithoutKeySendNothingAndSucceed) {
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x05A, kPress), 1);
    // Outside the table's two ranges: no other key's entry is borrowed.
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x0C7, kPress), 1);
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x1C7, kPress), 1);
    EXPECT_TRUE(sys.sent.empty());
}

TEST_F(KeyboardTest, RecordsGoToTheDeviceArgumentWithAYieldEach) {
    (void)kb.winMakeCodeSingle(kDev, 0x137, kPress);
    (void)kb.akeySingle(0x77, 'a', kPress);
    ASSERT_EQ(sys.sent.size(), 3u);
    EXPECT_EQ(sys.sent[0].device, kDev);
    EXPECT_EQ(sys.sent[2].device, 0x77u);
    EXPECT_EQ(kb.currentDevice(), 0x77u);
    EXPECT_EQ(sys.yields, 3);
    EXPECT_TRUE(sys.recordsBetweenYields);
}

TEST_F(KeyboardTest, ResultIsThatOfTheLastControlCall) {
    sys.sendResult = 0;
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x01E, kPress), 0);
}

TEST(KeyRecord, LayoutIsLittleEndianWithReservedZeros) {
    const Record r = keyRecord(0x9A, 0x0203);
    const Record expected{0x9A, 0, 0x03, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(r, expected);
}

TEST_F(KeyboardTest, DriverStyleRecordsConvertToWinMakeCodes) {
    (void)kb.keyEx(kDev, 0x47, 2);  // Home press
    (void)kb.keyEx(kDev, 0x47, 3);  // Home release
    (void)kb.keyEx(kDev, 0x1D, 4);  // E1: Pause
    (void)kb.keyEx(kDev, 0x47, 0);  // keypad 7
    EXPECT_EQ(sys.keys(), (Keys{{0x47, 2}, {0x47, 3}, {0x1D, 4}, {0x45, 0}, {0x47, 0}}));
    EXPECT_EQ(winMakeCodeOfRecord(0x45, 0), 0x145);
    EXPECT_EQ(winMakeCodeOfRecord(0x1D, 6), 0x11D);  // E0 wins over E1
}

// --- Key tables ---------------------------------------------------------------

TEST(KeyTables, EveryKeyRoundTripsThroughItsWinMakeCode) {
    for (int a = 1; a < 256; ++a) {
        const Akey& k = akeyEntry(static_cast<std::uint8_t>(a));
        if (k.kind == kKindNone) {
            continue;
        }
        const std::uint16_t code = winMakeCodeOfAkey(static_cast<std::uint8_t>(a));
        const std::uint8_t back = akeyOfWinMakeCode(code);
        ASSERT_NE(back, 0) << "Akey " << a;
        // The entry's Akey sends the same key (same win make code, never a shifted twin).
        EXPECT_EQ(winMakeCodeOfAkey(back), code) << "Akey " << a;
        EXPECT_NE(akeyEntry(back).kind, kKindShifted) << "Akey " << a;
    }
}

TEST(KeyTables, NamedCodesHaveAKeyAndLettersFollowUsLayout) {
    char16_t buf[64];
    for (int code = 0; code < 0x180; ++code) {
        if (code >= 0x80 && code < 0x100) {
            continue;
        }
        const KeyNameEntry& e = keyNameEntry(static_cast<std::uint16_t>(code));
        if (!e.primary.empty()) {
            EXPECT_NE(e.akey, 0) << std::hex << code;
        }
    }
    ASSERT_TRUE(writeKeyName(winMakeCodeOfAkey('m'), 0, buf, 64));
    EXPECT_EQ(std::u16string(buf), u"m");
    ASSERT_TRUE(writeKeyName(winMakeCodeOfAkey('?'), 0x02, buf, 64));
    EXPECT_EQ(std::u16string(buf), u"?");
    EXPECT_EQ(winMakeCodeOfAkey('A'), winMakeCodeOfAkey('a'));
    EXPECT_EQ(akeyEntry('A').virtualKey, akeyEntry('a').virtualKey);
    EXPECT_EQ(akeyEntry('~').kind, kKindShifted);
    EXPECT_EQ(akeyEntry('`').kind, kKindPlain);
    EXPECT_EQ(akeyEntry(0xE0).kind, kKindNone);
}

TEST(KeyTables, VirtualKeysMapToTheLowestAkey) {
    EXPECT_EQ(akeyOfVirtualKey(0x41), 'A');
    EXPECT_EQ(akeyOfVirtualKey(0x31), '!');
    EXPECT_EQ(akeyOfVirtualKey(0xDC), '\\');
    EXPECT_EQ(akeyOfVirtualKey(0x2C), 0xA0);  // Print Screen before Sys Req
    EXPECT_EQ(akeyOfVirtualKey(0x10), 0x91);  // generic Shift is the left one
    EXPECT_EQ(akeyOfVirtualKey(0x11), 0x92);
    EXPECT_EQ(akeyOfVirtualKey(0x12), 0x93);
    EXPECT_EQ(akeyOfVirtualKey(0x00), 0);
    EXPECT_EQ(akeyOfVirtualKey(0xFF), 0);
    EXPECT_EQ(akeyOfVirtualKey(0x07), 0);
}

TEST_F(KeyboardTest, VirtualKeySendsNeverAddShift) {
    (void)kb.virtualKeySingle(kDev, 0x41, kPress);
    (void)kb.virtualKeySingle(kDev, 0x41, kRelease);
    EXPECT_EQ(sys.keys(), (Keys{{0x1E, 0}, {0x1E, 1}}));
}

// --- Typing -----------------------------------------------------------------

TEST_F(KeyboardTest, TypingAddsShiftForUpperCaseAndSymbols) {
    const std::uint8_t text[] = "Ab!";
    EXPECT_EQ(kb.typeText(kDev, text, 0), 1);
    EXPECT_EQ(sys.keys(), (Keys{{0x2A, 0}, {0x1E, 0}, {0x1E, 1}, {0x2A, 1},  // A
                                {0x30, 0}, {0x30, 1},                      // b
                                {0x2A, 0}, {0x02, 0}, {0x02, 1}, {0x2A, 1}}));
}

TEST_F(KeyboardTest, TypingWithCapsLockInvertsShiftForLettersOnly) {
    sys.locks.capsLock = true;
    const std::uint8_t text[] = "Ab1";
    (void)kb.typeText(kDev, text, 0);
    EXPECT_EQ(sys.keys(), (Keys{{0x1E, 0}, {0x1E, 1},                      // A
                                {0x2A, 0}, {0x30, 0}, {0x30, 1}, {0x2A, 1},  // b
                                {0x02, 0}, {0x02, 1}}));
}

TEST_F(KeyboardTest, TypingKeypadKeyTapsNumLockAroundItWhenOff) {
    const std::uint8_t text[] = {0xD7, 0};
    (void)kb.typeText(kDev, text, 0);
    EXPECT_EQ(sys.keys(), (Keys{{0x45, 0}, {0x45, 1}, {0x47, 0}, {0x47, 1}, {0x45, 0}, {0x45, 1}}));
    sys.sent.clear();
    sys.locks.numLock = true;
    (void)kb.typeText(kDev, text, 0);
    EXPECT_EQ(sys.keys(), (Keys{{0x47, 0}, {0x47, 1}}));
}

TEST_F(KeyboardTest, TypingHonoursCountAndRefusesEmptyText) {
    const std::uint8_t text[] = "abc";
    (void)kb.typeText(kDev, text, 0x102);  // only the low byte counts: two characters
    EXPECT_EQ(sys.keys().size(), 4u);
    const std::uint8_t empty[] = "";
    EXPECT_EQ(kb.typeText(kDev, empty, 0), 0);
    EXPECT_EQ(kb.typeText(kDev, nullptr, 3), 0);
    EXPECT_EQ(sys.keys().size(), 4u);
}

// --- Lists and chords -----------------------------------------------------

TEST_F(KeyboardTest, AsyncListsTapEachKeyInOrder) {
    const std::uint16_t codes[] = {0x01D, 0x02E, 0};
    EXPECT_EQ(kb.winMakeCodesAsync(kDev, codes, 0), 1);
    EXPECT_EQ(sys.keys(), (Keys{{0x1D, 0}, {0x1D, 1}, {0x2E, 0}, {0x2E, 1}}));
    sys.sent.clear();
    const std::uint8_t vks[] = {0x0D, 0x1B};
    (void)kb.virtualKeysAsync(kDev, vks, 2);
    EXPECT_EQ(sys.keys(), (Keys{{0x1C, 0}, {0x1C, 1}, {0x01, 0}, {0x01, 1}}));
    EXPECT_EQ(kb.akeysAsync(kDev, nullptr, 2), 0);
}

TEST_F(KeyboardTest, ChordsPressInOrderAndReleaseInReverse) {
    const std::uint16_t codes[] = {0x01D, 0x038, 0x153};  // Ctrl Alt Delete
    EXPECT_EQ(kb.winMakeCodesSync(kDev, codes, 3), 1);
    EXPECT_EQ(sys.keys(),
              (Keys{{0x1D, 0}, {0x38, 0}, {0x53, 2}, {0x53, 3}, {0x38, 1}, {0x1D, 1}}));
    sys.sent.clear();
    const std::uint8_t akeys[] = {0x92, 'c', 0};
    (void)kb.akeysSync(kDev, akeys, 0);
    EXPECT_EQ(sys.keys(), (Keys{{0x1D, 0}, {0x2E, 0}, {0x2E, 1}, {0x1D, 1}}));
    sys.sent.clear();
    const std::uint8_t vks[] = {0x11, 0x43};
    (void)kb.virtualKeysSync(kDev, vks, 2);
    EXPECT_EQ(sys.keys(), (Keys{{0x1D, 0}, {0x2E, 0}, {0x2E, 1}, {0x1D, 1}}));
}

TEST_F(KeyboardTest, ChordsOfSevenOrNoKeysAreRefused) {
    const std::uint8_t seven[] = "abcdefg";
    const std::uint16_t codes[] = {1, 2, 3, 4, 5, 6, 7, 0};
    const std::uint8_t six[] = "abcdef";
    EXPECT_EQ(kb.akeysSync(kDev, seven, 7), 0);
    EXPECT_EQ(kb.akeysSync(kDev, seven, 0), 0);
    EXPECT_EQ(kb.winMakeCodesSync(kDev, codes, 0), 0);
    EXPECT_EQ(kb.virtualKeysSync(kDev, six, 7), 0);
    EXPECT_EQ(kb.akeysSync(kDev, seven, 0x107), 0);  // only the low byte counts
    const std::uint8_t empty[] = "";
    EXPECT_EQ(kb.akeysSync(kDev, empty, 0), 0);
    EXPECT_TRUE(sys.sent.empty());
    EXPECT_EQ(kb.akeysSync(kDev, six, 0), 1);
    EXPECT_EQ(sys.sent.size(), 12u);
}

TEST_F(KeyboardTest, RepeatExportsCountAndResult) {
    EXPECT_EQ(kb.keyPress(kDev, 0x41, 0), 0);
    EXPECT_TRUE(sys.sent.empty());
    EXPECT_EQ(kb.keyPress(kDev, 0x41, 2), 1);
    EXPECT_EQ(sys.keys(), (Keys{{0x1E, 0}, {0x1E, 1}, {0x1E, 0}, {0x1E, 1}}));
    sys.sent.clear();
    EXPECT_EQ(kb.keyDown(kDev, 0x10, 2), 0);
    EXPECT_EQ(sys.keys(), (Keys{{0x2A, 0}, {0x2A, 0}}));
    sys.sent.clear();
    EXPECT_EQ(kb.keyUp(kDev, 0x10, 0), 0);
    EXPECT_TRUE(sys.sent.empty());
    EXPECT_EQ(kb.keyUp(kDev, 0x10, 1), 1);
    EXPECT_EQ(sys.keys(), (Keys{{0x2A, 1}}));
    sys.sent.clear();
    EXPECT_EQ(kb.keyPress(kDev, 0x141, 1), 1);  // not a virtual key: nothing sent
    EXPECT_TRUE(sys.sent.empty());
}

// --- Make types that bypass the driver ---------------------------------

TEST_F(KeyboardTest, KeybdEventFlagsAndScanMapping) {
    ASSERT_TRUE(kb.setMakeType(1));
    (void)kb.winMakeCodeSingle(kDev, 0x01E, kPress);
    (void)kb.winMakeCodeSingle(kDev, 0x01E, kRelease);
    (void)kb.winMakeCodeSingle(kDev, 0x01E, 2);  // only state 1 releases
    (void)kb.winMakeCodeSingle(kDev, 0x147, kRelease);
    (void)kb.akeySingle(kDev, 0xE1, kPress);     // Right Shift is sent as extended
    EXPECT_EQ(sys.events, (std::vector<KeyEvent>{{0x41, 0xC1, 0},
                                                 {0x41, 0xC1, kKeyEventKeyUp},
                                                 {0x41, 0xC1, 0},
                                                 {0x24, 0xA4, kKeyEventKeyUp | kKeyEventExtended},
                                                 {0xA1, 0x21, kKeyEventExtended}}));
    EXPECT_TRUE(sys.sent.empty());
    // Keys without a virtual key are skipped.
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x15E, kPress), 1);
    EXPECT_EQ(sys.events.size(), 5u);
}

TEST_F(KeyboardTest, MessageMakeTypesPostOrSendKeyMessages) {
    ASSERT_TRUE(kb.setMakeType(2));
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x147, kPress), 1);
    ASSERT_TRUE(kb.setMakeType(3));
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x01E, kRelease), 1);
    EXPECT_EQ(sys.messages, (std::vector<KeyMessage>{{false, kMessageKeyDown, 0x24, 0x01470001u},
                                                     {true, kMessageKeyUp, 0x41, 0xC01E0001u}}));
    sys.messageResult = 0;  // no window to take it
    EXPECT_EQ(kb.winMakeCodeSingle(kDev, 0x01E, kPress), 0);
    EXPECT_TRUE(sys.sent.empty());
}

TEST_F(KeyboardTest, MakeTypeOutsideRangeIsRefused) {
    ASSERT_TRUE(kb.setMakeType(1));
    EXPECT_FALSE(kb.setMakeType(4));
    EXPECT_FALSE(kb.setMakeType(-1));
    EXPECT_EQ(kb.makeType(), KeyMakeType::KeybdEvent);
}

// --- Key names --------------------------------------------------------------

std::u16string nameOf(std::uint16_t code, std::uint32_t status, std::uint16_t size = 64) {
    char16_t buf[64];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_TRUE(writeKeyName(code, status, buf, size));
    return buf;
}

TEST(KeyNames, StatusWordPicksTheName) {
    EXPECT_EQ(nameOf(0x047, 0x100), u"Num 7");
    EXPECT_EQ(nameOf(0x047, 0), u"Num Home");
    EXPECT_EQ(nameOf(0x047, 0x102), u"Num Home");
    EXPECT_EQ(nameOf(0x010, 0x200), u"Q");
    EXPECT_EQ(nameOf(0x010, 0x202), u"q");
    EXPECT_EQ(nameOf(0x010, 0x20), u"Q");
    EXPECT_EQ(nameOf(0x010, 0), u"q");
    EXPECT_EQ(nameOf(0x002, 0), u"1");
    EXPECT_EQ(nameOf(0x002, 0x02), u"!");
    EXPECT_EQ(nameOf(0x028, 0x20), u"\"");
    EXPECT_EQ(nameOf(0x15B, 0x322), u"Windows");
    EXPECT_EQ(nameOf(0x145, 0), u"Num Lock");
}

TEST(KeyNames, UnnamedCodesGetTheUnknownText) {
    EXPECT_EQ(nameOf(0x05A, 0), u"Unknown key: 05a");
    EXPECT_EQ(nameOf(0x0C7, 0), u"Unknown key: 0c7");
    EXPECT_EQ(nameOf(0x1C7, 0), u"Unknown key: 1c7");
    EXPECT_EQ(nameOf(0xABCD, 0), u"Unknown key: abcd");
}

TEST(KeyNames, ShortBuffersAreCutAndTerminated) {
    EXPECT_EQ(nameOf(0x147, 0, 6), u"Home");  // room to spare
    EXPECT_EQ(nameOf(0x147, 0, 5), u"Home");  // exactly fits
    EXPECT_EQ(nameOf(0x147, 0, 4), u"Hom");
    EXPECT_EQ(nameOf(0x147, 0, 1), u"");
    char16_t buf[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_FALSE(writeKeyName(0x147, 0, buf, 0));
    EXPECT_EQ(buf[0], u'x');
    EXPECT_FALSE(writeKeyName(0x147, 0, nullptr, 10));
}

}  // namespace
}  // namespace kb::kinset

// --- Several callers at once ------------------------------------------------

namespace kb::kinset {
namespace {

// Records which thread sent what, to which device, in one global order.
class SharedSystem final : public KeyboardSystem {
public:
    struct Sent {
        std::thread::id thread;
        Device device;
        int scan;
    };
    int sendRecord(Device device, const Record& record) override {
        {
            std::lock_guard g(lock_);
            sent.push_back({std::this_thread::get_id(), device, record[0] | (record[1] << 8)});
        }
        std::this_thread::yield();  // a driver call takes time: others get to run
        return 1;
    }
    void yield() override { std::this_thread::yield(); }
    LockState lockState() override { return {}; }
    std::uint8_t scanCodeOfVirtualKey(std::uint8_t) override { return 0; }
    void keybdEvent(std::uint8_t, std::uint8_t, std::uint32_t) override {}
    int keyMessage(bool, std::uint32_t, std::uint8_t, std::uint32_t) override { return 1; }

    std::mutex lock_;
    std::vector<Sent> sent;
};

TEST(KeyboardShared, ConcurrentCallersEachReachTheirDeviceWithUnbrokenChords) {
    SharedSystem sys;
    Keyboard kb{sys};
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    const std::uint16_t chord[3] = {0x01D, 0x02A, 0x01E};  // Ctrl+Shift+A: six records
    std::map<std::thread::id, Device> deviceOf;
    std::mutex mapLock;
    std::atomic<int> go{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const Device mine = 0x100 + static_cast<Device>(t);
            {
                std::lock_guard g(mapLock);
                deviceOf[std::this_thread::get_id()] = mine;
            }
            while (go.load() == 0) std::this_thread::yield();
            for (int i = 0; i < kRounds; ++i) (void)kb.winMakeCodesSync(mine, chord, 3);
        });
    }
    go = 1;
    for (auto& t : threads) t.join();

    ASSERT_EQ(sys.sent.size(), static_cast<std::size_t>(kThreads * kRounds * 6));
    int wrongDevice = 0, brokenChords = 0;
    for (std::size_t i = 0; i < sys.sent.size(); ++i) {
        if (sys.sent[i].device != deviceOf.at(sys.sent[i].thread)) ++wrongDevice;
        // Each call's six records stand together.
        if (i % 6 != 0 && sys.sent[i].thread != sys.sent[i - 1].thread) ++brokenChords;
    }
    EXPECT_EQ(wrongDevice, 0);
    EXPECT_EQ(brokenChords, 0);
}

}  // namespace
}  // namespace kb::kinset
