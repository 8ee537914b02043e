#include "key_dialog_model.h"

#include "key_catalogue.h"
#include "macro_editor.h"
#include "profile_file.h"

#include <algorithm>

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

void KeyDialogModel::open(const KeyTarget& target, ProfileModel& model) {
    ++openCount_;
    target_ = target;
    targetIndex_ = 0;
    macroIndex_ = 0;
    path_.clear();
    text_.clear();
    macroNames_.clear();
    macroIds_.clear();
    std::optional<EntryView> entry;
    {
        std::lock_guard guard(model.lock());
        for (const MacroRecord& m : model.macros) {
            macroNames_.push_back(m.name());
            macroIds_.push_back(m.macroId());
        }
        entry = readEntry(model, target.slot());
    }
    const EntryView e = entry.value_or(EntryView{});
    type_ = 7;  // so that the entry's type is always taken
    selectType(e.type <= kMaxFunctionType ? e.type : 0, false);
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

bool KeyDialogModel::selectType(int type, bool byUser) {
    if (!isOpen() || type < 0 || type > kMaxFunctionType || type == type_) return false;
    type_ = type;
    if (byUser) changed_ = true;
    return true;
}

bool KeyDialogModel::controlEnabled(int id) const noexcept {
    switch (id) {
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
    choice.type = static_cast<std::uint16_t>(type_);
    // Nothing the user typed is cut: an input that does not fit is refused.
    if (type_ == static_cast<int>(FunctionType::LaunchProgram)) {
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
    const AssignResult r = assign(model, list, window, prompt, target_.device, target_.position, choice);
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
