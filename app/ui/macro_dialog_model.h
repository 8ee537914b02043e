// The macro editor without a window: the working copies of the macros, the
// selected macro and its step list, recording and the Apply button's state.
// The dialog turns clicks and list notifications into these calls and shows
// the result; the model never talks to a window itself.
#pragma once

#include "macro_editor.h"
#include "macro_recorder.h"
#include "macro_steps.h"
#include "profile_list.h"
#include "profile_model.h"
#include "ui_ports.h"

#include <string_view>

namespace kb {

namespace text {
inline constexpr std::u16string_view kStopRecordingFirst = u"请先停止宏录制!  ";
inline constexpr std::u16string_view kClearSteps = u"确实需要清空宏动作?  ";
// The play mode choices; the position is the value stored in the record.
inline constexpr std::u16string_view kPlayModeNames[kPlayModeCount] = {
    u"Play macro once", u"Play macro repeat", u"Repeating until key down again"};
}  // namespace text

class MacroDialogModel {
public:
    // The host carries out the recorder's hook and tells the dialog about
    // recorded steps (after appendRecordedStep has added them).
    explicit MacroDialogModel(RecorderHost& host) noexcept : recorder_(host) {}

    // Opening: the option from the settings (written back as stored), the
    // macros copied, the first macro selected and its steps shown.
    void open(ProfileModel& model, ProfileList& list);
    // Cancel or the close box (and after OK): the recording stops, the copies go.
    void close();
    [[nodiscard]] bool isOpen() const noexcept { return openCount_ > 0; }

    [[nodiscard]] const std::vector<MacroRecord>& macros() const noexcept { return session_.macros(); }
    [[nodiscard]] int selectedMacro() const noexcept { return selected_; }
    // The user's selection: the steps of the old macro are kept in its copy
    // and the new one's are shown. Refused while recording (with its message).
    bool selectMacro(int index, Prompt& prompt);

    int addMacro(Prompt& prompt, MacroClock& clock);
    // Deletes the selected macro after the key-reference question.
    bool deleteMacro(ProfileModel& model, Prompt& prompt);
    bool renameMacro(int index, std::u16string_view edited, Prompt& prompt);

    // The selected macro's play mode as the choice shows it: its position in
    // kPlayModeNames, or -1 (nothing chosen) without a selection or for a
    // stored value the program does not know, which stays as it is until
    // the user picks a mode.
    [[nodiscard]] int playModeChoice() const noexcept;
    bool setPlayMode(int choice);
    // The choice can be changed while a macro is selected and nothing records.
    [[nodiscard]] bool playModeEnabled() const noexcept { return selected_ >= 0 && !isRecording(); }

    [[nodiscard]] const StepList& steps() const noexcept { return steps_; }
    void selectStep(int row) noexcept { steps_.select(row); }
    bool deleteStep();
    // Asks first; nothing is asked for an empty list.
    bool clearSteps(Prompt& prompt);
    bool moveStep(StepList::Move where);
    // Ending the in-place edits of a step; the delay with its limits.
    DelayEdit editDelay(int row, std::u16string_view text, Prompt& prompt);
    bool editKey(int row, std::uint16_t listCode);
    bool editDirection(int row, std::uint16_t direction);

    // Recording; the hook adds through appendRecordedStep.
    void toggleRecording();
    void stopRecording() { recorder_.stop(); }
    [[nodiscard]] bool isRecording() const noexcept { return recorder_.isRecording(); }
    [[nodiscard]] bool hookInstalled() const noexcept { return recorder_.hookInstalled(); }
    [[nodiscard]] HookDecision onKey(int hookCode, std::uint32_t lParam) { return recorder_.onKey(hookCode, lParam); }
    // Added after the selected row, highlighted; -1 when the list is full.
    int appendRecordedStep(const MacroAction& step);
    void setRecordDelay(bool on, ProfileList& list);
    [[nodiscard]] bool recordDelay() const noexcept { return recorder_.recordDelay(); }

    [[nodiscard]] bool applyEnabled() const noexcept { return applyEnabled_; }
    // Buttons 1020 to 1026.
    [[nodiscard]] bool stepButtonsEnabled() const noexcept { return selected_ >= 0; }
    // F1 opens help only while not recording.
    [[nodiscard]] bool helpAllowed() const noexcept { return !isRecording(); }

    using ApplyResult = MacroEditorSession::ApplyResult;
    // The editor's Apply (and OK's): stops a recording, keeps the selected
    // macro's steps and installs the macros in the profile. A failed save is
    // reported with the file's path.
    ApplyResult apply(ProfileModel& model, const ProfileList& list, MainWindowSink& window, Prompt& prompt);

private:
    void keepSteps();
    void showMacro(int index);

    MacroEditorSession session_;
    StepList steps_;
    MacroRecorder recorder_;
    int selected_ = -1;
    int openCount_ = 0;
    bool applyEnabled_ = false;
};

}  // namespace kb
