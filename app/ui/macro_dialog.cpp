#include "macro_dialog.h"

#include "key_catalogue.h"

#include <commctrl.h>

namespace kb::ui {

namespace {

using namespace res::macro_editor;

constexpr UINT kShowMessages = WM_APP + 0x31;
constexpr int kChoiceId = 0x7F31;

kbskin::SurfaceSet& macroImages() {
    static kbskin::SurfaceSet set;  // loaded once per process
    return set;
}

// The recording dialog of this thread; the hook is thread-local, so one is enough.
thread_local MacroEditorDialog* t_recorder = nullptr;

constexpr std::array<SkinnedButton, 12> kButtons{{{IDOK, L"CONTROL_OK"},
                                                  {IDCANCEL, L"CONTROL_CANCEL"},
                                                  {kMacroAdd, L"FUNC_ADD"},
                                                  {kMacroDelete, L"FUNC_DELETE"},
                                                  {kStepTop, L"FUNC_UP_TOP"},
                                                  {kStepUp, L"FUNC_UP"},
                                                  {kStepDown, L"FUNC_DOWN"},
                                                  {kStepBottom, L"FUNC_DOWN_BOTTOM"},
                                                  {kStepDelete, L"FUNC_DELETE2"},
                                                  {kStepClear, L"FUNC_CLEAR"},
                                                  {kMacroApply, L"CONTROL2_APPLY"},
                                                  {kMacroRecord, L"FUNC_RECORD"}}};

constexpr COLORREF kCheckText = RGB(0xC0, 0xC0, 0xC0);

std::wstring number(std::uint32_t v) { return std::to_wstring(v); }

}  // namespace

MacroEditorDialog::MacroEditorDialog(DialogContext& context)
    : EditingDialog(context, res::kDlgMacroEditor, L"Macro.ini", macroImages(),
                    {L"Skins\\Macro_Status1.jpg", L"Skins\\Macro_Status2.jpg", L"Skins\\Macro_Status3.jpg",
                     L"Skins\\Macro_Status4.jpg", L"Skins\\Macro_Status5.jpg"}) {
    drawOverBackground(kRecordDelays, kCheckText);
}

MacroEditorDialog::~MacroEditorDialog() {
    model_.stopRecording();  // however the editor goes, the hook goes with it
    removeHook();
}

void MacroEditorDialog::run() { (void)runModal(); }

bool MacroEditorDialog::onInitDialog() {
    EditingDialog::onInitDialog();
    model_.open(context_.model, context_.list);

    macroList_.Attach(hwnd(), kMacroList);
    colours().dress(macroList_);  // before the columns: they take its colours
    macroList_.InsertColumn(0, L"宏名", LVCFMT_LEFT, 300);
    macroList_.SetEditable(true);
    macroList_.SetGridLines(false);  // also full-row selection, so any cell selects its row
    macroList_.SetOwnerFlag(&listChanging_);
    stepList_.Attach(hwnd(), kStepList);
    colours().dress(stepList_);
    stepList_.InsertColumn(0, L"延迟(毫秒)", LVCFMT_LEFT, 80);
    stepList_.InsertColumn(1, L"按键", LVCFMT_LEFT, 200);
    stepList_.InsertColumn(2, L"动作", LVCFMT_LEFT, 80);
    stepList_.SetSorting(false);
    stepList_.SetEditable(true);
    stepList_.SetGridLines(false);
    stepList_.SetOwnerFlag(&listChanging_);

    kbskin::ReportList::Callbacks names;
    names.beginEdit = [this](HWND, kbskin::ReportList&, kbskin::ReportList::Cell cell) {
        return cell.column == 0 && !model_.isRecording();
    };
    names.validateEdit = [this](HWND, kbskin::ReportList& list, kbskin::ReportList::Cell cell,
                                const std::wstring& text) {
        const int macro = macroOfRow(cell.row);
        if (model_.renameMacro(macro, u16(text), deferred_)) {
            list.SetCellText(cell.row, 0, wide(model_.macros()[static_cast<std::size_t>(macro)].name()).c_str());
        }
        PostMessageW(hwnd(), kShowMessages, 0, 0);
        showButtons();
        return false;  // the cell shows the stored name, set above
    };
    macroList_.SetCallbacks(std::move(names));

    kbskin::ReportList::Callbacks steps;
    steps.beginEdit = [this](HWND, kbskin::ReportList&, kbskin::ReportList::Cell cell) {
        if (cell.column == 0) return true;
        // Key and action are chosen from a list, opened once the click is done.
        PostMessageW(hwnd(), kShowMessages, static_cast<WPARAM>(cell.row + 1), static_cast<LPARAM>(cell.column));
        return false;
    };
    steps.validateEdit = [this](HWND, kbskin::ReportList& list, kbskin::ReportList::Cell cell,
                                const std::wstring& text) {
        const DelayEdit edit = model_.editDelay(cell.row, u16(text), deferred_);
        list.SetCellText(cell.row, 0, number(edit.value).c_str());
        PostMessageW(hwnd(), kShowMessages, 0, 0);
        showButtons();
        return false;  // the cell shows the final value, set above
    };
    stepList_.SetCallbacks(std::move(steps));

    for (std::u16string_view name : text::kPlayModeNames) {
        SendDlgItemMessageW(hwnd(), kMacroPlayMode, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
    skin();
    CheckDlgButton(hwnd(), kRecordDelays, model_.recordDelay() ? BST_CHECKED : BST_UNCHECKED);
    showMacros();
    return TRUE;
}

void MacroEditorDialog::skin() {
    placeButtons(kButtons, buttons_, 5);
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        if (kButtons[i].id == kMacroRecord && buttons_[i].Hwnd() != nullptr) recordButton_ = &buttons_[i];
    }
    placeControl(item(kRecordDelays), L"FUNC_RECORD_DELAY");
    placeControl(macroList_.Hwnd(), L"PROGRAM_LIST");
    placeControl(stepList_.Hwnd(), L"PROGRAM_LIST2");
}

void MacroEditorDialog::showMacros() {
    ++programmatic_;
    macroList_.DeleteAllRows();
    // Each row carries its macro's index: a sort by the header moves rows, never macros.
    for (std::size_t i = 0; i < model_.macros().size(); ++i) {
        macroList_.InsertRow(macroList_.RowCount(), wide(model_.macros()[i].name()).c_str(), static_cast<LPARAM>(i));
    }
    macroList_.Resort();
    macroList_.SelectOnly(rowOfMacro(model_.selectedMacro()));
    --programmatic_;
    showSteps();
}

void MacroEditorDialog::showSteps() {
    ++programmatic_;
    SendMessageW(stepList_.Hwnd(), WM_SETREDRAW, FALSE, 0);
    stepList_.DeleteAllRows();
    const std::vector<MacroAction>& steps = model_.steps().steps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const int row = stepList_.InsertRow(static_cast<int>(i), number(steps[i].delayMs).c_str());
        stepList_.SetCellText(row, 1, wide(stepKeyName(steps[i].makeCode)).c_str());
        stepList_.SetCellText(row, 2, wide(directionText(steps[i].direction)).c_str());
    }
    stepList_.SetCellBackColour(-1, 1, colours().get(kbskin::SkinColour::ListShade));
    stepList_.SetCellBackColour(-1, 2, colours().get(kbskin::SkinColour::ListShade));
    const int selected = model_.steps().selected();
    stepList_.SelectOnly(selected);
    SendMessageW(stepList_.Hwnd(), WM_SETREDRAW, TRUE, 0);
    if (selected >= 0) ListView_EnsureVisible(stepList_.Hwnd(), selected, FALSE);
    InvalidateRect(stepList_.Hwnd(), nullptr, TRUE);
    --programmatic_;
    showButtons();
}

void MacroEditorDialog::showButtons() {
    const BOOL steps = model_.stepButtonsEnabled() ? TRUE : FALSE;
    for (int id = kMacroRecord; id <= kStepBottom; ++id) EnableWindow(item(id), steps);
    const BOOL idle = model_.isRecording() ? FALSE : TRUE;
    EnableWindow(item(kMacroAdd), idle);
    EnableWindow(item(kMacroDelete), idle);
    EnableWindow(macroList_.Hwnd(), idle);
    EnableWindow(item(kMacroApply), model_.applyEnabled() ? TRUE : FALSE);
    // An unknown stored mode shows no choice and stays as it is.
    SendDlgItemMessageW(hwnd(), kMacroPlayMode, CB_SETCURSEL, static_cast<WPARAM>(model_.playModeChoice()), 0);
    EnableWindow(item(kMacroPlayMode), model_.playModeEnabled() ? TRUE : FALSE);
    for (kbskin::SkinButton& b : buttons_) {
        if (b.Hwnd() != nullptr) b.Redraw();
    }
}

void MacroEditorDialog::flushMessages() {
    std::vector<std::u16string> messages;
    messages.swap(deferred_.pending);
    for (const std::u16string& m : messages) prompt_.showMessage(m);
}

int MacroEditorDialog::macroOfRow(int row) const {
    if (row < 0 || row >= macroList_.RowCount()) return -1;
    return static_cast<int>(macroList_.GetRowData(row));
}

int MacroEditorDialog::rowOfMacro(int macro) const {
    return macro < 0 ? -1 : macroList_.RowWithData(static_cast<LPARAM>(macro));
}

void MacroEditorDialog::selectMacroRow(int row) {
    const int macro = macroOfRow(row);
    if (macro == model_.selectedMacro()) return;
    if (macro < 0 || !model_.selectMacro(macro, prompt_)) {
        ++programmatic_;
        macroList_.SelectOnly(rowOfMacro(model_.selectedMacro()));
        --programmatic_;
        return;
    }
    showSteps();
}

void MacroEditorDialog::openCellChoice(int row, int column) {
    endCellChoice(false);
    if (row < 0 || row >= model_.steps().size() || model_.isRecording()) return;
    RECT cell{};
    if (!ListView_GetSubItemRect(stepList_.Hwnd(), row, column, LVIR_LABEL, &cell)) return;
    MapWindowPoints(stepList_.Hwnd(), hwnd(), reinterpret_cast<POINT*>(&cell), 2);
    const int rowHeight = cell.bottom - cell.top;
    const int rows = column == 1 ? 20 : 6;
    choice_ = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST,
                              cell.left, cell.top, cell.right - cell.left, rowHeight * rows, hwnd(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChoiceId)), GetModuleHandleW(nullptr),
                              nullptr);
    if (choice_ == nullptr) return;
    dressField(choice_);
    SendMessageW(choice_, WM_SETFONT, SendMessageW(stepList_.Hwnd(), WM_GETFONT, 0, 0), FALSE);
    const MacroAction step = model_.steps().steps()[static_cast<std::size_t>(row)];
    if (column == 1) {
        for (std::uint16_t code = 0; code < kChoiceListCount; ++code) {
            SendMessageW(choice_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(nameOfListCode(code)).c_str()));
        }
        SendMessageW(choice_, CB_SETCURSEL, listCodeOfKey(step.makeCode), 0);
    } else {
        SendMessageW(choice_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"↓"));
        SendMessageW(choice_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"↑"));
        SendMessageW(choice_, CB_SETCURSEL, step.direction == 1 ? 1 : 0, 0);
    }
    choiceRow_ = row;
    choiceColumn_ = column;
    SetWindowPos(choice_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetFocus(choice_);
    SendMessageW(choice_, CB_SHOWDROPDOWN, TRUE, 0);
}

