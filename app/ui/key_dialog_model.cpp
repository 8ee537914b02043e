#include "key_dialog_model.h"

#include "key_catalogue.h"
#include "macro_editor.h"
#include "profile_file.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace kb {

bool macroKeyTarget(int buttonId, int macroBank, KeyTarget& out) noexcept {
    if (buttonId < 1000 || buttonId > 1004) return false;
    out = {kDeviceKeyboard, kFirstMacroKeySlot + (buttonId - 1000) + 5 * (macroBank ? 1 : 0), buttonId};
    return true;
}

Point placeBesideButton(const Rect& b, int w, int h, int screenW, int screenH) noexcept {
    const bool right = screenW - b.right >= w, left = b.left >= w;
    const bool below = screenH - b.bottom >= h, above = b.top >= h;
    if (right && below) return {b.right, b.bottom};
    if (right && above) return {b.right, b.top - h};
    if (left && below) return {b.left - w, b.bottom};
    if (left && above) return {b.left - w, b.top - h};
    return {b.right, b.bottom};
}


std::vector<std::u16string> KeyDialogModel::targetNames() {
    std::vector<std::u16string> names;
    names.reserve(kChoiceListCount);
    for (std::uint16_t code = 0; code < kChoiceListCount; ++code) names.emplace_back(nameOfListCode(code));
    return names;
}

std::vector<std::u16string> KeyDialogModel::layerNumberNames() {
    return {std::begin(kLayerNames) + 1, std::end(kLayerNames)};
}

std::vector<std::u16string> KeyDialogModel::layerModeNames() {
    return {std::u16string(text::kLayerModeMomentary), std::u16string(text::kLayerModeToggle)};
}

std::vector<std::u16string> KeyDialogModel::holdNames() {
    std::vector<std::u16string> names = targetNames();
    names.insert(names.end(), std::begin(kLayerNames) + 1, std::end(kLayerNames));
    return names;
}

void KeyDialogModel::open(const KeyTarget& target, ProfileModel& model) {
    ++openCount_;
    target_ = target;
    if (target_.layer < 0 || target_.layer > kMaxLayers || target_.isMacroKey()) target_.layer = 0;
    targetIndex_ = 0;
    macroIndex_ = 0;
    path_.clear();
    text_.clear();
    macroNames_.clear();
    macroIds_.clear();
    showExtKey(ExtKey{});
    std::optional<EntryView> entry;
    std::optional<ExtKey> ext;
    {
        std::lock_guard guard(model.lock());
        for (const MacroRecord& m : model.macros) {
            macroNames_.push_back(m.name());
            macroIds_.push_back(m.macroId());
        }
        if (target_.layer > 0) {
            entry = readLayerEntry(model, target_.layer, target_.slot());
        } else if (const ExtKey* k = model.extension.keyOf(target_.slot()); k != nullptr && model.record) {
            ext = *k;
        } else {
            entry = readEntry(model, target_.slot());
        }
    }
    const EntryView e = entry.value_or(EntryView{});
    type_ = -1;  // so that the entry's type is always taken
    if (ext) {
        showExtKey(*ext);
        selectType(ext->kind == ExtKeyKind::Layer ? keydlg::kTypeLayerKey : keydlg::kTypeTapHold, false);
    } else if (target_.layer > 0 && !entry) {
        selectType(keydlg::kTypeTransparent, false);
    } else {
        selectType(e.type <= kMaxFunctionType ? e.type : 0, false);
    }
    switch (static_cast<FunctionType>(type_)) {
    case FunctionType::OtherKey: {
        const std::uint16_t code = listCodeOfKey(static_cast<WinMakeCode>(e.parameter & 0xFFFF));
        targetIndex_ = code < kChoiceListCount ? code : 0;
        break;
    }
    case FunctionType::PlayMacro: {
        const auto id = static_cast<std::uint16_t>(e.parameter & 0xFFFF);
        const auto it = std::find(macroIds_.begin(), macroIds_.end(), id);
        macroIndex_ = it == macroIds_.end() ? 0 : static_cast<int>(it - macroIds_.begin());
        break;
    }
    case FunctionType::LaunchProgram: path_ = e.text; break;
    case FunctionType::TypeText: text_ = e.text; break;
    default: break;
    }
    changed_ = false;
}

void KeyDialogModel::close() noexcept {
    if (openCount_ == 0) return;
    changed_ = false;
    --openCount_;
}

