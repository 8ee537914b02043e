#include "editing_dialog.h"

#include "win/skin_ini.h"

#include <commdlg.h>
#include <uxtheme.h>

#include <algorithm>

namespace kb::ui {

namespace {

constexpr const wchar_t* kSection = L"BUTTONINFO";

bool isField(HWND control) {
    wchar_t name[32] = {};
    GetClassNameW(control, name, 32);
    return lstrcmpiW(name, L"Edit") == 0 || lstrcmpiW(name, L"ComboBox") == 0;
}

}  // namespace

EditingDialog::EditingDialog(DialogContext& context, int templateId, const wchar_t* iniName,
                             kbskin::SurfaceSet& surfaces, std::vector<const wchar_t*> images)
    : DialogPaths(context.programFolder, iniName),
      kbskin::SkinDialog(GetModuleHandleW(nullptr), templateId, context.owner, skinFile.c_str(), skinDirectory.c_str()),
      context_(context),
      surfaces_(surfaces),
      images_(std::move(images)) {}

void EditingDialog::cancel() {
    if (hwnd() != nullptr) onCancel();
}

std::vector<std::wstring> EditingDialog::imagePaths() const {
    std::vector<std::wstring> paths;
    for (const wchar_t* image : images_) paths.push_back(context_.programFolder + image);
    return paths;
}

bool EditingDialog::onInitDialog() {
    placedButtons_.clear();
    placedControls_.clear();
    SkinDialog::onInitDialog();
    prompt_.setOwner(hwnd());
    colours_.load(skinFile.c_str());
    // The first opening in the process renders them (again when the scale
    // changed); a picture that does not load ends the process there.
    (void)surfaces_.BuildFromPaths(hwnd(), imagePaths());
    EnumChildWindows(hwnd(), &EditingDialog::dressChild, reinterpret_cast<LPARAM>(this));
    return true;
}

BOOL CALLBACK EditingDialog::dressChild(HWND child, LPARAM self) {
    if (isField(child)) reinterpret_cast<const EditingDialog*>(self)->dressField(child);
    return TRUE;
}

void EditingDialog::dressField(HWND field) const {
    // A themed field draws the theme's white whatever the dialog answers;
    // the classic look takes the skin's colours.
    if (colours_.fromSkin(kbskin::SkinColour::FieldBack)) SetWindowTheme(field, L"", L"");
}

const kbskin::StatusSurface* EditingDialog::image(int i) const noexcept {
    return i >= 1 ? surfaces_.at(static_cast<std::size_t>(i - 1)) : nullptr;
}

void EditingDialog::placeButtons(std::span<const SkinnedButton> table, std::span<kbskin::SkinButton> buttons,
                                 int marked) {
    const std::size_t n = std::min(table.size(), buttons.size());
    for (std::size_t i = 0; i < n; ++i) (void)buttons[i].Attach(hwnd(), table[i].id);
    placedButtons_.push_back({table.first(n), buttons.first(n), marked});
    placeAttached(placedButtons_.back());
}

void EditingDialog::placeAttached(const ButtonPlacement& p) {
    for (std::size_t i = 0; i < p.table.size(); ++i) {
        if (!p.buttons[i].Hwnd()) continue;
        kbskin::PlaceButton(p.buttons[i], skinFile.c_str(), kSection, p.table[i].key, image(1), image(2), image(3),
                            image(4), image(p.marked));
    }
}

void EditingDialog::placeControl(HWND control, const wchar_t* key) const {
    placedControls_.emplace_back(control, key);
    kbskin::PlaceControl(control, skinFile.c_str(), kSection, key);
}

void EditingDialog::onScaleChanged() {
    (void)surfaces_.BuildFromPaths(hwnd(), imagePaths());
    for (const ButtonPlacement& p : placedButtons_) placeAttached(p);
    for (const auto& [control, key] : placedControls_) kbskin::PlaceControl(control, skinFile.c_str(), kSection, key);
}

void EditingDialog::drawOverBackground(int id, COLORREF colour) { overBackground_.emplace_back(id, colour); }

std::vector<std::wstring> EditingDialog::chooseFiles(const FileQuestion& question) const {
    std::vector<wchar_t> file(32768, L'\0');
    question.initialName.copy(file.data(), std::min(question.initialName.size(), file.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = question.filter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = question.defaultExtension;
    ofn.lpstrInitialDir = question.folder.empty() ? nullptr : question.folder.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | (question.save ? OFN_OVERWRITEPROMPT : 0) |
                (question.multiple ? OFN_ALLOWMULTISELECT : 0) | (question.mustExist ? OFN_FILEMUSTEXIST : 0);
    const BOOL ok = question.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok) return {};
    // Several files come as the folder, then each name, each ending in a zero.
    const wchar_t* first = file.data();
    std::vector<std::wstring> chosen;
    if (question.multiple) {
        std::wstring folder = first;
        if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
        for (const wchar_t* p = first + wcslen(first) + 1; *p != L'\0'; p += wcslen(p) + 1) chosen.push_back(folder + p);
    }
    if (chosen.empty()) chosen.emplace_back(first);
    return chosen;
}

void EditingDialog::onOK() {
    if (!acceptChanges()) return;
    closed();
    SkinDialog::onOK();
}

void EditingDialog::onCancel() {
    closed();
    SkinDialog::onCancel();
}

bool EditingDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_HELP:
        if (helpAllowed() && context_.openHelp) context_.openHelp();
        result = TRUE;
        return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const HWND control = reinterpret_cast<HWND>(lParam);
        const HDC dc = reinterpret_cast<HDC>(wParam);
        for (const auto& [id, colour] : overBackground_) {
            if (control == item(id)) {
                result = backdrop_.paint(hwnd(), background(), control, dc, colour);
                return true;
            }
        }
        // A disabled or read-only field asks here.
        if (message == WM_CTLCOLORSTATIC && isField(control)) {
            result = colours_.paintField(dc, false);
            return true;
        }
        break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
        const HWND control = reinterpret_cast<HWND>(lParam);
        result = colours_.paintField(reinterpret_cast<HDC>(wParam), IsWindowEnabled(control) != FALSE);
        return true;
    }
    default:
        break;
    }
    return dialogMessage(message, wParam, lParam, result);
}

}  // namespace kb::ui
