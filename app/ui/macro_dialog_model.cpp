#include "macro_dialog_model.h"

#include "key_dialog_model.h"

namespace kb {

void MacroDialogModel::open(ProfileModel& model, ProfileList& list) {
    // The setter writes back what it stores, so a stray value becomes 0.
    recorder_.setRecordDelay(list.setRecordDelay(list.recordDelay()) == 1);
    recorder_.stop();
    ++openCount_;
    session_.load(model);
    applyEnabled_ = false;
    selected_ = -1;
    steps_.clear();
    if (!session_.macros().empty()) showMacro(0);
}

void MacroDialogModel::close() {
    recorder_.stop();
    session_.reset();
    steps_.clear();
    selected_ = -1;
    applyEnabled_ = false;
    if (openCount_ > 0) --openCount_;
}

void MacroDialogModel::keepSteps() {
    if (selected_ >= 0) (void)session_.setActions(selected_, steps_.steps());
}

void MacroDialogModel::showMacro(int index) {
    selected_ = index;
    steps_.reset(index >= 0 ? session_.macros()[static_cast<std::size_t>(index)].actions()
                            : std::vector<MacroAction>{});
}

bool MacroDialogModel::selectMacro(int index, Prompt& prompt) {
    if (index == selected_) return true;
    if (isRecording()) {
        prompt.showMessage(text::kStopRecordingFirst);
        return false;
    }
    if (index < -1 || index >= static_cast<int>(session_.macros().size())) return false;
    keepSteps();
    showMacro(index);
    return true;
}

int MacroDialogModel::addMacro(Prompt& prompt, MacroClock& clock) {
    if (isRecording()) return -1;
    keepSteps();
    const int index = session_.addMacro(prompt, clock);
    if (index < 0) return -1;
    showMacro(index);
    applyEnabled_ = true;
    return index;
}

bool MacroDialogModel::deleteMacro(ProfileModel& model, Prompt& prompt) {
    if (isRecording() || selected_ < 0 || !session_.confirmDelete(selected_, model, prompt)) return false;
    session_.remove(selected_);
    const int count = static_cast<int>(session_.macros().size());
    showMacro(selected_ < count ? selected_ : count - 1);
    applyEnabled_ = true;
    return true;
}

bool MacroDialogModel::renameMacro(int index, std::u16string_view edited, Prompt& prompt) {
    if (!session_.rename(index, edited, prompt)) return false;
    applyEnabled_ = true;
    return true;
}

int MacroDialogModel::playModeChoice() const noexcept {
    if (selected_ < 0 || selected_ >= static_cast<int>(session_.macros().size())) return -1;
    const std::uint16_t mode = session_.macros()[static_cast<std::size_t>(selected_)].playMode();
    return mode < kPlayModeCount ? mode : -1;
}

bool MacroDialogModel::setPlayMode(int choice) {
    if (!playModeEnabled() || choice < 0 || choice >= kPlayModeCount) return false;
    if (!session_.setPlayMode(selected_, static_cast<std::uint16_t>(choice))) return false;
    applyEnabled_ = true;
    return true;
}

bool MacroDialogModel::deleteStep() {
    if (selected_ < 0 || !steps_.removeSelected()) return false;
    applyEnabled_ = true;
    return true;
}

bool MacroDialogModel::clearSteps(Prompt& prompt) {
    if (selected_ < 0 || steps_.empty() || !prompt.askYesNo(text::kClearSteps, true)) return false;
    steps_.clear();
    applyEnabled_ = true;
    return true;
}

bool MacroDialogModel::moveStep(StepList::Move where) {
    if (selected_ < 0 || !steps_.move(where)) return false;
    applyEnabled_ = true;
    return true;
}

DelayEdit MacroDialogModel::editDelay(int row, std::u16string_view text, Prompt& prompt) {
    const std::uint32_t old = row >= 0 && row < steps_.size() ? steps_.steps()[static_cast<std::size_t>(row)].delayMs : 0;
    DelayEdit edit = editStepDelay(text, row, old);
    if (!edit.message.empty()) prompt.showMessage(edit.message);
    if (steps_.setDelay(row, edit.value)) applyEnabled_ = true;
    return edit;
}

bool MacroDialogModel::editKey(int row, std::uint16_t listCode) {
    if (!steps_.setKeyByListCode(row, listCode)) return false;
    applyEnabled_ = true;
    return true;
}

bool MacroDialogModel::editDirection(int row, std::uint16_t direction) {
    if (!steps_.setDirection(row, direction)) return false;
    applyEnabled_ = true;
    return true;
}

void MacroDialogModel::toggleRecording() {
    if (!recorder_.isRecording() && selected_ < 0) return;  // no macro to record into
    recorder_.toggle();
}

int MacroDialogModel::appendRecordedStep(const MacroAction& step) {
    const int row = steps_.add(step, true, true);
    if (row >= 0) applyEnabled_ = true;
    return row;
}

void MacroDialogModel::setRecordDelay(bool on, ProfileList& list) {
    recorder_.setRecordDelay(list.setRecordDelay(on ? 1 : 0) == 1);
}

MacroDialogModel::ApplyResult MacroDialogModel::apply(ProfileModel& model, const ProfileList& list,
                                                      MainWindowSink& window, Prompt& prompt) {
    recorder_.stop();
    if (!applyEnabled_) return ApplyResult::Unchanged;
    if (list.activeIndex() < 0) {
        prompt.showMessage(text::kNoEditInDefaultProfile);
        return ApplyResult::RefusedDefaultProfile;
    }
    keepSteps();
    const ApplyResult r = session_.apply(model, list, window, prompt);
    if (r != ApplyResult::RefusedDefaultProfile) applyEnabled_ = false;
    return r;
}

}  // namespace kb