void MacroEditorDialog::endCellChoice(bool take) {
    if (choice_ == nullptr) return;
    const HWND choice = choice_;
    choice_ = nullptr;  // destroying it sends a focus loss that must not come back here
    const int picked = static_cast<int>(SendMessageW(choice, CB_GETCURSEL, 0, 0));
    DestroyWindow(choice);
    if (!take || picked < 0) return;
    const bool changed = choiceColumn_ == 1
                             ? model_.editKey(choiceRow_, static_cast<std::uint16_t>(picked))
                             : model_.editDirection(choiceRow_, static_cast<std::uint16_t>(picked));
    if (changed) {
        const MacroAction step = model_.steps().steps()[static_cast<std::size_t>(choiceRow_)];
        stepList_.SetCellText(choiceRow_, 1, wide(stepKeyName(step.makeCode)).c_str());
        stepList_.SetCellText(choiceRow_, 2, wide(directionText(step.direction)).c_str());
        showButtons();
    }
    SetFocus(stepList_.Hwnd());
}

void MacroEditorDialog::closed() {
    endCellChoice(false);
    model_.close();  // stops a recording, which removes the hook
    removeHook();
}

// A cell being typed into counts as typed.
void MacroEditorDialog::endEdits() {
    if (macroList_.Editing()) macroList_.EndEdit(true);
    if (stepList_.Editing()) stepList_.EndEdit(true);
    flushMessages();
}