void KeyDialogModel::showExtKey(const ExtKey& k) {
    layerIndex_ = k.kind == ExtKeyKind::Layer && k.layer >= 1 && k.layer <= kMaxLayers ? k.layer - 1 : 0;
    modeIndex_ = k.mode == LayerMode::Toggle ? 1 : 0;
    const bool tapHold = k.kind == ExtKeyKind::TapHold;
    const std::uint16_t tap = listCodeOfKey(k.tap), hold = listCodeOfKey(k.hold);
    tapIndex_ = tapHold && tap < kChoiceListCount ? tap : 0;
    // A new dual-role key holds Ctrl: a modifier is what it is mostly for.
    if (!tapHold) {
        holdIndex_ = listCodeOfKey(0x01D);
    } else if (k.holdLayer >= 1 && k.holdLayer <= kMaxLayers) {
        holdIndex_ = kChoiceListCount + k.holdLayer - 1;
    } else {
        holdIndex_ = hold < kChoiceListCount ? hold : 0;
    }
    const std::uint16_t term = tapHold ? k.termMs : kDefaultTermMs;
    term_.clear();
    for (char c : std::to_string(term)) term_.push_back(static_cast<char16_t>(c));
}

bool KeyDialogModel::typeOffered(int type) const noexcept {
    switch (type) {
    case keydlg::kTypeLayerKey:
    case keydlg::kTypeTapHold: return target_.layer == 0 && layerableSlot(target_.slot());
    case keydlg::kTypeTransparent: return target_.layer > 0;
    default: return type >= 0 && type <= kMaxFunctionType;
    }
}

bool KeyDialogModel::selectType(int type, bool byUser) {
    if (!isOpen() || !typeOffered(type) || type == type_) return false;
    type_ = type;
    if (byUser) changed_ = true;
    return true;
}

bool KeyDialogModel::controlEnabled(int id) const noexcept {
    for (std::size_t t = 0; t < keydlg::kRadios.size(); ++t) {
        if (keydlg::kRadios[t] == id) return typeOffered(static_cast<int>(t));
    }
    switch (id) {
    case keydlg::kLayerNumber:
    case keydlg::kLayerMode: return type_ == keydlg::kTypeLayerKey;
    case keydlg::kTapKey:
    case keydlg::kHoldKey:
    case keydlg::kTerm: return type_ == keydlg::kTypeTapHold;
    case keydlg::kTargetList: return type_ == static_cast<int>(FunctionType::OtherKey);
    case keydlg::kPathEdit:
    case keydlg::kBrowse: return type_ == static_cast<int>(FunctionType::LaunchProgram);
    case keydlg::kMacroList: return type_ == static_cast<int>(FunctionType::PlayMacro);
    case keydlg::kTextEdit: return type_ == static_cast<int>(FunctionType::TypeText);
    default: return true;
    }
}

void KeyDialogModel::chooseTarget(int index) {
    if (index < 0 || index >= kChoiceListCount || index == targetIndex_) return;
    targetIndex_ = index;
    changed_ = true;
}

void KeyDialogModel::chooseMacro(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= macroIds_.size() || index == macroIndex_) return;
    macroIndex_ = index;
    changed_ = true;
}

bool KeyDialogModel::choose(int& field, int index, int count) {
    if (index < 0 || index >= count || index == field) return false;
    field = index;
    changed_ = true;
    return true;
}

void KeyDialogModel::chooseLayer(int index) { (void)choose(layerIndex_, index, kMaxLayers); }
void KeyDialogModel::chooseLayerMode(int index) { (void)choose(modeIndex_, index, 2); }
void KeyDialogModel::chooseTap(int index) { (void)choose(tapIndex_, index, kChoiceListCount); }
void KeyDialogModel::chooseHold(int index) { (void)choose(holdIndex_, index, kChoiceListCount + kMaxLayers); }

void KeyDialogModel::editTerm(std::u16string_view text) {
    if (text == term_) return;
    term_ = text;
    changed_ = true;
}

bool KeyDialogModel::extKeyChosen(Prompt& prompt, ExtKey& out) const {
    out = {};
    out.slot = target_.slot();
    if (type_ == keydlg::kTypeLayerKey) {
        out.kind = ExtKeyKind::Layer;
        out.layer = static_cast<std::uint8_t>(layerIndex_ + 1);
        out.mode = modeIndex_ == 1 ? LayerMode::Toggle : LayerMode::Momentary;
        return true;
    }
    out.kind = ExtKeyKind::TapHold;
    // Digits only, white space around them allowed; nothing else is a term.
    std::size_t b = term_.find_first_not_of(u" \t"), e = term_.find_last_not_of(u" \t");
    const std::u16string_view digits =
        b == std::u16string::npos ? std::u16string_view{} : std::u16string_view(term_).substr(b, e - b + 1);
    unsigned ms = 0;
    bool ok = !digits.empty() && digits.size() <= 4;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') ok = false;
        ms = ms * 10 + static_cast<unsigned>(c - u'0');
    }
    if (!ok || ms < kMinTermMs || ms > kMaxTermMs) {
        prompt.showMessage(text::kTermOutOfRange);
        return false;
    }
    out.termMs = static_cast<std::uint16_t>(ms);
    out.tap = keyOfListCode(static_cast<std::uint16_t>(tapIndex_));
    if (holdIndex_ >= kChoiceListCount) {
        out.holdLayer = static_cast<std::uint8_t>(holdIndex_ - kChoiceListCount + 1);
    } else {
        out.hold = keyOfListCode(static_cast<std::uint16_t>(holdIndex_));
    }
    return true;
}

