#include "macro_editor.h"

#include "local_clock.h"
#include "profile_backup.h"
#include "profile_file.h"

#include <array>
#include <chrono>
#include <thread>

namespace kb {

int indexOfMacroId(ProfileModel& model, std::uint16_t macroId) {
    std::lock_guard guard(model.lock());
    for (std::size_t i = 0; i < model.macros.size(); ++i) {
        if (model.macros[i].macroId() == macroId) return static_cast<int>(i);
    }
    return 0;
}

std::uint16_t macroIdAtIndex(ProfileModel& model, int position) {
    std::lock_guard guard(model.lock());
    if (position < 0 || static_cast<std::size_t>(position) >= model.macros.size()) return 0;
    return model.macros[static_cast<std::size_t>(position)].macroId();
}

LocalTime SystemMacroClock::now() {
    const LocalClockReading now = readLocalClock();
    return {now.tm.tm_hour, now.tm.tm_min, now.tm.tm_sec, now.milliseconds};
}

void SystemMacroClock::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace {

void appendDigits(std::u16string& out, int value, int width) {
    std::u16string digits;
    for (int i = 0; i < width || value > 0; ++i) {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    }
    out += digits;
}

char16_t foldCase(char16_t c) noexcept {
    if ((c >= u'A' && c <= u'Z') || (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) || (c >= 0x0391 && c <= 0x03A9) ||
        (c >= 0x0410 && c <= 0x042F) || (c >= 0xFF21 && c <= 0xFF3A)) {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
    return c;
}

bool isBlank(char16_t c) noexcept {
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x00A0 || c == 0x3000;
}

std::u16string formatNumber(std::u16string_view format, int value) {
    std::u16string out(format);
    const std::size_t at = out.find(u"%d");
    if (at != std::u16string::npos) {
        std::u16string digits;
        appendDigits(digits, value, 1);
        out.replace(at, 2, digits);
    }
    return out;
}

constexpr int kMaxNameAttempts = 500;  // a clock that never moves must not hang the editor
constexpr std::size_t kEditedNameUnits = 256;

}  // namespace

std::u16string timeMacroName(const LocalTime& t) {
    std::u16string name = u"宏-";
    appendDigits(name, t.hour, 2);
    appendDigits(name, t.minute, 2);
    appendDigits(name, t.second, 2);
    appendDigits(name, t.millisecond, 3);
    return name;
}

bool sameMacroName(std::u16string_view a, std::u16string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

void MacroEditorSession::load(ProfileModel& model) {
    std::lock_guard guard(model.lock());
    list_ = model.macros;
    for (MacroRecord& m : list_) {
        m.setIsNew(0);
        for (std::size_t i = 0; i < m.usedActions(); ++i) {
            MacroAction a = m.action(i);
            if (a.direction > 1) {
                a.direction = 0;
                m.setAction(i, a);
            }
        }
    }
    dirty_ = false;
}

int MacroEditorSession::addMacro(Prompt& prompt, MacroClock& clock) {
    if (list_.size() >= kMaxMacros) {
        prompt.showMessage(formatNumber(text::kMacroLimitFormat, static_cast<int>(kMaxMacros)));
        return -1;
    }
    std::u16string name;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kMaxNameAttempts) return -1;
        name = timeMacroName(clock.now());
        bool taken = false;
        for (const MacroRecord& m : list_) taken = taken || m.name() == name;
        if (!taken) break;
        clock.sleepMs(16);
    }
    std::array<bool, kMaxMacroId + 1> used{};
    for (const MacroRecord& m : list_) {
        if (m.macroId() >= 1 && m.macroId() <= kMaxMacroId) used[m.macroId()] = true;
    }
    std::uint16_t id = 1;
    while (id <= kMaxMacroId && used[id]) ++id;
    if (id > kMaxMacroId) return -1;  // only when ids repeat across 100 macros
    MacroRecord record;
    record.setName(name);
    record.setIsNew(1);
    record.setMacroId(id);
    list_.push_back(record);
    dirty_ = true;
    return static_cast<int>(list_.size() - 1);
}

bool MacroEditorSession::confirmDelete(int index, ProfileModel& model, Prompt& prompt) const {
    if (!valid(index)) return false;
    const MacroRecord& m = list_[static_cast<std::size_t>(index)];
    if (m.isNew() == 1) return true;
    bool referenced = false;
    {
        std::lock_guard guard(model.lock());
        auto plays = [&](const KeyEntry& e) {
            return e.type == static_cast<std::uint16_t>(FunctionType::PlayMacro) && (e.parameter & 0xFFFF) == m.macroId();
        };
        for (int slot = 0; model.record && slot < kSlotCount && !referenced; ++slot) {
            referenced = plays(model.record->entry(slot));
        }
        for (const Layer& layer : model.extension.layers) {
            for (const auto& [slot, e] : layer.keys) referenced = referenced || plays(e.entry);
        }
    }
    return !referenced || prompt.askYesNo(text::kDeleteReferencedMacro, true);
}

void MacroEditorSession::remove(int index) {
    if (!valid(index)) return;
    list_.erase(list_.begin() + index);
    dirty_ = true;
}

bool MacroEditorSession::rename(int index, std::u16string_view edited, Prompt& prompt) {
    if (!valid(index)) return false;
    edited = edited.substr(0, kEditedNameUnits);
    if (const std::size_t end = edited.find(u'\0'); end != std::u16string_view::npos) edited = edited.substr(0, end);
    while (!edited.empty() && isBlank(edited.front())) edited.remove_prefix(1);
    while (!edited.empty() && isBlank(edited.back())) edited.remove_suffix(1);
    if (edited.empty()) return false;  // nothing to name it by: the old name stays
    if (edited.size() > kMaxMacroNameChars) {
        prompt.showMessage(text::kMacroNameTooLong);
        return false;
    }
    for (const MacroRecord& m : list_) {
        if (sameMacroName(m.name(), edited)) {
            prompt.showMessage(text::kDuplicateMacroName);
            return false;
        }
    }
    if (sameMacroName(edited, text::kReservedName)) {
        prompt.showMessage(text::kReservedMacroName);
        return false;
    }
    list_[static_cast<std::size_t>(index)].setName(edited);
    dirty_ = true;
    return true;
}

bool MacroEditorSession::setActions(int index, const std::vector<MacroAction>& steps) {
    if (!valid(index)) return false;
    MacroRecord& m = list_[static_cast<std::size_t>(index)];
    if (m.actions() == steps) return true;
    m.setActions(steps);
    dirty_ = true;
    return steps.size() <= kMaxMacroActions;
}

bool MacroEditorSession::setPlayMode(int index, std::uint16_t mode) {
    if (!valid(index) || mode >= kPlayModeCount) return false;
    MacroRecord& m = list_[static_cast<std::size_t>(index)];
    if (m.playMode() == mode) return false;
    m.setPlayMode(mode);
    dirty_ = true;
    return true;
}

bool MacroEditorSession::appendAction(int index, const MacroAction& step) {
    if (!valid(index) || !list_[static_cast<std::size_t>(index)].appendAction(step)) return false;
    dirty_ = true;
    return true;
}

MacroEditorSession::ApplyResult MacroEditorSession::apply(ProfileModel& model, const ProfileList& list,
                                                          MainWindowSink& window, Prompt& prompt) {
    if (!dirty_) return ApplyResult::Unchanged;
    if (list.activeIndex() < 0) {
        prompt.showMessage(text::kNoEditInDefaultProfile);
        return ApplyResult::RefusedDefaultProfile;
    }
    MacroTable table;
    try {
        table = list_;
    } catch (const std::bad_alloc&) {
        // The profile stays as it was.
        dirty_ = false;
        window.setApplyButtonEnabled(true);
        return ApplyResult::Failed;
    }
    for (MacroRecord& m : table) m.setIsNew(0);
    std::vector<int> resetSlots;
    SaveResult saved = SaveResult::Failed;
    {
        std::lock_guard guard(model.lock());
        if (!model.record) return ApplyResult::Failed;
        // A key that plays id 0 gets the first macro; one whose macro is gone
        // gets its default function, on the base and on every layer alike.
        auto mend = [&](KeyEntry& e) {
            if (e.type != static_cast<std::uint16_t>(FunctionType::PlayMacro)) return false;
            const std::uint16_t id = static_cast<std::uint16_t>(e.parameter & 0xFFFF);
            if (id == 0) {
                if (!list_.empty()) e.parameter = list_.front().macroId();
                return false;
            }
            const MacroRecord* owner = nullptr;
            for (const MacroRecord& m : list_) {
                if (m.macroId() == id) {
                    owner = &m;
                    break;
                }
            }
            if (owner != nullptr && owner->isNew() != 1) return false;
            e.type = static_cast<std::uint16_t>(FunctionType::Default);
            return true;
        };
        for (int slot = 0; slot < kSlotCount; ++slot) {
            KeyEntry e = model.record->entry(slot);
            const bool reset = mend(e);
            model.record->setEntry(slot, e);
            if (reset) resetSlots.push_back(slot);
        }
        for (Layer& layer : model.extension.layers) {
            for (auto& [slot, e] : layer.keys) (void)mend(e.entry);
        }
        model.macros = std::move(table);
        saved = saveProfileLocked(model, list);
    }
    const bool lost = saveLost(saved, list);
    if (const auto notice = takeBackupNotice()) prompt.showMessage(*notice);
    if (lost) prompt.showMessage(saveFailedMessage(list));
    for (MacroRecord& m : list_) m.setIsNew(0);
    for (int slot : resetSlots) unmarkKeyButton(window, slot);
    dirty_ = false;
    window.setApplyButtonEnabled(true);
    return lost ? ApplyResult::NotSaved : ApplyResult::Applied;
}

}  // namespace kb
