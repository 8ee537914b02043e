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
