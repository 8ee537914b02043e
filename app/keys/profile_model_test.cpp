#include "profile_file.h"
#include "fake_window_sink.h"
#include "profile_activation.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

using namespace testing;

TEST(ProfileRecordLayout, DefaultProfileAndSlots) {
    const ProfileRecord r = buildDefaultProfile(1);
    EXPECT_EQ(headerProblem(r.data()), nullptr);
    EXPECT_EQ(r.data()[FileHeader::kDefaultMark], 1);
    for (int s = 0; s < kSlotCount; ++s) {
        const KeyEntry e = r.entry(s);
        EXPECT_EQ(e.type, 0);
        EXPECT_EQ(e.parameter, 0u);
        EXPECT_EQ(e.macroKeyCode != 0, isMacroKeySlot(s)) << s;
    }
    EXPECT_EQ(r.entry(256).macroKeyCode, 0x1302);
    EXPECT_EQ(r.entry(265).macroKeyCode, 0x2306);
    const std::uint8_t* d = r.data() + 32;
    EXPECT_EQ(readU16(d + 4), 16416);
    EXPECT_EQ(readU16(d + 16), 0x04D9);
    EXPECT_EQ(readU16(d + 22), 0x000E);
    EXPECT_EQ(slotOf(1, 0x11C), 512 + 0x9C);
    EXPECT_EQ(keyboardKeyOfSlot(slotOf(0, 0x045)), 65);
    EXPECT_EQ(keypadKeyOfSlot(slotOf(1, 0x03E)), 0);
    EXPECT_EQ(keyboardKeyOfSlot(slotOf(1, 0x03E)), -1);
}

struct Assigning : ::testing::Test, testing::OneLoadedProfile {
    void SetUp() override { ASSERT_TRUE(loadOnly("a.px3")); }
};

TEST_F(Assigning, TextsFollowTheFunction) {
    const int slot = slotOf(0, 0x01E);
    ASSERT_EQ(assign(model, list, window, prompt, 0, slot, {3, 0, 0, u"C:\\a.exe"}), AssignResult::Done);
    EXPECT_EQ(model.texts.total(), 18u);
    EXPECT_TRUE(window.marks.at(slot));
    EXPECT_EQ(window.applyStates.back(), true);
    ProfileContent saved;
    ASSERT_TRUE(readProfileFile(file, saved));
    EXPECT_EQ(saved.texts.text(slot), u"C:\\a.exe");

    ASSERT_EQ(assign(model, list, window, prompt, 0, slot, {0, 0, 0, {}}), AssignResult::Done);
    EXPECT_EQ(model.texts.total(), 0u);
    EXPECT_FALSE(model.texts.has(slot));
    EXPECT_FALSE(window.marks.at(slot));

    // A program path is cut to 259 characters; a text block keeps its length.
    ASSERT_EQ(assign(model, list, window, prompt, 0, slot, {3, 0, 0, std::u16string(400, u'p')}), AssignResult::Done);
    EXPECT_EQ(readEntry(model, slot)->text.size(), 259u);
    ASSERT_EQ(assign(model, list, window, prompt, 1, 0x4F, {6, 0, 0, std::u16string(400, u't')}), AssignResult::Done);
    EXPECT_EQ(readEntry(model, 512 + 0x4F)->text.size(), 400u);
    EXPECT_EQ(model.texts.total(), 520u + 802u);
}

TEST_F(Assigning, ParametersAndMacroKeyCodes) {
    ASSERT_EQ(assign(model, list, window, prompt, 0, 2, {2, 0x24, 0, {}}), AssignResult::Done);
    EXPECT_EQ(readEntry(model, 2)->parameter, 0x01Cu);  // list position 0x24 is Enter
    ASSERT_EQ(assign(model, list, window, prompt, 0, 261, {4, 0, 7, {}}), AssignResult::Done);
    EXPECT_EQ(model.record->entry(261), (KeyEntry{4, 0x2302, 7}));
    EXPECT_TRUE(hasFunction(model, 261));
    EXPECT_EQ(assign(model, list, window, prompt, 0, 3, {2, 0x85, 0, {}}), AssignResult::BadArgument);
    EXPECT_EQ(assign(model, list, window, prompt, 0, 3, {7, 0, 0, {}}), AssignResult::BadArgument);
    EXPECT_EQ(assign(model, list, window, prompt, 4, 3, {1, 0, 0, {}}), AssignResult::BadArgument);
    EXPECT_FALSE(hasFunction(model, 3));
}

