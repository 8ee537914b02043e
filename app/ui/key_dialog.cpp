#include "key_dialog.h"

namespace kb::ui {

namespace {

kbskin::SurfaceSet& keyImages() {
    static kbskin::SurfaceSet set;  // loaded once per process
    return set;
}

constexpr SkinnedButton kButtons[] = {
    {IDOK, L"CONTROL_OK"}, {IDCANCEL, L"CONTROL_CANCEL"}, {keydlg::kBrowse, L"FUNC_EXTRA_2_2"}};
constexpr COLORREF kRadioText = RGB(0xAE, 0xB2, 0xBA);

}  // namespace

KeyFunctionDialog::KeyFunctionDialog(DialogContext& context)
    : EditingDialog(context, res::kDlgKeyFunction, L"Key.ini", keyImages(),
                    {L"Skins\\Key_Status1.jpg", L"Skins\\Key_Status2.jpg", L"Skins\\Key_Status3.jpg",
                     L"Skins\\Key_Status4.jpg"}) {
    for (int id : keydlg::kRadios) drawOverBackground(id, kRadioText);
}

void KeyFunctionDialog::run(const KeyTarget& target) {
    target_ = target;
    (void)runModal();
}

bool KeyFunctionDialog::onInitDialog() {
    EditingDialog::onInitDialog();
    filling_ = true;
    model_.open(target_, context_.model);
    macroKeyOpen_ = model_.isOpenForMacroKey();

    const HWND targets = item(keydlg::kTargetList);
    fillList(targets, KeyDialogModel::targetNames());
    const HWND macros = item(keydlg::kMacroList);
    fillList(macros, model_.macroNames());
    fillList(item(keydlg::kLayerNumber), KeyDialogModel::layerNumberNames());
    fillList(item(keydlg::kLayerMode), KeyDialogModel::layerModeNames());
    fillList(item(keydlg::kTapKey), KeyDialogModel::targetNames());
    fillList(item(keydlg::kHoldKey), KeyDialogModel::holdNames());
    // No silent cut at the control's default limit: the model refuses what does not fit.
    SendMessageW(item(keydlg::kPathEdit), EM_SETLIMITTEXT, 0, 0);
    SendMessageW(item(keydlg::kTextEdit), EM_SETLIMITTEXT, 0, 0);

    placeButtons(kButtons, buttons_, 1);
    placeControl(targets, L"FUNC_EXTRA_1");
    placeControl(item(keydlg::kPathEdit), L"FUNC_EXTRA_2");
    placeControl(macros, L"FUNC_EXTRA_3");
    placeControl(item(keydlg::kTextEdit), L"FUNC_EXTRA_4");
    placeControl(item(keydlg::kLayerNumber), L"FUNC_EXTRA_5");
    placeControl(item(keydlg::kLayerMode), L"FUNC_EXTRA_6");
    placeControl(item(keydlg::kTapKey), L"FUNC_EXTRA_7");
    placeControl(item(keydlg::kHoldKey), L"FUNC_EXTRA_8");
    placeControl(item(keydlg::kTerm), L"FUNC_EXTRA_9");
    for (std::size_t t = 0; t < keydlg::kRadios.size(); ++t) {
        const std::wstring key = L"FUNC_SEL_" + std::to_wstring(t + 1);
        placeControl(item(keydlg::kRadios[t]), key.c_str());
    }

    showModel();
    place();
    filling_ = false;
    return true;
}

void KeyFunctionDialog::showModel() {
    for (std::size_t t = 0; t < keydlg::kRadios.size(); ++t) {
        CheckDlgButton(hwnd(), keydlg::kRadios[t],
                       static_cast<int>(t) == model_.type() ? BST_CHECKED : BST_UNCHECKED);
    }
    SendMessageW(item(keydlg::kTargetList), CB_SETCURSEL, static_cast<WPARAM>(model_.targetIndex()), 0);
    SendMessageW(item(keydlg::kMacroList), CB_SETCURSEL,
                 model_.macroNames().empty() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(model_.macroIndex()), 0);
    SetWindowTextW(item(keydlg::kPathEdit), wide(model_.path()).c_str());
    SetWindowTextW(item(keydlg::kTextEdit), wide(model_.textBlock()).c_str());
    SendMessageW(item(keydlg::kLayerNumber), CB_SETCURSEL, static_cast<WPARAM>(model_.layerIndex()), 0);
    SendMessageW(item(keydlg::kLayerMode), CB_SETCURSEL, static_cast<WPARAM>(model_.layerModeIndex()), 0);
    SendMessageW(item(keydlg::kTapKey), CB_SETCURSEL, static_cast<WPARAM>(model_.tapIndex()), 0);
    SendMessageW(item(keydlg::kHoldKey), CB_SETCURSEL, static_cast<WPARAM>(model_.holdIndex()), 0);
    SetWindowTextW(item(keydlg::kTerm), wide(model_.termText()).c_str());
    showEnabled();
}

void KeyFunctionDialog::fillList(HWND list, const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
}

void KeyFunctionDialog::showEnabled() {
    for (int id : keydlg::kDependentControls) EnableWindow(item(id), model_.controlEnabled(id) ? TRUE : FALSE);
    for (int id : keydlg::kRadios) EnableWindow(item(id), model_.controlEnabled(id) ? TRUE : FALSE);
    EnableWindow(item(res::key_function::kKeyApply), model_.changed() ? TRUE : FALSE);
}

void KeyFunctionDialog::place() {
    RECT button{};
    if (!context_.keyButtonRect || !context_.keyButtonRect(target_.buttonId, button)) return;
    RECT own{};
    GetWindowRect(hwnd(), &own);
    const Point at = placeBesideButton({button.left, button.top, button.right, button.bottom}, own.right - own.left,
                                       own.bottom - own.top, GetSystemMetrics(SM_CXSCREEN),
                                       GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(hwnd(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void KeyFunctionDialog::browse() {
    FileQuestion question;
    question.filter = L"(*.exe)\0*.exe\0(*.*)\0*.*\0";
    question.defaultExtension = L"exe";
    question.initialName = L"*.exe";
    const std::vector<std::wstring> chosen = chooseFiles(question);
    if (chosen.empty()) return;
    filling_ = true;
    SetWindowTextW(item(keydlg::kPathEdit), chosen.front().c_str());
    filling_ = false;
    model_.editPath(u16(chosen.front()));
    showEnabled();
}

bool KeyFunctionDialog::applyChanges() {
    const auto outcome = model_.apply(context_.model, context_.list, context_.window, prompt_);
    showEnabled();
    using O = KeyDialogModel::ApplyOutcome;
    return outcome == O::Unchanged || outcome == O::Applied || outcome == O::NotSaved;
}

void KeyFunctionDialog::closed() {
    model_.close();
    macroKeyOpen_ = false;
    if (context_.giveEditLook) context_.giveEditLook(target_.buttonId, false);
}

// Refused: the user sees why and can correct or cancel.
bool KeyFunctionDialog::acceptChanges() { return applyChanges(); }

bool KeyFunctionDialog::onCommand(int id, int code, HWND) {
    if (filling_) return false;
    for (std::size_t t = 0; t < keydlg::kRadios.size(); ++t) {
        if (id == keydlg::kRadios[t] && code == BN_CLICKED) {
            model_.selectType(static_cast<int>(t), true);
            showEnabled();
            return true;
        }
    }
    switch (id) {
    case keydlg::kTargetList:
        if (code != CBN_SELCHANGE) return false;
        model_.chooseTarget(static_cast<int>(SendMessageW(item(id), CB_GETCURSEL, 0, 0)));
        break;
    case keydlg::kMacroList:
        if (code != CBN_SELCHANGE) return false;
        model_.chooseMacro(static_cast<int>(SendMessageW(item(id), CB_GETCURSEL, 0, 0)));
        break;
    case keydlg::kLayerNumber:
    case keydlg::kLayerMode:
    case keydlg::kTapKey:
    case keydlg::kHoldKey: {
        if (code != CBN_SELCHANGE) return false;
        const int sel = static_cast<int>(SendMessageW(item(id), CB_GETCURSEL, 0, 0));
        if (id == keydlg::kLayerNumber) model_.chooseLayer(sel);
        if (id == keydlg::kLayerMode) model_.chooseLayerMode(sel);
        if (id == keydlg::kTapKey) model_.chooseTap(sel);
        if (id == keydlg::kHoldKey) model_.chooseHold(sel);
        break;
    }
    case keydlg::kTerm:
        if (code != EN_CHANGE) return false;
        model_.editTerm(u16(windowText(item(id))));
        break;
    case keydlg::kPathEdit:
        if (code != EN_CHANGE) return false;
        model_.editPath(u16(windowText(item(id))));
        break;
    case keydlg::kTextEdit:
        if (code != EN_CHANGE) return false;
        model_.editText(u16(windowText(item(id))));
        break;
    case keydlg::kBrowse:
        if (code == BN_CLICKED) browse();
        return true;
    case res::key_function::kKeyApply:
        if (code == BN_CLICKED) (void)applyChanges();
        return true;
    default: return false;
    }
    showEnabled();
    return true;
}

}  // namespace kb::ui
