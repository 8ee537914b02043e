#include "key_dialog.h"

#include "win/skin_ini.h"
#include "win/skin_picture.h"

#include <commdlg.h>

namespace kb::ui {

namespace {

constexpr const wchar_t* kSection = L"BUTTONINFO";

kbskin::SurfaceSet& keyImages() {
    static kbskin::SurfaceSet set;  // loaded once per process
    return set;
}

}  // namespace

KeyFunctionDialog::KeyFunctionDialog(DialogContext& context)
    : DialogPaths(context.programFolder, L"Key.ini"),
      kbskin::SkinDialog(GetModuleHandleW(nullptr), res::kDlgKeyFunction, context.owner, skinFile.c_str(),
                         skinDirectory.c_str()),
      context_(context) {}

void KeyFunctionDialog::run(const KeyTarget& target) {
    target_ = target;
    (void)runModal();
}

void KeyFunctionDialog::cancel() {
    if (hwnd() != nullptr && model_.isOpen()) onCancel();
}

bool KeyFunctionDialog::onInitDialog() {
    SkinDialog::onInitDialog();
    prompt_.setOwner(hwnd());
    filling_ = true;
    model_.open(target_, context_.model);
    macroKeyOpen_ = model_.isOpenForMacroKey();

    const HWND targets = item(keydlg::kTargetList);
    for (const std::u16string& name : KeyDialogModel::targetNames()) {
        SendMessageW(targets, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
    const HWND macros = item(keydlg::kMacroList);
    for (const std::u16string& name : model_.macroNames()) {
        SendMessageW(macros, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
    // No silent cut at the control's default limit: the model refuses what does not fit.
    SendMessageW(item(keydlg::kPathEdit), EM_SETLIMITTEXT, 0, 0);
    SendMessageW(item(keydlg::kTextEdit), EM_SETLIMITTEXT, 0, 0);

    kbskin::SurfaceSet& images = keyImages();
    images.Build(hwnd(), {L"Skins\\Key_Status1.jpg", L"Skins\\Key_Status2.jpg", L"Skins\\Key_Status3.jpg",
                          L"Skins\\Key_Status4.jpg"});
    const int ids[3] = {IDOK, IDCANCEL, keydlg::kBrowse};
    const wchar_t* keys[3] = {L"CONTROL_OK", L"CONTROL_CANCEL", L"FUNC_EXTRA_2_2"};
    for (int i = 0; i < 3; ++i) {
        if (buttons_[static_cast<std::size_t>(i)].Attach(hwnd(), ids[i])) {
            kbskin::PlaceButton(buttons_[static_cast<std::size_t>(i)], skinFile.c_str(), kSection, keys[i],
                                images.at(0), images.at(1), images.at(2), images.at(3), images.at(0));
        }
    }
    kbskin::PlaceControl(targets, skinFile.c_str(), kSection, L"FUNC_EXTRA_1");
    kbskin::PlaceControl(item(keydlg::kPathEdit), skinFile.c_str(), kSection, L"FUNC_EXTRA_2");
    kbskin::PlaceControl(macros, skinFile.c_str(), kSection, L"FUNC_EXTRA_3");
    kbskin::PlaceControl(item(keydlg::kTextEdit), skinFile.c_str(), kSection, L"FUNC_EXTRA_4");
    for (std::size_t t = 0; t < keydlg::kRadios.size(); ++t) {
        const std::wstring key = L"FUNC_SEL_" + std::to_wstring(t + 1);
        kbskin::PlaceControl(item(keydlg::kRadios[t]), skinFile.c_str(), kSection, key.c_str());
    }

    showModel();
    place();
    filling_ = false;
    return TRUE;
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
    showEnabled();
}

void KeyFunctionDialog::showEnabled() {
    for (int id : keydlg::kDependentControls) EnableWindow(item(id), model_.controlEnabled(id) ? TRUE : FALSE);
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
    wchar_t file[MAX_PATH * 4] = L"*.exe";
    static const wchar_t filter[] = L"(*.exe)\0*.exe\0(*.*)\0*.*\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = static_cast<DWORD>(std::size(file));
    ofn.lpstrDefExt = L"exe";
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) return;
    filling_ = true;
    SetWindowTextW(item(keydlg::kPathEdit), file);
    filling_ = false;
    model_.editPath(u16(file));
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

void KeyFunctionDialog::onOK() {
    if (!applyChanges()) return;  // refused: the user sees why and can correct or cancel
    closed();
    SkinDialog::onOK();
}

void KeyFunctionDialog::onCancel() {
    closed();
    SkinDialog::onCancel();
}

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

bool KeyFunctionDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_CTLCOLORBTN || message == WM_CTLCOLORSTATIC) {
        const HWND control = reinterpret_cast<HWND>(lParam);
        for (int id : keydlg::kRadios) {
            if (control == item(id)) {
                result = backdrop_.paint(hwnd(), background(), control, reinterpret_cast<HDC>(wParam), RGB(0xAE, 0xB2, 0xBA));
                return true;
            }
        }
        return false;
    }
    if (message == WM_HELP) {
        if (context_.openHelp) context_.openHelp();
        result = TRUE;
        return true;
    }
    return false;
}

}  // namespace kb::ui