TEST_F(Assigning, LayerEditsKeepTheBaseAndTravelInTheFile) {
    const int a = slotOf(0, 0x01E), c = slotOf(0, 0x02E);
    ASSERT_EQ(assign(model, list, window, prompt, 0, a, {2, listCodeOfKey(0x030), 0, {}}), AssignResult::Done);
    EXPECT_EQ(keyMark(model, a, 1), KeyMark::Inherited);
    EXPECT_EQ(describeKeyFunction(model, a, 1), u"透明: " + describeKeyFunction(model, a));
    EXPECT_EQ(keyMark(model, c, 1), KeyMark::None);

    ASSERT_EQ(assign(model, list, window, prompt, 0, c, {1, 0, 0, {}}, {2, false, {}}), AssignResult::Done);
    ASSERT_EQ(model.extension.layers.size(), 2u);  // layer 1 comes in, all transparent
    EXPECT_TRUE(model.extension.layers[0].keys.empty());
    EXPECT_EQ(keyMark(model, c, 2), KeyMark::Own);
    EXPECT_EQ(keyMark(model, c, 1), KeyMark::None);
    EXPECT_EQ(describeKeyFunction(model, c, 2), u"无功能");
    EXPECT_EQ(readEntry(model, c)->type, 0);
    ProfileContent saved;
    ASSERT_TRUE(readProfileFile(file, saved));
    EXPECT_EQ(saved.extension, model.extension);

    ASSERT_EQ(assign(model, list, window, prompt, 0, c, {0, 0, 0, {}}, {2, true, {}}), AssignResult::Done);
    EXPECT_EQ(keyMark(model, c, 2), KeyMark::None);
    // Macro keys have no layers; the base has nothing to be transparent to.
    EXPECT_EQ(assign(model, list, window, prompt, 0, kFirstMacroKeySlot, {1, 0, 0, {}}, {1, false, {}}),
              AssignResult::BadArgument);
    EXPECT_EQ(assign(model, list, window, prompt, 0, c, {0, 0, 0, {}}, {0, true, {}}), AssignResult::BadArgument);
}

TEST_F(Assigning, LayerAndTapHoldKeysKeepFallbacks) {
    const int caps = slotOf(0, 0x03A), tab = slotOf(0, 0x00F);
    const Assignment none{0, 0, 0, {}};
    LayerChoice tapHold{0, false, ExtKey{0, ExtKeyKind::TapHold, 1, LayerMode::Momentary, 0x001, 0x01D, 0, 200}};
    ASSERT_EQ(assign(model, list, window, prompt, 0, caps, none, tapHold), AssignResult::Done);
    EXPECT_EQ(readEntry(model, caps)->type, 2);
    EXPECT_EQ(readEntry(model, caps)->parameter, 0x001u);
    EXPECT_EQ(describeKeyFunction(model, caps).rfind(u"双功能键: 点按 ", 0), 0u);

    const LayerChoice layerKey{0, false, ExtKey{0, ExtKeyKind::Layer, 3, LayerMode::Toggle, 0, 0, 0, 200}};
    ASSERT_EQ(assign(model, list, window, prompt, 0, tab, none, layerKey), AssignResult::Done);
    EXPECT_EQ(model.extension.layers.size(), 3u);
    EXPECT_EQ(readEntry(model, tab)->type, 1);
    EXPECT_EQ(describeKeyFunction(model, tab), u"层键: 层 3 (切换)");
    EXPECT_EQ(keyMark(model, tab, 2), KeyMark::Inherited);
    ProfileContent saved;
    ASSERT_TRUE(readProfileFile(file, saved));
    EXPECT_EQ(saved.extension, model.extension);

    // A term out of range changes nothing; one of the seven functions replaces the key.
    const ProfileExtension before = model.extension;
    tapHold.ext->termMs = 20;
    EXPECT_EQ(assign(model, list, window, prompt, 0, caps, none, tapHold), AssignResult::BadArgument);
    EXPECT_EQ(model.extension, before);
    ASSERT_EQ(assign(model, list, window, prompt, 0, caps, none), AssignResult::Done);
    EXPECT_EQ(model.extension.keyOf(caps), nullptr);
    EXPECT_EQ(readEntry(model, caps)->type, 0);
}

