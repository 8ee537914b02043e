#include "profile_backup.h"
#include "profile_file.h"
#include "ui_ports.h"
#include "profile_model.h"

#include <algorithm>

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

namespace {

std::u16string keyNameOf(WinMakeCode code) {
    char16_t name[64] = {};
    const std::size_t n = keyName(code, name, 64);
    return std::u16string(name, n);
}

// Under the profile lock.
std::u16string describeEntry(ProfileModel& model, const EntryView& e) {
    switch (e.type) {
    case 0:
        return u"默认功能";
    case 1:
        return u"无功能";
    case 2:
        return u"分配新按键: " + keyNameOf(static_cast<WinMakeCode>(e.parameter & 0xFFFF));
    case 3: {
        const std::size_t cut = e.text.find_last_of(u"\\/");
        return u"启动程序: " + (cut == std::u16string::npos ? e.text : e.text.substr(cut + 1));
    }
    case 4: {
        const std::uint16_t id = static_cast<std::uint16_t>(e.parameter & 0xFFFF);
        for (const MacroRecord& m : model.macros) {
            if (m.macroId() == id) return u"播放宏: " + m.name();
        }
        return u"播放宏";
    }
    case 5:
        return u"停止播放中的宏";
    case 6: {
        std::u16string text = e.text.substr(0, e.text.find_first_of(u"\r\n"));
        const bool cut = text.size() < e.text.size() || text.size() > kToolTipTextChars;
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

std::u16string describeExtKey(const ExtKey& k) {
    auto layerName = [](int n) { return std::u16string(kLayerNames[n >= 0 && n <= kMaxLayers ? n : 0]); };
    if (k.kind == ExtKeyKind::Layer) {
        return u"层键: " + layerName(k.layer) + (k.mode == LayerMode::Toggle ? u" (切换)" : u" (按住)");
    }
    return u"双功能键: 点按 " + keyNameOf(k.tap) + u", 按住 " +
           (k.holdLayer != 0 ? layerName(k.holdLayer) : keyNameOf(k.hold));
}

}  // namespace

std::optional<EntryView> readLayerEntry(ProfileModel& model, int layer, int slot) {
    std::lock_guard guard(model.lock());
    if (!model.record || layer < 1 || layer > static_cast<int>(model.extension.layers.size())) return std::nullopt;
    const Layer& l = model.extension.layers[static_cast<std::size_t>(layer - 1)];
    const auto it = l.keys.find(slot);
    if (it == l.keys.end()) return std::nullopt;
    return EntryView{it->second.entry.type, it->second.entry.parameter, it->second.text};
}

KeyMark keyMark(ProfileModel& model, int slot, int layer) {
    std::lock_guard guard(model.lock());
    if (!model.record) return KeyMark::None;
    const bool base = model.record->entry(slot).type != 0 || model.extension.keyOf(slot) != nullptr;
    if (layer == 0 || !layerableSlot(slot)) return base ? KeyMark::Own : KeyMark::None;
    if (readLayerEntry(model, layer, slot)) return KeyMark::Own;
    return base ? KeyMark::Inherited : KeyMark::None;
}

std::u16string describeKeyFunction(ProfileModel& model, int slot, int layer) {
    std::lock_guard guard(model.lock());
    if (layer > 0 && layerableSlot(slot)) {
        if (const auto own = readLayerEntry(model, layer, slot)) return describeEntry(model, *own);
        const std::u16string base = describeKeyFunction(model, slot, 0);
        return base.empty() ? base : u"透明: " + base;
    }
    if (const ExtKey* k = model.extension.keyOf(slot); k != nullptr && model.record) return describeExtKey(*k);
    const std::optional<EntryView> e = readEntry(model, slot);
    return e ? describeEntry(model, *e) : std::u16string{};
}

void clearSlotTexts(ProfileModel& model) {
    std::lock_guard guard(model.lock());
    model.texts.clearAll();
}

namespace {

// The changed extension for a layer's function or a layer or tap/hold key;
// false when the choice does not make a valid one.
bool changedExtension(const ProfileModel& model, int slot, const Assignment& what, const LayerChoice& choice,
                      std::uint32_t parameter, ProfileExtension& ext) {
    ext = model.extension;
    std::erase_if(ext.keys, [slot](const ExtKey& k) { return k.slot == slot; });
    int needed = choice.layer;
    if (choice.ext) needed = choice.ext->kind == ExtKeyKind::Layer ? choice.ext->layer : choice.ext->holdLayer;
    if (needed < 0 || needed > kMaxLayers) return false;
    if (static_cast<int>(ext.layers.size()) < needed) ext.layers.resize(static_cast<std::size_t>(needed));
    if (choice.ext) {
        ExtKey k = *choice.ext;
        k.slot = slot;
        ext.keys.insert(std::ranges::find_if(ext.keys, [slot](const ExtKey& e) { return e.slot > slot; }), k);
    } else if (choice.layer > 0) {
        auto& keys = ext.layers[static_cast<std::size_t>(choice.layer - 1)].keys;
        keys.erase(slot);
        if (!choice.transparent) {
            LayerEntry e{{what.type, 0, parameter}, {}};
            if (carriesText(what.type)) e.text = what.text;
            keys[slot] = std::move(e);
        }
    }
    return extensionProblem(ext).empty();
}

}  // namespace

AssignResult assign(ProfileModel& model, const ProfileList& list, MainWindowSink& window, Prompt& prompt,
                    int device, int position, const Assignment& choice, const LayerChoice& where) {
    if (device < 0 || device >= kSlotCount / kSlotsPerDevice || position < 0 || position >= kSlotsPerDevice ||
        choice.type > kMaxFunctionType || where.layer < 0 || where.layer > kMaxLayers ||
        (where.ext && where.layer != 0) || (where.transparent && where.layer == 0)) {
        return AssignResult::BadArgument;
    }
    std::uint32_t parameter = 0;
    if (where.ext || where.transparent) {
        // none of the seven functions
    } else if (choice.type == static_cast<std::uint16_t>(FunctionType::OtherKey)) {
        parameter = keyOfListCode(choice.listCode);
        if (parameter == 0) return AssignResult::BadArgument;
    } else if (choice.type == static_cast<std::uint16_t>(FunctionType::PlayMacro)) {
        parameter = choice.macroId;
    }
    const int slot = device * kSlotsPerDevice + position;
    if ((where.ext || where.layer > 0) && !layerableSlot(slot)) return AssignResult::BadArgument;
    bool assigned = false;
    bool saveFailed = false;
    {
        std::lock_guard guard(model.lock());
        if (!model.record) return AssignResult::NoProfile;
        if (where.ext || where.layer > 0) {
            ProfileExtension ext;
            if (!changedExtension(model, slot, choice, where, parameter, ext)) return AssignResult::BadArgument;
            model.extension = std::move(ext);
            if (where.ext) {
                model.texts.clear(slot);
                writeFallbacks(*model.record, model.extension);
            }
        } else {
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
        }
        saveFailed = saveLost(saveProfileLocked(model, list), list);
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
