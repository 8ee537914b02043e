#include "key_dialog_model.h"

#include "key_catalogue.h"
#include "profile_file.h"
#include "test_fakes.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

struct KeyDialog : ::testing::Test, testing::OneLoadedProfile {
    KeyDialogModel dialog;

    void SetUp() override { ASSERT_TRUE(loadOnly("k.px3")); }
    KeyDialogModel::ApplyOutcome apply() { return dialog.apply(model, list, window, prompt); }
    KeyEntry savedEntry(int slot) {
        ProfileContent c;
        EXPECT_TRUE(readProfileFile(file, c));
        return c.record.entry(slot);
    }
};

TEST_F(KeyDialog, OpeningShowsTheEntryWithItsControls) {
    model.record->setEntry(0x1E, {2, 0, 0x11C});
    dialog.open({0, 0x1E, 1058}, model);
    EXPECT_TRUE(dialog.isOpen());
    EXPECT_FALSE(dialog.isOpenForMacroKey());
    EXPECT_EQ(dialog.type(), 2);
    EXPECT_EQ(KeyDialogModel::targetNames().at(static_cast<std::size_t>(dialog.targetIndex())), u"Num Enter");
    EXPECT_EQ(KeyDialogModel::targetNames().size(), 133u);
    EXPECT_TRUE(dialog.controlEnabled(keydlg::kTargetList));
    for (int id : {keydlg::kPathEdit, keydlg::kBrowse, keydlg::kMacroList, keydlg::kTextEdit}) {
        EXPECT_FALSE(dialog.controlEnabled(id)) << id;
    }
    EXPECT_FALSE(dialog.changed());
    EXPECT_FALSE(dialog.selectType(2, true));  // the current type
    EXPECT_FALSE(dialog.selectType(keydlg::kTypeCount, true));
    EXPECT_FALSE(dialog.selectType(keydlg::kTypeTransparent, true));  // on the base
    EXPECT_FALSE(dialog.changed());
    EXPECT_TRUE(dialog.selectType(3, true));
    EXPECT_TRUE(dialog.changed());
    EXPECT_TRUE(dialog.controlEnabled(keydlg::kPathEdit) && dialog.controlEnabled(keydlg::kBrowse));
    EXPECT_FALSE(dialog.controlEnabled(keydlg::kTargetList));
    dialog.close();
    EXPECT_FALSE(dialog.isOpen());
    EXPECT_FALSE(dialog.selectType(1, true));  // closed

    // A play-macro key shows its macro; a text key its text.
    MacroRecord a, b;
    a.setName(u"a");
    a.setMacroId(4);
    b.setName(u"b");
    b.setMacroId(9);
    model.macros = {a, b};
    model.record->setEntry(0x20, {4, 0, 9});
    dialog.open({0, 0x20, 1060}, model);
    EXPECT_EQ(dialog.macroNames(), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(dialog.macroIndex(), 1);
    dialog.close();
    model.texts.set(0x21, u"hello");
    model.record->setEntry(0x21, {6, 0, 0});
    dialog.open({0, 0x21, 1061}, model);
    EXPECT_EQ(dialog.textBlock(), u"hello");
    EXPECT_TRUE(dialog.controlEnabled(keydlg::kTextEdit));
}

TEST_F(KeyDialog, EachTypeWritesOnlyItsKey) {
    struct Case {
        int type;
        std::uint32_t parameter;
    };
    MacroRecord m;
    m.setName(u"m");
    m.setMacroId(5);
    model.macros = {m};
    const std::vector<std::uint8_t> before = testing::fileBytes(file);
    for (int type = 0; type <= 6; ++type) {
        dialog.open({0, 0x10, 1044}, model);
        if (type == dialog.type()) (void)dialog.selectType(type == 0 ? 1 : 0, true);
        ASSERT_TRUE(dialog.selectType(type, true));
        if (type == 2) {
            dialog.chooseTarget(listCodeOfKey(0x1C));
        } else if (type == 3) {
            dialog.editPath(u"C:\\x.exe");
        } else if (type == 6) {
            dialog.editText(u"text");
        }
        ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied) << type;
        EXPECT_FALSE(dialog.changed());
        dialog.close();
        const KeyEntry e = savedEntry(0x10);
        EXPECT_EQ(e.type, type);
        if (type == 2) {
            EXPECT_EQ(e.parameter, 0x1Cu);
        } else if (type == 4) {
            EXPECT_EQ(e.parameter, 5u);
        }
        ProfileContent c;
        ASSERT_TRUE(readProfileFile(file, c));
        for (int s = 0; s < kSlotCount; ++s) {
            if (s != 0x10) {
                ASSERT_EQ(c.record.entry(s), buildDefaultProfile(0).entry(s)) << s;
            }
        }
        if (type == 3) {
            EXPECT_EQ(c.texts.text(0x10), u"C:\\x.exe");
        }
    }
    EXPECT_NE(testing::fileBytes(file), before);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(KeyDialog, MacroAndKeypadKeysEditTheirOwnSlots) {
    KeyTarget t;
    ASSERT_TRUE(macroKeyTarget(1002, 1, t));
    EXPECT_EQ(t.slot(), 263);
    EXPECT_FALSE(macroKeyTarget(1005, 0, t));
    ASSERT_TRUE(macroKeyTarget(1000, 1, t));
    dialog.open(t, model);
    EXPECT_TRUE(dialog.isOpenForMacroKey());
    ASSERT_TRUE(dialog.selectType(1, true));
    ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    dialog.close();
    EXPECT_EQ(savedEntry(261), (KeyEntry{1, 0x2302, 0}));
    EXPECT_EQ(savedEntry(256), (KeyEntry{0, 0x1302, 0}));

    dialog.open({1, catalogueIndex(0x11C), 1110}, model);
    ASSERT_TRUE(dialog.selectType(1, true));
    ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    EXPECT_EQ(savedEntry(512 + catalogueIndex(0x11C)).type, 1);
    EXPECT_EQ(savedEntry(catalogueIndex(0x11C)).type, 0);
}

TEST_F(KeyDialog, CancelAndRefusalsWriteNothing) {
    const std::vector<std::uint8_t> before = testing::fileBytes(file);
    dialog.open({0, 0x1E, 1058}, model);
    ASSERT_TRUE(dialog.selectType(1, true));
    dialog.close();  // Cancel
    EXPECT_EQ(testing::fileBytes(file), before);
    EXPECT_EQ(model.record->entry(0x1E).type, 0);

    dialog.open({0, 0x1E, 1058}, model);
    ASSERT_TRUE(dialog.selectType(3, true));
    EXPECT_EQ(apply(), KeyDialogModel::ApplyOutcome::RefusedInput);  // no program chosen
    dialog.editPath(std::u16string(260, u'p'));
    EXPECT_EQ(apply(), KeyDialogModel::ApplyOutcome::RefusedInput);
    EXPECT_EQ(prompt.messages, (std::vector<std::u16string>{std::u16string(text::kPathEmpty),
                                                             std::u16string(text::kPathTooLong)}));
    EXPECT_TRUE(dialog.changed());
    EXPECT_EQ(testing::fileBytes(file), before);
    dialog.editPath(std::u16string(259, u'p'));
    EXPECT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    dialog.close();

    ASSERT_TRUE(dialog.selectType(6, true) == false);  // closed
    dialog.open({0, 0x1F, 1059}, model);
    ASSERT_TRUE(dialog.selectType(6, true));
    dialog.editText(std::u16string(keydlg::kMaxTextBlockChars + 1, u't'));
    EXPECT_EQ(apply(), KeyDialogModel::ApplyOutcome::RefusedInput);
    EXPECT_EQ(prompt.messages.back(), text::kTextBlockTooLong);
    EXPECT_EQ(model.record->entry(0x1F).type, 0);
    dialog.close();

    // The default profile cannot be edited; Apply stays enabled.
    const std::vector<std::uint8_t> mid = testing::fileBytes(file);
    list.setActiveIndex(-1);
    dialog.open({0, 0x1E, 1058}, model);
    ASSERT_TRUE(dialog.selectType(5, true));
    EXPECT_EQ(apply(), KeyDialogModel::ApplyOutcome::RefusedDefaultProfile);
    EXPECT_EQ(prompt.messages.back(), u"你不能在<默认情景模式>下编辑!");
    EXPECT_TRUE(dialog.changed());
    EXPECT_EQ(testing::fileBytes(file), mid);
}

TEST_F(KeyDialog, AFailedSaveIsReportedAndCreatesNoFile) {
    std::filesystem::remove(file);
    dialog.open({0, 0x1E, 1058}, model);
    ASSERT_TRUE(dialog.selectType(1, true));
    EXPECT_EQ(apply(), KeyDialogModel::ApplyOutcome::NotSaved);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find(file.u16string()), std::u16string::npos);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(model.record->entry(0x1E).type, 1);  // kept for the next save
}