TEST_F(Assigning, ButtonMarksFollowTheBank) {
    model.record->setEntry(258, {1, 0x1304, 0});
    model.record->setEntry(263, {1, 0x2304, 0});
    model.record->setEntry(slotOf(1, 0x052), {1, 0, 0});
    window.bank = 1;
    markKeyButtons(model, window);
    EXPECT_EQ(window.markOrder.size(), 5u + 87u + 23u);
    EXPECT_EQ(window.marks.count(258), 0u);
    EXPECT_TRUE(window.marks.at(263));
    EXPECT_TRUE(window.marks.at(slotOf(1, 0x052)));
    EXPECT_EQ(window.marks.count(slotOf(0, 0x052)), 0u);  // the 87 keys have no number pad
    EXPECT_FALSE(window.marks.at(slotOf(0, 0x01E)));

    window.marks.clear();
    unmarkKeyButton(window, 258);  // other bank: no button shows it
    unmarkKeyButton(window, 300);  // no key
    unmarkKeyButton(window, 0x59); // a slot none of the 87 keys uses
    EXPECT_TRUE(window.marks.empty());
    unmarkKeyButton(window, 263);
    unmarkKeyButton(window, slotOf(1, 0x052));
    EXPECT_EQ(window.marks.size(), 2u);
}

TEST(KeyToolTips, NameEachFunctionAndItsTarget) {
    ProfileModel model;
    EXPECT_EQ(describeKeyFunction(model, 0x1E), u"");  // no profile
    model.record = buildDefaultProfile(0);
    MacroRecord greeting;
    greeting.setName(u"问候");
    greeting.setMacroId(7);
    model.macros.push_back(greeting);
    model.record->setEntry(0x10, {1, 0, 0});
    model.record->setEntry(0x11, {2, 0, 0x1E});
    model.record->setEntry(0x12, {3, 0, 0});
    model.texts.set(0x12, u"C:\\Windows\\notepad.exe");
    model.record->setEntry(0x13, {4, 0, 7});
    model.record->setEntry(0x14, {4, 0, 8});  // its macro is gone
    model.record->setEntry(0x15, {5, 0, 0});
    model.record->setEntry(0x16, {6, 0, 0});
    model.texts.set(0x16, u"你好\r\n世界");
    model.record->setEntry(0x17, {6, 0, 0});
    model.texts.set(0x17, u"0123456789abcdef\U0001F600 and more");
    model.record->setEntry(0x18, {6, 0, 0});
    model.texts.set(0x18, u"short");
    EXPECT_EQ(describeKeyFunction(model, 0x1E), u"默认功能");
    EXPECT_EQ(describeKeyFunction(model, 0x10), u"无功能");
    EXPECT_EQ(describeKeyFunction(model, 0x11), u"分配新按键: A");
    EXPECT_EQ(describeKeyFunction(model, 0x12), u"启动程序: notepad.exe");
    EXPECT_EQ(describeKeyFunction(model, 0x13), u"播放宏: 问候");
    EXPECT_EQ(describeKeyFunction(model, 0x14), u"播放宏");
    EXPECT_EQ(describeKeyFunction(model, 0x15), u"停止播放中的宏");
    EXPECT_EQ(describeKeyFunction(model, 0x16), u"文字块: 你好…");
    EXPECT_EQ(describeKeyFunction(model, 0x17), u"文字块: 0123456789abcdef…");
    EXPECT_EQ(describeKeyFunction(model, 0x18), u"文字块: short");
}

struct SwitchDialogs final : EditingDialogs {
    bool keyOpen = false, macroOpen = false;
    bool keyFunctionDialogOpen() const override { return keyOpen; }
    bool macroEditorOpen() const override { return macroOpen; }
};

struct Manager final : ProfileManagerView {
    bool open = false, changes = false;
    int reloads = 0, checked = -99;
    bool isOpen() const override { return open; }
    bool hasUnappliedChanges() const override { return changes; }
    void reloadFromStore() override { ++reloads; }
    void checkRow(int i) override { checked = i; }
};

