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
      kbskin::SkinDialog(GetModuleHandleW(nullptr), res::kDlgKeyFunction, context.owner, iniPath.c_str(),
                         skinFolder.c_str()),
      context_(context) {}

void KeyFunctionDialog::run(const KeyTarget& target) {
    target_ = target;
    (void)DoModal();
}

void KeyFunctionDialog::cancel() {
    if (Hwnd() != nullptr && model_.isOpen()) OnCancel();
}

BOOL KeyFunctionDialog::OnInitDialog() {
    SkinDialog::OnInitDialog();
    prompt_.setOwner(Hwnd());
    filling_ = true;
    model_.open(target_, context_.model);
    macroKeyOpen_ = model_.isOpenForMacroKey();

    const HWND targets = Item(keydlg::kTargetList);
    for (const std::u16string& name : KeyDialogModel::targetNames()) {
        SendMessageW(targets, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
    const HWND macros = Item(keydlg::kMacroList);
    for (const std::u16string& name : model_.macroNames()) {
        SendMessageW(macros, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
    // No silent cut at the control's default limit: the model refuses what does not fit.
    SendMessageW(Item(keydlg::kPathEdit), EM_SETLIMITTEXT, 0, 0);
    SendMessageW(Item(keydlg::kTextEdit), EM_SETLIMITTEXT, 0, 0);

    kbskin::SurfaceSet& images = keyImages();
    images.Build(Hwnd(), {L"Skins\\Key_Status1.jpg", L"Skins\\Key_Status2.jpg", L"Skins\\Key_Status3.jpg",
                          L"Skins\\Key_Status4.jpg"});
    const int ids[3] = {IDOK, IDCANCEL, keydlg::kBrowse};
    const wchar_t* keys[3] = {L"CONTROL_OK", L"CONTROL_CANCEL", L"FUNC_EXTRA_2_2"};
    for (int i = 0; i < 3; ++i) {
        if (buttons_[static_cast<std::size_t>(i)].Attach(Hwnd(), ids[i])) {
            kbskin::PlaceButton(buttons_[static_cast<std::size_t>(i)], iniPath.c_str(), kSection, keys[i],
                                images.at(0), images.at(1), images.at(2), images.at(3), images.at(0));
        }
    }
    kbskin::PlaceControl(targets, iniPath.c_str(), kSection, L"FUNC_EXTRA_1");
    kbskin::PlaceControl(Item(keydlg::kPathEdit), iniPath.c_str(), kSection, L"FUNC_EXTRA_2");
    kbskin::PlaceControl(macros, iniPath.c_str(), kSection, L"FUNC_EXTRA_3");
    kbskin::PlaceControl(Item(keydlg::kTextEdit), iniPath.c_str(), kSection, L"FUNC_EXTRA_4");
    for (std::size_t t = 0; t < keydlg::kRadios.size(); ++t) {
        const std::wstring key = L"FUNC_SEL_" + std::to_wstring(t + 1);
        kbskin::PlaceControl(Item(keydlg::kRadios[t]), iniPath.c_str(), kSection, key.c_str());
    }

    showModel();
    place();
    filling_ = false;
    return TRUE;
}

void KeyFunctionDialog::showModel() {
    for (std::size_t t = 0; t < keydlg::kRadios.size(); ++t) {
        CheckDlgButton(Hwnd(), keydlg::kRadios[t],
                       static_cast<int>(t) == model_.type() ? BST_CHECKED : BST_UNCHECKED);
    }
    SendMessageW(Item(keydlg::kTargetList), CB_SETCURSEL, static_cast<WPARAM>(model_.targetIndex()), 0);
    SendMessageW(Item(keydlg::kMacroList), CB_SETCURSEL,
                 model_.macroNames().empty() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(model_.macroIndex()), 0);
    SetWindowTextW(Item(keydlg::kPathEdit), wide(model_.path()).c_str());
    SetWindowTextW(Item(keydlg::kTextEdit), wide(model_.textBlock()).c_str());
    showEnabled();
}

void KeyFunctionDialog::showEnabled() {
    for (int id : keydlg::kDependentControls) EnableWindow(Item(id), model_.controlEnabled(id) ? TRUE : FALSE);
    EnableWindow(Item(res::key_function::kKeyApply), model_.changed() ? TRUE : FALSE);
}

void KeyFunctionDialog::place() {
    RECT button{};
    if (!context_.keyButtonRect || !context_.keyButtonRect(target_.buttonId, button)) return;
    RECT own{};
    GetWindowRect(Hwnd(), &own);
    const Point at = placeBesideButton({button.left, button.top, button.right, button.bottom}, own.right - own.left,
                                       own.bottom - own.top, GetSystemMetrics(SM_CXSCREEN),
                                       GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(Hwnd(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void KeyFunctionDialog::browse() {
    wchar_t file[MAX_PATH * 4] = L"*.exe";
    static const wchar_t filter[] = L"(*.exe)\0*.exe\0(*.*)\0*.*\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Hwnd();
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = static_cast<DWORD>(std::size(file));
    ofn.lpstrDefExt = L"exe";
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) return;
    filling_ = true;
    SetWindowTextW(Item(keydlg::kPathEdit), file);
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

void KeyFunctionDialog::OnOK() {
    if (!applyChanges()) return;  // refused: the user sees why and can correct or cancel
    closed();
    SkinDialog::OnOK();
}

void KeyFunctionDialog::OnCancel() {
    closed();
    SkinDialog::OnCancel();
}

bool KeyFunctionDialog::OnCommand(int id, int code, HWND) {
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
        model_.chooseTarget(static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0)));
        break;
    case keydlg::kMacroList:
        if (code != CBN_SELCHANGE) return false;
        model_.chooseMacro(static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0)));
        break;
    case keydlg::kPathEdit:
        if (code != EN_CHANGE) return false;
        model_.editPath(u16(windowText(Item(id))));
        break;
    case keydlg::kTextEdit:
        if (code != EN_CHANGE) return false;
        model_.editText(u16(windowText(Item(id))));
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

bool KeyFunctionDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_CTLCOLORBTN || message == WM_CTLCOLORSTATIC) {
        const HWND control = reinterpret_cast<HWND>(lParam);
        for (int id : keydlg::kRadios) {
            if (control == Item(id)) {
                result = backdrop_.paint(Hwnd(), Background(), control, reinterpret_cast<HDC>(wParam), RGB(0xAE, 0xB2, 0xBA));
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
