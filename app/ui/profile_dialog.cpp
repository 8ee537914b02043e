#include "profile_dialog.h"

#include "win/skin_ini.h"
#include "win/skin_picture.h"

#include <commdlg.h>

namespace kb::ui {

namespace {

constexpr const wchar_t* kSection = L"BUTTONINFO";
constexpr int kProgramsColumn = 3;

kbskin::SurfaceSet& profileImages() {
    static kbskin::SurfaceSet set;  // loaded once per process
    return set;
}

}  // namespace

ProfileManagerDialog::ProfileManagerDialog(DialogContext& context)
    : DialogPaths(context.programFolder, L"Profile.ini"),
      kbskin::SkinDialog(GetModuleHandleW(nullptr), res::kDlgProfiles, context.owner, skinFile.c_str(),
                         skinDirectory.c_str()),
      context_(context),
      model_(context.list) {}

void ProfileManagerDialog::run() { (void)runModal(); }

void ProfileManagerDialog::cancel() {
    if (hwnd() != nullptr && model_.isOpen()) onCancel();
}

bool ProfileManagerDialog::onInitDialog() {
    SkinDialog::onInitDialog();
    prompt_.setOwner(hwnd());
    model_.open();

    list_.Attach(hwnd(), res::profiles::kProfileList);
    list_.InsertColumn(0, L"激活", LVCFMT_LEFT, 60);
    list_.InsertColumn(1, L"名称", LVCFMT_LEFT, 120);
    list_.InsertColumn(2, L"路径", LVCFMT_LEFT, 230);
    list_.InsertColumn(kProgramsColumn, L"程序", LVCFMT_LEFT, 150);
    list_.SetGridLines(true);
    list_.SetCheckBoxes(2);
    list_.SetEditable(true);
    kbskin::ReportList::Callbacks callbacks;
    callbacks.checkChanged = [this](int row, kbskin::ReportList& list) {
        if (filling_) return;
        model_.setChecked(row, list.GetCheck(row));
        showApply();
    };
    // Only the programs column is typed into: "game.exe; tool.exe".
    callbacks.beginEdit = [](HWND, kbskin::ReportList&, kbskin::ReportList::Cell cell) {
        return cell.column == kProgramsColumn;
    };
    callbacks.validateEdit = [this](HWND, kbskin::ReportList&, kbskin::ReportList::Cell cell,
                                    const std::wstring& text) {
        // The model keeps the names as stored; the cell shows them so.
        if (model_.setPrograms(cell.row, u16(text))) showPrograms(cell.row);
        showApply();
        return false;
    };
    // The rows follow a sort by a column header, each with its programs.
    callbacks.afterSort = [this](HWND, kbskin::ReportList&) { afterSort(); };
    list_.SetCallbacks(std::move(callbacks));

    kbskin::SurfaceSet& images = profileImages();
    images.Build(hwnd(), {L"Skins\\Profile_Status1.jpg", L"Skins\\Profile_Status2.jpg",
                          L"Skins\\Profile_Status3.jpg", L"Skins\\Profile_Status4.jpg"});
    const int ids[7] = {IDOK, IDCANCEL, res::profiles::kProfileAdd, res::profiles::kProfileLoad,
                        res::profiles::kProfileDelete, res::profiles::kProfileApply,
                        res::profiles::kProfilePrograms};
    const wchar_t* keys[7] = {L"CONTROL_OK", L"CONTROL_CANCEL", L"FUNC_ADD", L"FUNC_LOAD", L"FUNC_DELETE",
                              L"CONTROL2_APPLY", L"FUNC_PROGRAMS"};
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i].Attach(hwnd(), ids[i])) {
            kbskin::PlaceButton(buttons_[i], skinFile.c_str(), kSection, keys[i], images.at(0), images.at(1),
                                images.at(2), images.at(3), images.at(0));
        }
    }
    kbskin::PlaceControl(list_.Hwnd(), skinFile.c_str(), kSection, L"PROGRAM_LIST");
    kbskin::PlaceControl(item(res::profiles::kProfileFollow), skinFile.c_str(), kSection, L"FUNC_FOLLOW");
    showRows();
    return TRUE;
}

void ProfileManagerDialog::appendRow(const ProfileRow& row) {
    const int at = list_.InsertRow(list_.RowCount(), L"", list_.RowCount());
    list_.SetCellText(at, 1, wide(row.name).c_str());
    list_.SetCellText(at, 2, wide(row.folder).c_str());
    list_.SetCellText(at, kProgramsColumn, wide(programsText(row.programs)).c_str());
}

void ProfileManagerDialog::showPrograms(int row) {
    if (row < 0 || row >= static_cast<int>(model_.rows().size())) return;
    list_.SetCellText(row, kProgramsColumn,
                      wide(programsText(model_.rows()[static_cast<std::size_t>(row)].programs)).c_str());
}

void ProfileManagerDialog::afterSort() {
    // Each row's data is its place in the model before the sort.
    std::vector<int> order;
    for (int r = 0; r < list_.RowCount(); ++r) order.push_back(static_cast<int>(list_.GetRowData(r)));
    if (model_.reorder(order)) {
        for (int r = 0; r < list_.RowCount(); ++r) (void)list_.SetRowData(r, r);
    } else {
        showRows();  // out of step: show the model as it is
    }
    showApply();
}