bool MacroEditorDialog::acceptChanges() {
    endEdits();
    const auto r = model_.apply(context_.model, context_.list, context_.window, prompt_);
    if (r != MacroDialogModel::ApplyResult::RefusedDefaultProfile) return true;
    showButtons();
    return false;
}

bool MacroEditorDialog::onCommand(int id, int code, HWND) {
    if (id == kChoiceId) {
        if (code == CBN_SELENDOK) endCellChoice(true);
        if (code == CBN_SELENDCANCEL || code == CBN_KILLFOCUS) endCellChoice(false);
        return true;
    }
    if (id == kMacroPlayMode) {
        if (code != CBN_SELCHANGE) return false;
        const auto choice = static_cast<int>(SendDlgItemMessageW(hwnd(), kMacroPlayMode, CB_GETCURSEL, 0, 0));
        (void)model_.setPlayMode(choice);
        showButtons();
        return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
    case kMacroAdd: {
        SystemMacroClock clock;
        if (model_.addMacro(prompt_, clock) >= 0) showMacros();
        break;
    }
    case kMacroDelete:
        if (model_.deleteMacro(context_.model, prompt_)) showMacros();
        break;
    case kMacroRecord:
        model_.toggleRecording();
        if (model_.isRecording()) SetFocus(stepList_.Hwnd());
        break;
    case kStepDelete:
        if (model_.deleteStep()) showSteps();
        break;
    case kStepClear:
        if (model_.clearSteps(prompt_)) showSteps();
        break;
    case kStepTop:
    case kStepUp:
    case kStepDown:
    case kStepBottom: {
        const StepList::Move moves[] = {StepList::Move::Top, StepList::Move::Up, StepList::Move::Down,
                                        StepList::Move::Bottom};
        if (model_.moveStep(moves[id - kStepTop])) showSteps();
        SetFocus(stepList_.Hwnd());
        break;
    }
    case kRecordDelays:
        model_.setRecordDelay(IsDlgButtonChecked(hwnd(), kRecordDelays) == BST_CHECKED, context_.list);
        break;
    case kMacroApply:
        endEdits();
        (void)model_.apply(context_.model, context_.list, context_.window, prompt_);
        break;
    default: return false;
    }
    showButtons();
    return true;
}

