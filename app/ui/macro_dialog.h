// The macro editor (template 133, skin "Skins\Macro.ini") over its model,
// with the thread keyboard hook that records.
#pragma once

#include "editing_dialog.h"
#include "macro_dialog_model.h"
#include "win/report_list.h"

#include <array>
#include <string>
#include <vector>

namespace kb::ui {

// Collects the messages of list callbacks and shows them once the list has
// finished its own work, so no message box runs inside a list notification.
class DeferredPrompt final : public Prompt {
public:
    void showMessage(std::u16string_view text) override { pending.emplace_back(text); }
    [[nodiscard]] bool askYesNo(std::u16string_view, bool) override { return false; }
    std::vector<std::u16string> pending;
};

class MacroEditorDialog final : public EditingDialog, private RecorderHost {
public:
    explicit MacroEditorDialog(DialogContext& context);
    ~MacroEditorDialog() override;

    void run();
    [[nodiscard]] bool isOpen() const noexcept { return model_.isOpen(); }

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onNotify(NMHDR* header, LRESULT& result) override;
    bool acceptChanges() override;
    void closed() override;
    bool helpAllowed() const override { return model_.helpAllowed(); }
    bool dialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // RecorderHost
    std::uint32_t tickCount() override;
    bool installHook() override;
    void removeHook() override;
    void appendStep(const MacroAction& step) override;
    void showRecording(bool recording) override;
    static LRESULT CALLBACK keyHook(int code, WPARAM wParam, LPARAM lParam);

    void skin();
    void showMacros();
    void showSteps();
    void showButtons();
    // Rows and macros meet only through the index each row carries.
    [[nodiscard]] int macroOfRow(int row) const;
    [[nodiscard]] int rowOfMacro(int macro) const;
    void selectMacroRow(int row);
    void openCellChoice(int row, int column);
    void endCellChoice(bool take);
    void flushMessages();
    void endEdits();

    MacroDialogModel model_{*this};
    DeferredPrompt deferred_;
    kbskin::ReportList macroList_;
    kbskin::ReportList stepList_;
    std::array<kbskin::SkinButton, 12> buttons_;
    kbskin::SkinButton* recordButton_ = nullptr;
    kbskin::UniqueHook hook_;
    HWND choice_ = nullptr;  // the drop-down over a key or action cell
    int choiceRow_ = -1;
    int choiceColumn_ = -1;
    int programmatic_ = 0;   // above 0 while the dialog changes a list's selection itself
    int listChanging_ = 0;   // set by the lists while they change their own selection
};

}  // namespace kb::ui
