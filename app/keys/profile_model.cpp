#include "profile_backup.h"
#include "profile_file.h"
#include "ui_ports.h"
#include "profile_model.h"

namespace kb {

std::optional<EntryView> readEntry(ProfileModel& model, int slot) {
    std::lock_guard guard(model.lock());
    if (!model.record || slot < 0 || slot >= kSlotCount) return std::nullopt;
    const KeyEntry e = model.record->entry(slot);
    EntryView view{e.type, e.parameter, {}};
    if (carriesText(e.type)) view.text = model.texts.text(slot);
    return view;
}

bool hasFunction(ProfileModel& model, int slot) {
    std::lock_guard guard(model.lock());
    return model.record && model.record->entry(slot).type != 0;
}

std::u16string describeKeyFunction(ProfileModel& model, int slot) {
    std::lock_guard guard(model.lock());
    const std::optional<EntryView> e = readEntry(model, slot);
    if (!e) return {};
    switch (e->type) {
    case 0:
        return u"默认功能";
    case 1:
        return u"无功能";
    case 2: {
        char16_t name[64] = {};
        const std::size_t n = keyName(static_cast<WinMakeCode>(e->parameter & 0xFFFF), name, 64);
        return u"分配新按键: " + std::u16string(name, n);
    }
    case 3: {
        const std::size_t cut = e->text.find_last_of(u"\\/");
        return u"启动程序: " + (cut == std::u16string::npos ? e->text : e->text.substr(cut + 1));
    }
    case 4: {
        const std::uint16_t id = static_cast<std::uint16_t>(e->parameter & 0xFFFF);
        for (const MacroRecord& m : model.macros) {
            if (m.macroId() == id) return u"播放宏: " + m.name();
        }
        return u"播放宏";
    }
    case 5:
        return u"停止播放中的宏";
    case 6: {
        std::u16string text = e->text.substr(0, e->text.find_first_of(u"\r\n"));
        const bool cut = text.size() < e->text.size() || text.size() > kToolTipTextChars;
        if (text.size() > kToolTipTextChars) {
            text.resize(kToolTipTextChars);
            if (text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();  // no half a pair
        }
        return u"文字块: " + text + (cut ? u"…" : u"");
    }
    default:
        return {};
    }
}

void clearSlotTexts(ProfileModel& model) {
    std::lock_guard guard(model.lock());
    model.texts.clearAll();
}

AssignResult assign(ProfileModel& model, const ProfileList& list, MainWindowSink& window, Prompt& prompt,
                    int device, int position, const Assignment& choice) {
    if (device < 0 || device >= kSlotCount / kSlotsPerDevice || position < 0 || position >= kSlotsPerDevice ||
        choice.type > kMaxFunctionType) {
        return AssignResult::BadArgument;
    }
    std::uint32_t parameter = 0;
    if (choice.type == static_cast<std::uint16_t>(FunctionType::OtherKey)) {
        parameter = keyOfListCode(choice.listCode);
        if (parameter == 0) return AssignResult::BadArgument;
    } else if (choice.type == static_cast<std::uint16_t>(FunctionType::PlayMacro)) {
        parameter = choice.macroId;
    }
    const int slot = device * kSlotsPerDevice + position;
    bool assigned = false;
    bool saveFailed = false;
    {
        std::lock_guard guard(model.lock());
        if (!model.record) return AssignResult::NoProfile;
        model.texts.clear(slot);
        // One of the seven functions replaces a layer or tap/hold function, which
        // would otherwise put its fallback back over the choice at the save.
        std::erase_if(model.extension.keys, [slot](const ExtKey& k) { return k.slot == slot; });
        if (choice.type == static_cast<std::uint16_t>(FunctionType::LaunchProgram)) {
            model.texts.set(slot, std::u16string_view(choice.text).substr(0, kMaxProgramPathChars));
        } else if (choice.type == static_cast<std::uint16_t>(FunctionType::TypeText)) {
            model.texts.set(slot, choice.text);
        }
        model.record->setEntry(slot, {choice.type, macroKeyCodeOfSlot(slot), parameter});
        saveFailed = saveLost(saveProfile(model, list, false), list);
        assigned = model.record->entry(slot).type != 0;
    }
    window.setKeyButtonAssigned(slot, assigned);
    window.setApplyButtonEnabled(true);
    if (const auto notice = takeBackupNotice()) prompt.showMessage(*notice);
    if (saveFailed) {
        prompt.showMessage(saveFailedMessage(list));
        return AssignResult::SaveFailed;
    }
    return AssignResult::Done;
}

void markKeyButtons(ProfileModel& model, MainWindowSink& window) {
    std::lock_guard guard(model.lock());
    auto assigned = [&](int slot) { return model.record && model.record->entry(slot).type != 0; };
    const int bank = window.currentMacroBank() ? 1 : 0;
    for (int n = 0; n < 5; ++n) {
        const int slot = kFirstMacroKeySlot + 5 * bank + n;
        window.setKeyButtonAssigned(slot, assigned(slot));
    }
    for (WinMakeCode key : keyboardKeys()) {
        const int slot = slotOf(kDeviceKeyboard, key);
        window.setKeyButtonAssigned(slot, assigned(slot));
    }
    for (WinMakeCode key : keypadKeys()) {
        const int slot = slotOf(kDeviceKeypad, key);
        window.setKeyButtonAssigned(slot, assigned(slot));
    }
}

void unmarkKeyButton(MainWindowSink& window, int slot) {
    if (isMacroKeySlot(slot)) {
        const int bank = (slot - kFirstMacroKeySlot) / 5;
        if (bank == (window.currentMacroBank() ? 1 : 0)) window.setKeyButtonAssigned(slot, false);
        return;
    }
    if (keyboardKeyOfSlot(slot) >= 0 || keypadKeyOfSlot(slot) >= 0) window.setKeyButtonAssigned(slot, false);
}

}  // namespace kb