bool MacroEditorDialog::onNotify(NMHDR* header, LRESULT& result) {
    if (header->code != LVN_ITEMCHANGED || programmatic_ != 0 || listChanging_ != 0) return false;
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if ((change->uChanged & LVIF_STATE) == 0 || (change->uNewState & LVIS_SELECTED) == 0 ||
        (change->uOldState & LVIS_SELECTED) != 0) {
        return false;
    }
    if (header->idFrom == static_cast<UINT_PTR>(kMacroList)) {
        selectMacroRow(change->iItem);
    } else if (header->idFrom == static_cast<UINT_PTR>(kStepList)) {
        model_.selectStep(change->iItem);
    } else {
        return false;
    }
    result = 0;
    return true;
}

bool MacroEditorDialog::dialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case kShowMessages:
        flushMessages();
        if (wParam != 0) openCellChoice(static_cast<int>(wParam) - 1, static_cast<int>(lParam));
        result = 0;
        return true;
    default: return false;
    }
}

std::uint32_t MacroEditorDialog::tickCount() { return GetTickCount(); }

bool MacroEditorDialog::installHook() {
    removeHook();
    hook_.reset(SetWindowsHookExW(WH_KEYBOARD, &MacroEditorDialog::keyHook, nullptr, GetCurrentThreadId()));
    if (hook_) t_recorder = this;
    return hook_.valid();
}

void MacroEditorDialog::removeHook() {
    hook_.reset();
    if (t_recorder == this) t_recorder = nullptr;
}

LRESULT CALLBACK MacroEditorDialog::keyHook(int code, WPARAM wParam, LPARAM lParam) {
    MacroEditorDialog* self = t_recorder;
    try {
        if (self != nullptr &&
            self->model_.onKey(code, static_cast<std::uint32_t>(lParam)) == HookDecision::Swallow) {
            return 1;
        }
    } catch (...) {
        // A key that cannot be recorded is passed on rather than lost.
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void MacroEditorDialog::appendStep(const MacroAction& step) {
    if (model_.appendRecordedStep(step) >= 0) showSteps();
}

void MacroEditorDialog::showRecording(bool recording) {
    SetWindowTextW(item(kMacroRecord), recording ? L"停止录制" : L"录制...");
    if (recordButton_ != nullptr) {
        if (recording) recordButton_->SetSurfaces(image(5), image(5), image(5), image(4), image(5));
        else recordButton_->SetSurfaces(image(1), image(2), image(3), image(4), image(5));
    }
    if (hwnd() != nullptr) showButtons();
}

}  // namespace kb::ui
