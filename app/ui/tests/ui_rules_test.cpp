#include "app_rules.h"
#include "generated/control_ids.h"
#include "key_buttons.h"

#include <gtest/gtest.h>

#include <set>

namespace kb::ui {
namespace {

TEST(KeyButtons, EveryButtonHasItsOwnIdAndSlotInBothBanks) {
    std::set<int> ids;
    for (int bank : {0, 1}) {
        std::set<int> slots;
        for (const KeyButton& b : keyButtons()) {
            EXPECT_GE(b.id, kFirstKeyButtonId);
            EXPECT_LE(b.id, kLastKeyButtonId);
            EXPECT_NE(b.id, kEnterUpperButtonId);
            if (bank == 0) ids.insert(b.id);
            EXPECT_TRUE(slots.insert(slotOfButton(b, bank)).second) << b.id;
            EXPECT_EQ(keyButtonBySlot(slotOfButton(b, bank), bank), &b);
        }
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kKeyButtonCount));
}

// The generated templates and skin, and the driver tables' key order, must
// agree on which button is which key.
TEST(KeyButtons, AgreeWithTheGeneratedLayout) {
    namespace gen = kb::res::main_window;
    for (const auto* group : {&gen::kMacroKeys[0], &gen::kKeyboardKeys[0], &gen::kKeypadKeys[0]}) {
        const std::size_t count = group == &gen::kMacroKeys[0]      ? std::size(gen::kMacroKeys)
                                  : group == &gen::kKeyboardKeys[0] ? std::size(gen::kKeyboardKeys)
                                                                    : std::size(gen::kKeypadKeys);
        for (std::size_t i = 0; i < count; ++i) {
            const KeyButton* b = keyButtonById(group[i].id);
            ASSERT_NE(b, nullptr) << group[i].id;
            EXPECT_EQ(b->makeCode, group[i].makeCode) << group[i].id;
            EXPECT_EQ(b->skinKey, group[i].skinKey) << group[i].id;
        }
    }
}

TEST(KeyButtons, IdsStandForTheirKeysSlotsAndSkinEntries) {
    struct Case {
        int id;
        WinMakeCode code;
        int slot;
        const char16_t* entry;
    };
    const Case cases[] = {
        {1058, 0x01E, 0x01E, u"KEY_01E"},  // A, first of the fixed order
        {1090, 0x039, 0x039, u"KEY_039"},  // Space
        {1091, 0x137, 0x0B7, u"KEY_0B7"},  // Print
        {1089, 0x11D, 0x09D, u"KEY_09D"},  // right Ctrl
        {1087, 0x15C, 0x0DC, u"KEY_0DC"},  // right Win, last keyboard key
        {1010, 0x03B, 0x03B, u"KEY_03B"},  // F1
        {1019, 0x03B, 0x23B, u"KEY_23B"},  // D4 carries F1's code on the keypad
        {1016, 0x03E, 0x23E, u"KEY_23E"},  // D1
        {1104, 0x145, 0x2C5, u"KEY_2C5"},  // Num Lock
        {1118, 0x11C, 0x29C, u"KEY_29C"},  // keypad Enter
        {1115, 0x04F, 0x24F, u"KEY_24F"},  // keypad 1
        {1111, 0x04E, 0x24E, u"KEY_24E"},  // keypad +, last keypad key
    };
    for (const Case& c : cases) {
        const KeyButton* b = keyButtonById(c.id);
        ASSERT_NE(b, nullptr) << c.id;
        EXPECT_EQ(b->makeCode, c.code) << c.id;
        EXPECT_EQ(slotOfButton(*b, 0), c.slot) << c.id;
        EXPECT_EQ(skinEntryName(*b), c.entry) << c.id;
        EXPECT_EQ(deviceGroupOfButton(*b), c.slot >= 0x200 ? 1 : 0);
    }
    EXPECT_EQ(keyButtonById(kEnterUpperButtonId), nullptr);
    EXPECT_EQ(keyButtonById(1121), nullptr);
}

TEST(KeyButtons, MacroKeysFollowTheBank) {
    const KeyButton* a3 = keyButtonById(1002);
    ASSERT_NE(a3, nullptr);
    EXPECT_EQ(skinEntryName(*a3), u"KEY_102");
    EXPECT_EQ(slotOfButton(*a3, 0), 258);
    EXPECT_EQ(slotOfButton(*a3, 1), 263);
    // A slot of the other bank has no button.
    EXPECT_EQ(keyButtonBySlot(263, 0), nullptr);
    EXPECT_EQ(keyButtonBySlot(258, 1), nullptr);
    EXPECT_EQ(keyButtonBySlot(0x59, 0), nullptr);  // no key uses it
    EXPECT_EQ(macroKeyCaption(0, 0), u"A1");
    EXPECT_EQ(macroKeyCaption(1, 4), u"B5");
}

TEST(KeyButtons, KeypadButtonsWearTheSecondImageSet) {
    const FaceSet keypad = normalFaces(KeyGroup::Keypad);
    EXPECT_EQ(keypad.normal, StatusImage::S1b);
    EXPECT_EQ(keypad.marked, StatusImage::S4b);
    const FaceSet keyboard = normalFaces(KeyGroup::Keyboard);
    EXPECT_EQ(keyboard.disabled, StatusImage::S1);
    EXPECT_EQ(keyboard.marked, StatusImage::S4);
    // The edit look shows the hover face also without the mouse.
    const FaceSet edit = editFaces(KeyGroup::MacroKey);
    EXPECT_EQ(edit.normal, StatusImage::S2);
    EXPECT_EQ(edit.marked, StatusImage::S2);
    EXPECT_EQ(editFaces(KeyGroup::Keypad).normal, StatusImage::S2b);
}

TEST(AppPaths, AreBuiltFromTheProgramsOwnPath) {
    const auto p = buildAppPaths(u"C:\\Program Files\\Vortek\\KbPanel.exe");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->programFileName, u"KbPanel.exe");
    EXPECT_EQ(p->programFolder, u"C:\\Program Files\\Vortek\\");
    EXPECT_EQ(p->helpFolder, u"C:\\Program Files\\Vortek\\Help\\");
    EXPECT_EQ(p->mainSkinFile, u"C:\\Program Files\\Vortek\\Skins\\Main.ini");
    EXPECT_EQ(p->macroSkinFile, u"C:\\Program Files\\Vortek\\Skins\\Macro.ini");
    EXPECT_EQ(p->skinFolder, u"C:\\Program Files\\Vortek\\Skins\\");
    EXPECT_FALSE(buildAppPaths(u"KbPanel.exe"));
    EXPECT_FALSE(buildAppPaths(u"C:\\folder\\"));
    // A folder so deep that a skin file would not fit is refused, not cut.
    const std::u16string deep = u"C:\\" + std::u16string(240, u'a') + u"\\KbPanel.exe";
    EXPECT_FALSE(buildAppPaths(deep));
}

