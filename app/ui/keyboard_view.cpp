#include "keyboard_view.h"

#include "common/text/text_convert.h"
#include "kb_version.h"
#include "profile_list.h"
#include "profile_model.h"
#include "skin_ini.h"

#include <uxtheme.h>

#include <mutex>

namespace kb::ui {

namespace {

using kbtext::wide;

constexpr wchar_t kButtonInfo[] = L"BUTTONINFO";
constexpr COLORREF kCaptionSilver = 0xC0C0C0;

// Faces of the command controls and lamps, by status image number (1..4).
struct ControlSkin {
    int id;
    const wchar_t* key;
    int faces[5];
};
constexpr ControlSkin kControlSkins[] = {
    {ctl::kLink, L"VALMOR_LINK", {1, 2, 4, 1, 1}},
    {ctl::kProfiles, L"FUNC_PROFILES", {1, 2, 3, 1, 1}},
    {ctl::kMacroEditor, L"FUNC_MACRO", {1, 2, 3, 1, 1}},
    {ctl::kOk, L"CONTROL_OK", {1, 2, 3, 1, 1}},
    {ctl::kCancel, L"CONTROL_CANCEL", {1, 2, 3, 1, 1}},
    {ctl::kHelp, L"CONTROL_HELP", {1, 2, 3, 1, 1}},
    {ctl::kClose, L"CONTROL_CLOSE", {1, 2, 3, 1, 1}},
    {ctl::kMinimize, L"CONTROL_MINIMIZE", {1, 2, 3, 1, 1}},
    {ctl::kApply, L"CONTROL2_APPLY", {1, 2, 3, 4, 1}},
    {ctl::kLockCaps, L"LOCK_CAPS", {1, 1, 1, 1, 2}},
    {ctl::kLockNum, L"LOCK_NUM", {1, 1, 1, 1, 2}},
    {ctl::kLockScroll, L"LOCK_SCROLL", {1, 1, 1, 1, 2}},
    {ctl::kLockBank, L"LOCK_AB", {1, 1, 1, 1, 2}},
    {ctl::kFlipLamp, L"FLIP_0", {1, 1, 1, 1, 4}},
    {ctl::kFlipSwitch1, L"FLIP_1", {1, 2, 3, 1, 4}},
    {ctl::kFlipSwitch2, L"FLIP_2", {1, 2, 3, 1, 4}},
    {ctl::kVersion, L"VALMOR_VER", {1, 1, 1, 1, 1}},
};

constexpr int kFlipKeyboardIds[] = {1010, 1011, 1012, 1013};            // F1..F4
constexpr int kFlipKeypadIds[] = {1016, 1017, 1018, 1019, 1020, 1021};  // D1..D6
constexpr int kF5Id = 1014;

}  // namespace

KeyboardView::KeyboardView(const std::wstring& mainSkinFile, const ProfileList& list)
    : mainSkinFile_(mainSkinFile), list_(list) {}

void KeyboardView::attach(HWND window) {
    window_ = window;
    auto add = [this](int id) {
        auto b = std::make_unique<kbskin::SkinButton>();
        if (b->Attach(window_, id)) buttons_[id] = std::move(b);
    };
    for (const KeyButton& k : keyButtons()) add(k.id);
    for (const ControlSkin& c : kControlSkins) add(c.id);
    for (int id : {ctl::kLeftArrow, ctl::kRightArrow}) add(id);
}

void KeyboardView::startLamps() {
    lockLamps_.Start(window_, button(ctl::kLockNum), button(ctl::kLockCaps), button(ctl::kLockScroll),
                     surface(StatusImage::S1), surface(StatusImage::S2));
    const ProfileList& list = list_;
    arrows_.Start(window_, button(ctl::kLeftArrow), button(ctl::kRightArrow), mainSkinFile_.c_str(), surfaces_.at(8),
                  [&list] { return list.flip() != 0; });
}

void KeyboardView::stopLamps() {
    lockLamps_.Stop();
    arrows_.Stop();
}

void KeyboardView::dress(int bank) {
    surfaces_.Build(window_, {L"Skins\\Main_Status1.jpg", L"Skins\\Main_Status2.jpg", L"Skins\\Main_Status3.jpg",
                              L"Skins\\Main_Status4.jpg", L"Skins\\Main_Status1_2.jpg", L"Skins\\Main_Status2_2.jpg",
                              L"Skins\\Main_Status3_2.jpg", L"Skins\\Main_Status4_2.jpg", L"Skins\\Arrow.jpg",
                              L"Skins\\Main_Status5.jpg"});
    if (!surfaces_.built() || surfaces_.size() != 10) ExitProcess(0);

    for (const KeyButton& k : keyButtons()) {
        auto it = buttons_.find(k.id);
        if (it == buttons_.end()) continue;
        const FaceSet f = facesOf(k, false);
        const std::wstring key = wide(skinEntryName(k));
        kbskin::PlaceButton(*it->second, mainSkinFile_.c_str(), kButtonInfo, key.c_str(), surface(f.normal),
                            surface(f.hover), surface(f.pressed), surface(f.disabled), surface(f.marked));
    }
    setMacroKeyCaptions(bank);
    dressLayerSelector();
    for (const ControlSkin& c : kControlSkins) {
        auto it = buttons_.find(c.id);
        if (it == buttons_.end()) continue;
        auto s = [&](int n) { return surfaces_.at(static_cast<std::size_t>(n - 1)); };
        kbskin::PlaceButton(*it->second, mainSkinFile_.c_str(), kButtonInfo, c.key, s(c.faces[0]), s(c.faces[1]),
                            s(c.faces[2]), s(c.faces[3]), s(c.faces[4]));
    }
    if (auto* link = button(ctl::kLink)) link->SetTooltip(kWebAddress);
    if (auto* help = button(ctl::kHelp)) help->SetTooltip(L"帮助");
    if (auto* close = button(ctl::kClose)) close->SetTooltip(L"关闭");
    if (auto* minimize = button(ctl::kMinimize)) minimize->SetTooltip(L"最小化");
    if (auto* profiles = button(ctl::kProfiles)) {
        profiles->SetCaptionStyle(true, 8, L"Arial", kCaptionSilver, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (auto* version = button(ctl::kVersion)) {
        SetWindowTextW(version->Hwnd(), KB_VERSION_SHORT_WSTRING);
        EnableWindow(version->Hwnd(), FALSE);
        version->SetCaptionStyle(true, 8, L"Verdana", kCaptionSilver, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    for (int id : {ctl::kLockCaps, ctl::kLockNum, ctl::kLockScroll, ctl::kLockBank, ctl::kFlipLamp, ctl::kLeftArrow,
                   ctl::kRightArrow}) {
        EnableWindow(item(id), FALSE);
    }
    for (int id : {ctl::kTest, ctl::kProfileMenu, kEnterUpperButtonId}) ShowWindow(item(id), SW_HIDE);
    EnableWindow(item(kEnterUpperButtonId), FALSE);

    // The marks set while the profile loaded are drawn now that faces exist.
    for (auto& [id, b] : buttons_) {
        if (keyButtonById(id) != nullptr) b->Redraw();
    }
    for (int id : {ctl::kLockBank, kEnterButtonId, ctl::kFlipLamp, ctl::kFlipSwitch1, ctl::kFlipSwitch2}) {
        if (auto* b = button(id)) b->SetDrawCallback([this, id](HWND, bool normalFace) { onButtonDrawn(id, normalFace); });
    }
    setBankLamp(bank);
    applyFlipState();
}

void KeyboardView::markSlot(int slot, int bank, KeyMark mark, const std::wstring& toolTip) {
    const KeyButton* k = keyButtonBySlot(slot, bank);
    if (k == nullptr) return;
    auto* b = keyButton(k->id);
    if (b == nullptr) return;
    const bool inherited = mark == KeyMark::Inherited;
    if (inherited_[k->id] != inherited) {
        inherited_[k->id] = inherited;
        if (surfaces_.built()) {
            const FaceSet f = facesOf(*k, false);
            setSurfaces(*b, f.normal, f.hover, f.pressed, f.disabled, f.marked);
        }
    }
    b->SetMarked(mark != KeyMark::None, surfaces_.built());
    b->SetTooltip(toolTip);
}

FaceSet KeyboardView::facesOf(const KeyButton& k, bool editing) const {
    FaceSet f = editing ? editFaces(k.group) : normalFaces(k.group);
    if (!editing) {
        const auto it = inherited_.find(k.id);
        if (it != inherited_.end() && it->second) f.marked = StatusImage::S5;
    }
    return f;
}

void KeyboardView::dressLayerSelector() {
    const HWND selector = item(ctl::kLayerSelector);
    if (selector == nullptr) return;
    colours_.load(mainSkinFile_.c_str());
    // A themed field draws the theme's white whatever the window answers.
    if (colours_.fromSkin(kbskin::SkinColour::FieldBack)) SetWindowTheme(selector, L"", L"");
    kbskin::PlaceControl(selector, mainSkinFile_.c_str(), kButtonInfo, L"FUNC_LAYER");
    if (SendMessageW(selector, CB_GETCOUNT, 0, 0) == 0) {
        for (std::u16string_view name : kLayerNames) {
            SendMessageW(selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
        }
    }
    SendMessageW(selector, CB_SETCURSEL, static_cast<WPARAM>(shownLayer_), 0);
}

bool KeyboardView::takeSelectedLayer() {
    const auto sel = static_cast<int>(SendMessageW(item(ctl::kLayerSelector), CB_GETCURSEL, 0, 0));
    if (sel < 0 || sel > kMaxLayers || sel == shownLayer_) return false;
    shownLayer_ = sel;
    // Macro keys have no layers: on a layer they cannot be edited.
    for (int i = 0; i < kMacroKeyButtonCount; ++i) EnableWindow(item(kFirstKeyButtonId + i), sel == 0 ? TRUE : FALSE);
    return true;
}

void KeyboardView::markMacroKeys(ProfileModel& model, int bank) {
    std::lock_guard guard(model.lock());
    for (int i = 0; i < kMacroKeyButtonCount; ++i) {
        const int slot = kFirstMacroKeySlot + 5 * bank + i;
        const bool marked = model.record && model.record->entry(slot).type != 0;
        if (auto* b = keyButton(kFirstKeyButtonId + i)) {
            b->SetMarked(marked, surfaces_.built());
            b->SetTooltip(wide(describeKeyFunction(model, slot)));
        }
    }
}

void KeyboardView::showBank(int bank) {
    setBankLamp(bank);
    setMacroKeyCaptions(bank);
}

void KeyboardView::enableApply(bool enabled) {
    EnableWindow(item(ctl::kApply), enabled ? TRUE : FALSE);
    if (auto* b = button(ctl::kApply); b != nullptr && surfaces_.built()) b->Redraw();
}

void KeyboardView::showProfileName(const std::wstring& name, const std::wstring& toolTip) {
    if (auto* b = button(ctl::kProfiles)) {
        SetWindowTextW(b->Hwnd(), name.c_str());
        b->SetTooltip(toolTip);
        if (surfaces_.built()) b->Redraw();
    }
}

kbskin::SkinButton* KeyboardView::keyButton(int id) noexcept {
    return keyButtonById(id) == nullptr ? nullptr : button(id);
}

kbskin::SkinButton* KeyboardView::button(int id) noexcept {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second.get();
}

void KeyboardView::giveEditLook(int buttonId, bool editing) {
    const KeyButton* k = keyButtonById(buttonId);
    kbskin::SkinButton* b = keyButton(buttonId);
    if (k == nullptr || b == nullptr) return;
    const FaceSet f = facesOf(*k, editing);
    setSurfaces(*b, f.normal, f.hover, f.pressed, f.disabled, f.marked);
}

void KeyboardView::setSurfaces(kbskin::SkinButton& b, StatusImage normal, StatusImage hover, StatusImage pressed,
                               StatusImage disabled, StatusImage marked) {
    b.SetSurfaces(surface(normal), surface(hover), surface(pressed), surface(disabled), surface(marked), true);
}

const kbskin::StatusSurface* KeyboardView::surface(StatusImage s) const noexcept {
    return surfaces_.at(static_cast<std::size_t>(s));
}

void KeyboardView::applyFlipState() {
    const bool on = list_.flip() != 0;
    for (int id : kFlipKeyboardIds) EnableWindow(item(id), on ? FALSE : TRUE);
    for (int id : kFlipKeypadIds) EnableWindow(item(id), on ? TRUE : FALSE);
    if (auto* lamp = button(ctl::kFlipLamp); lamp != nullptr && surfaces_.built()) {
        using enum StatusImage;
        if (on) {
            setSurfaces(*lamp, S1b, S1b, S1b, S1b, S4);
        } else {
            setSurfaces(*lamp, S1, S1, S1, S1, S4);
        }
    }
}

void KeyboardView::setBankLamp(int bank) {
    auto* lamp = button(ctl::kLockBank);
    if (lamp == nullptr || !surfaces_.built()) return;
    using enum StatusImage;
    if (bank != 0) {
        setSurfaces(*lamp, S2, S2, S2, S2, S1);
    } else {
        setSurfaces(*lamp, S1, S1, S1, S1, S2);
    }
}

void KeyboardView::setMacroKeyCaptions(int bank) {
    for (int i = 0; i < kMacroKeyButtonCount; ++i) {
        SetWindowTextW(item(kFirstKeyButtonId + i), wide(macroKeyCaption(bank, i)).c_str());
    }
}

void KeyboardView::onButtonDrawn(int id, bool normalFace) {
    auto redraw = [this](int other) {
        if (auto* b = button(other)) b->Redraw();
    };
    switch (id) {
    case ctl::kLockBank:
        for (int i = 0; i < kMacroKeyButtonCount; ++i) InvalidateRect(item(kFirstKeyButtonId + i), nullptr, TRUE);
        break;
    case kEnterButtonId:
        // The two keys' rectangles touch; "]}" is drawn over Enter's corner.
        redraw(kRightBracketButtonId);
        break;
    case ctl::kFlipLamp:
        if (list_.flip() != 0) {
            for (int k : kFlipKeypadIds) redraw(k);
        } else {
            for (int k : kFlipKeyboardIds) redraw(k);
        }
        redraw(kF5Id);
        redraw(ctl::kFlipSwitch1);
        redraw(ctl::kFlipSwitch2);
        break;
    case ctl::kFlipSwitch1:
        arrows_.ShowArrowFrame(kbskin::ArrowSide::Left, 2, true, normalFace);
        break;
    case ctl::kFlipSwitch2:
        arrows_.ShowArrowFrame(kbskin::ArrowSide::Right, 2, true, normalFace);
        break;
    default:
        break;
    }
}

}  // namespace kb::ui