std::vector<std::u16string> ProfileManagerDialog::choosePrograms() {
    std::vector<wchar_t> file(32768, L'\0');
    static const wchar_t filter[] = L"(*.exe)\0*.exe\0(*.*)\0*.*\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = L"exe";
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    if (!GetOpenFileNameW(&ofn)) return {};
    // One file: its path. Several: the folder, then each name, each ending in a zero.
    std::vector<std::u16string> names;
    const wchar_t* p = file.data();
    for (p += wcslen(p) + 1; *p != L'\0'; p += wcslen(p) + 1) names.push_back(u16(p));
    if (names.empty()) names.push_back(u16(file.data()));
    return names;
}

void ProfileManagerDialog::showRows() {
    filling_ = true;
    list_.DeleteAllRows();
    for (const ProfileRow& row : model_.rows()) appendRow(row);
    if (model_.checkedRow() >= 0) list_.SetCheck(model_.checkedRow(), true);
    CheckDlgButton(hwnd(), res::profiles::kProfileFollow, model_.followOn() ? BST_CHECKED : BST_UNCHECKED);
    filling_ = false;
    showApply();
}

void ProfileManagerDialog::showApply() {
    EnableWindow(item(res::profiles::kProfileApply), model_.changed() ? TRUE : FALSE);
}

std::optional<std::wstring> ProfileManagerDialog::chooseFile(bool create) {
    (void)ensureProfileFolder(u16(context_.documentsFolder));
    const std::wstring folder = wide(profileFolder(u16(context_.documentsFolder)));
    std::wstring initial = folder + (create ? L"\\新情景模式" : L"\\*.px3");
    std::vector<wchar_t> file(32768, L'\0');
    initial.copy(file.data(), std::min(initial.size(), file.size() - 1));
    static const wchar_t filter[] = L"(*.px3)\0*.px3\0(*.*)\0*.*\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = L"px3";
    ofn.lpstrInitialDir = folder.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | (create ? OFN_OVERWRITEPROMPT : 0);
    const BOOL ok = create ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok) return std::nullopt;
    return std::wstring(file.data());
}

void ProfileManagerDialog::reloadFromStore() {
    model_.reloadFromStore();
    if (hwnd() != nullptr) showRows();
}

void ProfileManagerDialog::checkRow(int i) {
    model_.checkRow(i);
    if (hwnd() == nullptr) return;
    filling_ = true;
    for (int r = 0; r < list_.RowCount(); ++r) list_.SetCheck(r, r == model_.checkedRow());
    filling_ = false;
    showApply();
}

void ProfileManagerDialog::closed() { model_.close(); }

bool ProfileManagerDialog::applyChanges() {
    // A question of the load (a changed file that starts programs) belongs to
    // this dialog while it is open, so the dialog waits for the answer.
    if (model_.apply(context_.activation, prompt_)) return true;
    prompt_.showMessage(text::kAnswerFirst);  // the changes stay
    return false;
}

void ProfileManagerDialog::onOK() {
    if (!applyChanges()) return;
    closed();
    SkinDialog::onOK();
}

void ProfileManagerDialog::onCancel() {
    closed();
    SkinDialog::onCancel();
}

bool ProfileManagerDialog::onCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (id) {
    case res::profiles::kProfilePrograms: {
        const int row = list_.NextRow(LVIS_SELECTED, -1);
        if (row < 0) break;
        const std::vector<std::u16string> chosen = choosePrograms();
        if (!chosen.empty() && model_.addPrograms(row, chosen)) showPrograms(row);
        break;
    }
    case res::profiles::kProfileFollow:
        if (!filling_) model_.setFollow(IsDlgButtonChecked(hwnd(), res::profiles::kProfileFollow) == BST_CHECKED);
        break;
    case res::profiles::kProfileAdd:
        if (const auto path = chooseFile(true)) {
            appendRow(model_.rows()[static_cast<std::size_t>(model_.add(u16(*path), prompt_))]);
        }
        break;
    case res::profiles::kProfileLoad:
        if (const auto path = chooseFile(false)) {
            // A file that starts programs is shown to the user before it is listed.
            const int row = model_.load(u16(*path), prompt_);
            if (row >= 0) appendRow(model_.rows()[static_cast<std::size_t>(row)]);
        }
        break;
    case res::profiles::kProfileDelete: {
        const int row = list_.NextRow(LVIS_SELECTED, -1);
        if (row >= 0 && model_.remove(row)) {
            list_.DeleteRow(row, false);
            // The rows below moved up in the model too.
            for (int r = row; r < list_.RowCount(); ++r) (void)list_.SetRowData(r, r);
        }
        break;
    }
    case res::profiles::kProfileApply:
        (void)applyChanges();
        break;
    default: return false;
    }
    showApply();
    return true;
}

bool ProfileManagerDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if ((message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) &&
        reinterpret_cast<HWND>(lParam) == item(res::profiles::kProfileFollow)) {
        result = backdrop_.paint(hwnd(), background(), item(res::profiles::kProfileFollow),
                                 reinterpret_cast<HDC>(wParam), RGB(0xC0, 0xC0, 0xC0));
        return true;
    }
    if (message == WM_HELP) {
        if (context_.openHelp) context_.openHelp();
        result = TRUE;
        return true;
    }
    return false;
}

}  // namespace kb::ui