TEST(CommandLine, KillIsRecognisedInAnyCaseAndPlace) {
    EXPECT_TRUE(asksToKill({u"/kill"}));
    EXPECT_TRUE(asksToKill({u"/KILL"}));
    EXPECT_TRUE(asksToKill({u"x", u"/Kill"}));
    EXPECT_FALSE(asksToKill({}));
    EXPECT_FALSE(asksToKill({u"-kill", u"/Kil", u"/Kills", u"Kill"}));
}

TEST(SessionSuspension, OnlyTheMatchingEventRestores) {
    using A = SessionSuspension::Action;
    SessionSuspension s;
    EXPECT_EQ(s.onSessionChange(8), A::None);  // unlock while not suspended
    EXPECT_EQ(s.onSessionChange(7), A::Withdraw);
    EXPECT_EQ(s.onSessionChange(1), A::None);  // a console connect does not undo a lock
    EXPECT_EQ(s.onSessionChange(5), A::None);
    EXPECT_EQ(s.onSessionChange(8), A::Restore);
    EXPECT_FALSE(s.suspended());

    EXPECT_EQ(s.onSessionChange(2), A::Withdraw);
    EXPECT_EQ(s.onSessionChange(7), A::None);  // already suspended; now awaits the unlock
    EXPECT_EQ(s.onSessionChange(1), A::None);
    EXPECT_EQ(s.onSessionChange(8), A::Restore);
}

TEST(TrayPicture, PlaybackReturnsToTheAttachState) {
    TrayPicture t;
    t.added(128);
    EXPECT_EQ(t.attachState(0), std::nullopt);  // already shows "no keyboard"
    EXPECT_EQ(t.attachState(1), 141);
    EXPECT_EQ(t.playbackIndication(true, 0), 142);
    EXPECT_EQ(t.playbackIndication(true, 0), std::nullopt);
    EXPECT_EQ(t.playbackIndication(false, 0), 141);
    EXPECT_EQ(t.attachState(0), 128);
    EXPECT_EQ(t.playbackIndication(true, 0), 142);
    EXPECT_EQ(t.playbackIndication(false, 0), 128);
    t.removed();
    EXPECT_EQ(t.current(), 0);
}

}  // namespace
}  // namespace kb::ui