void KeyDialogModel::editPath(std::u16string_view path) {
    if (path == path_) return;
    path_ = path;
    changed_ = true;
}

void KeyDialogModel::editText(std::u16string_view text) {
    if (text == text_) return;
    text_ = text;
    changed_ = true;
}

KeyDialogModel::ApplyOutcome KeyDialogModel::apply(ProfileModel& model, const ProfileList& list,
                                                   MainWindowSink& window, Prompt& prompt) {
    if (!isOpen() || !changed_) return ApplyOutcome::Unchanged;
    if (list.activeIndex() < 0) {
        prompt.showMessage(text::kNoEditInDefaultProfile);
        return ApplyOutcome::RefusedDefaultProfile;
    }
    Assignment choice;
    LayerChoice where;
    where.layer = target_.layer;
    choice.type = static_cast<std::uint16_t>(type_ <= kMaxFunctionType ? type_ : 0);
    // Nothing the user typed is cut: an input that does not fit is refused.
    if (type_ == keydlg::kTypeLayerKey || type_ == keydlg::kTypeTapHold) {
        ExtKey k;
        if (!extKeyChosen(prompt, k)) return ApplyOutcome::RefusedInput;
        where.ext = k;
    } else if (type_ == keydlg::kTypeTransparent) {
        where.transparent = true;
    } else if (type_ == static_cast<int>(FunctionType::LaunchProgram)) {
        if (path_.empty()) {
            prompt.showMessage(text::kPathEmpty);
            return ApplyOutcome::RefusedInput;
        }
        if (path_.size() > kMaxProgramPathChars) {
            prompt.showMessage(text::kPathTooLong);
            return ApplyOutcome::RefusedInput;
        }
        choice.text = path_;
    } else if (type_ == static_cast<int>(FunctionType::TypeText)) {
        if (text_.size() > keydlg::kMaxTextBlockChars) {
            prompt.showMessage(text::kTextBlockTooLong);
            return ApplyOutcome::RefusedInput;
        }
        choice.text = text_;
    } else if (type_ == static_cast<int>(FunctionType::OtherKey)) {
        choice.listCode = static_cast<std::uint16_t>(targetIndex_);
    } else if (type_ == static_cast<int>(FunctionType::PlayMacro)) {
        // An empty list stores 0; the macro editor's Apply fills in the first macro.
        choice.macroId = macroIndex_ >= 0 && static_cast<std::size_t>(macroIndex_) < macroIds_.size()
                             ? macroIds_[static_cast<std::size_t>(macroIndex_)]
                             : 0;
    }
    {
        // The file's sizes are 32-bit: refuse what would make them wrap.
        std::lock_guard guard(model.lock());
        if (!model.record) return ApplyOutcome::NoProfile;
        const std::uint64_t newText = carriesText(choice.type) ? 2 * choice.text.size() + 2 : 0;
        const std::uint64_t pool = model.texts.total() - model.texts.size(target_.slot()) + newText;
        const std::uint64_t file = kProfileRecordSize + model.macros.size() * kMacroRecordSize + pool;
        if (file > 0xFFFF'FFFFull) {
            prompt.showMessage(text::kProfileTooLarge);
            return ApplyOutcome::RefusedInput;
        }
    }
    // A failed save is shown by assign itself; the change stays pending.
    const AssignResult r = assign(model, list, window, prompt, target_.device, target_.position, choice, where);
    switch (r) {
    case AssignResult::Done: changed_ = false; return ApplyOutcome::Applied;
    case AssignResult::SaveFailed:
        changed_ = false;
        return ApplyOutcome::NotSaved;
    case AssignResult::NoProfile: return ApplyOutcome::NoProfile;
    case AssignResult::BadArgument: break;
    }
    return ApplyOutcome::RefusedInput;
}

}  // namespace kb