TEST_F(KeyDialog, EmptyMacroListStoresIdZero) {
    dialog.open({0, 0x1E, 1058}, model);
    ASSERT_TRUE(dialog.selectType(4, true));
    ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    EXPECT_EQ(savedEntry(0x1E), (KeyEntry{4, 0, 0}));
}

TEST_F(KeyDialog, LayerEditsAndTheLayerAndDualRoleKeys) {
    // On layer 1 a key starts transparent; only the seven functions and
    // transparent are offered there, and macro keys have no layers.
    KeyTarget onLayer{0, 0x1E, 1058};
    onLayer.layer = 1;
    dialog.open(onLayer, model);
    EXPECT_EQ(dialog.type(), keydlg::kTypeTransparent);
    EXPECT_FALSE(dialog.controlEnabled(keydlg::kRadioLayer) || dialog.controlEnabled(keydlg::kRadioTapHold));
    EXPECT_FALSE(dialog.selectType(keydlg::kTypeTapHold, true));
    ASSERT_TRUE(dialog.selectType(2, true));
    dialog.chooseTarget(listCodeOfKey(0x30));
    ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    dialog.close();
    ProfileContent c;
    ASSERT_TRUE(readProfileFile(file, c));
    ASSERT_EQ(c.extension.layers.size(), 1u);
    EXPECT_EQ(c.extension.layers[0].keys.at(0x1E).entry, (KeyEntry{2, 0, 0x30}));
    EXPECT_EQ(c.record.entry(0x1E).type, 0);  // the base is untouched
    dialog.open(onLayer, model);
    EXPECT_EQ(dialog.type(), 2);
    ASSERT_TRUE(dialog.selectType(keydlg::kTypeTransparent, true));
    ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    dialog.close();
    EXPECT_FALSE(readLayerEntry(model, 1, 0x1E));
    KeyTarget macroKey{0, 256, 1000};
    macroKey.layer = 2;
    dialog.open(macroKey, model);
    EXPECT_FALSE(dialog.selectType(keydlg::kTypeTransparent, true));
    EXPECT_FALSE(dialog.selectType(keydlg::kTypeLayerKey, true));
    dialog.close();

    // A dual-role key: a term outside 50..1000 or not a number is refused.
    dialog.open({0, 0x3A, 1069}, model);
    ASSERT_TRUE(dialog.selectType(keydlg::kTypeTapHold, true));
    EXPECT_EQ(dialog.termText(), u"200");
    EXPECT_TRUE(dialog.controlEnabled(keydlg::kTerm) && !dialog.controlEnabled(keydlg::kLayerMode));
    for (const char16_t* bad : {u"49", u"1001", u"", u"2x0", u"-100"}) {
        dialog.editTerm(bad);
        EXPECT_EQ(apply(), KeyDialogModel::ApplyOutcome::RefusedInput);
        EXPECT_EQ(prompt.messages.back(), text::kTermOutOfRange);
    }
    EXPECT_EQ(model.extension.keyOf(0x3A), nullptr);
    dialog.editTerm(u" 1000 ");
    dialog.chooseTap(listCodeOfKey(0x01));
    dialog.chooseHold(kChoiceListCount + 2);  // layer 3
    ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    dialog.close();
    ASSERT_TRUE(readProfileFile(file, c));
    ASSERT_EQ(c.extension.keys.size(), 1u);
    const ExtKey& k = c.extension.keys[0];
    EXPECT_EQ(k.slot, 0x3A);
    EXPECT_EQ(k.kind, ExtKeyKind::TapHold);
    EXPECT_EQ(k.tap, 0x01);
    EXPECT_EQ(k.holdLayer, 3);
    EXPECT_EQ(k.termMs, 1000);
    EXPECT_EQ(c.record.entry(0x3A).type, 2);  // the fallback: tap key
    dialog.open({0, 0x3A, 1069}, model);  // shown as stored
    EXPECT_EQ(dialog.type(), keydlg::kTypeTapHold);
    EXPECT_EQ(dialog.holdIndex(), kChoiceListCount + 2);
    EXPECT_EQ(dialog.termText(), u"1000");
    // ... and turned into a toggled layer key for layer 2.
    ASSERT_TRUE(dialog.selectType(keydlg::kTypeLayerKey, true));
    dialog.chooseLayer(1);
    dialog.chooseLayerMode(1);
    ASSERT_EQ(apply(), KeyDialogModel::ApplyOutcome::Applied);
    dialog.close();
    ASSERT_NE(model.extension.keyOf(0x3A), nullptr);
    EXPECT_EQ(*model.extension.keyOf(0x3A), (ExtKey{0x3A, ExtKeyKind::Layer, 2, LayerMode::Toggle}));
}

TEST(KeyDialogPlacement, PrefersRightBelowThenRightAboveThenLeft) {
    const int w = 200, h = 100, sw = 1000, sh = 800;
    EXPECT_EQ(placeBesideButton({100, 100, 120, 115}, w, h, sw, sh), (Point{120, 115}));
    EXPECT_EQ(placeBesideButton({100, 750, 120, 765}, w, h, sw, sh), (Point{120, 650}));
    EXPECT_EQ(placeBesideButton({900, 100, 920, 115}, w, h, sw, sh), (Point{700, 115}));
    EXPECT_EQ(placeBesideButton({900, 750, 920, 765}, w, h, sw, sh), (Point{700, 650}));
    EXPECT_EQ(placeBesideButton({10, 10, 990, 790}, w, h, sw, sh), (Point{990, 790}));
}

}  // namespace
}  // namespace kb