TEST(ProfileListSettings, DefaultsFormatsAndMenu) {
    MemorySettingsStore store;
    ProfileList list(store);
    EXPECT_EQ(list.profileCount(), 0);
    EXPECT_EQ(store.read(u"PROFILES", u"PROFILE00"), u"0");
    EXPECT_EQ(list.activeIndex(), -1);
    EXPECT_EQ(list.profilePath(0), u"NA");
    ProfileMenu menu = buildProfileMenu(list);
    ASSERT_EQ(menu.items.size(), 2u);
    EXPECT_EQ(menu.items[0].text, u"<默认情景模式>");
    EXPECT_TRUE(menu.items[1].isSeparator());
    EXPECT_EQ(menu.checkedPosition, 0);

    list.setProfileCount(3);
    for (int i = 0; i < 3; ++i) {
        std::u16string path = u"C:\\P\\prof";
        path += formatDecimal(i);
        path += u".px3";
        list.setProfilePath(i, path);
    }
    list.setActiveIndex(1);
    EXPECT_EQ(store.read(u"PROFILES", u"PROFILE02"), u"C:\\P\\prof1.px3");
    menu = buildProfileMenu(list);
    EXPECT_EQ(menu.checkedPosition, 3);
    EXPECT_EQ(menu.items[3].commandId, 9002);
    EXPECT_EQ(menu.activeName, u"prof1");
    EXPECT_EQ(menu.toolTip, u"当前情景模式: prof1");
    list.setActiveIndex(7);  // beyond the list: nothing checked
    EXPECT_EQ(buildProfileMenu(list).checkedPosition, -1);

    EXPECT_EQ(profileValueName(99), u"PROFILE99");
    EXPECT_EQ(profileValueName(100), u"PROFILE100");
    EXPECT_EQ(list.setFlip(5), 0);
    EXPECT_EQ(store.read(u"PROFILES", u"Flip"), u"0");
    EXPECT_EQ(list.setRecordDelay(1), 1);
    EXPECT_EQ(list.recordDelay(), 1);
    (void)store.write(u"PROFILES", u"ACTIVE", u" 12abc");
    EXPECT_EQ(list.activeIndex(), 12);
    (void)store.write(u"PROFILES", u"ACTIVE", u"x");
    EXPECT_EQ(list.activeIndex(), -1);
    (void)store.write(u"PROFILES", u"ACTIVE", u"99999999999");
    EXPECT_EQ(list.activeIndex(), -1);
}

struct Switching : ::testing::Test, testing::ActivationRig {
    SwitchDialogs dialogs;
    Manager manager;
    void SetUp() override {
        list.setProfileCount(2);
        for (int i = 0; i < 2; ++i) {
            const auto f = dir / std::string(i == 0 ? "s0.px3" : "s1.px3");
            ASSERT_EQ(writeDefaultProfileFile(f, 0), 1);
            list.setProfilePath(i, f.u16string());
        }
        list.setActiveIndex(-1);
    }
};

TEST_F(Switching, OpenEditingDialogBlocksTheSwitch) {
    dialogs.keyOpen = true;
    EXPECT_EQ(activation.switchTo(1, dialogs, &manager), SwitchResult::DialogsOpen);
    EXPECT_EQ(list.activeIndex(), -1);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], text::kCloseDialogsFirst);
    EXPECT_TRUE(window.menus.empty());
}

TEST_F(Switching, ManagerStatesAndIndexRange) {
    EXPECT_EQ(activation.switchTo(1, dialogs, &manager), SwitchResult::Switched);
    EXPECT_EQ(list.activeIndex(), 1);
    ASSERT_EQ(window.menus.size(), 1u);
    EXPECT_EQ(window.menus[0].activeName, u"s1");
    EXPECT_EQ(window.applyStates.back(), false);

    manager.open = true;
    EXPECT_EQ(activation.switchTo(5, dialogs, &manager), SwitchResult::Switched);  // beyond the list: default profile
    EXPECT_EQ(list.activeIndex(), -1);
    EXPECT_EQ(manager.checked, -1);

    manager.changes = true;
    prompt.answer = false;
    EXPECT_EQ(activation.switchTo(0, dialogs, &manager), SwitchResult::ManagerKept);
    EXPECT_EQ(list.activeIndex(), -1);
    prompt.answer = true;
    EXPECT_EQ(activation.switchTo(0, dialogs, &manager), SwitchResult::Switched);
    EXPECT_EQ(list.activeIndex(), 0);
    EXPECT_EQ(manager.reloads, 1);
    EXPECT_EQ(prompt.questions.back(), text::kDropManagerChanges);
}

}  // namespace
}  // namespace kb
