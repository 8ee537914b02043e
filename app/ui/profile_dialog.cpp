#include "profile_dialog.h"

#include "app_rules.h"
#include "profile_backup.h"
#include "profile_exchange.h"
#include "win/gdi_owner.h"
#include "win/skin_ini.h"
#include "win/skin_picture.h"

#include <commdlg.h>

namespace kb::ui {

namespace {

constexpr const wchar_t* kSection = L"BUTTONINFO";
constexpr int kProgramsColumn = 3;

// A save dialog (asking before overwriting) or an open dialog; the chosen path.
std::optional<std::wstring> askForFile(HWND owner, bool save, const std::wstring& initial, const wchar_t* folder,
                                       const wchar_t* filter, const wchar_t* extension) {
    std::vector<wchar_t> file(32768, L'\0');
    initial.copy(file.data(), std::min(initial.size(), file.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = extension;
    ofn.lpstrInitialDir = folder;
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | (save ? OFN_OVERWRITEPROMPT : 0);
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
    return std::wstring(file.data());
}

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
    const int ids[9] = {IDOK, IDCANCEL, res::profiles::kProfileAdd, res::profiles::kProfileLoad,
                        res::profiles::kProfileDelete, res::profiles::kProfileApply,
                        res::profiles::kProfilePrograms, res::profiles::kProfileRestore,
                        res::profiles::kProfileExport};
    const wchar_t* keys[9] = {L"CONTROL_OK", L"CONTROL_CANCEL", L"FUNC_ADD", L"FUNC_LOAD", L"FUNC_DELETE",
                              L"CONTROL2_APPLY", L"FUNC_PROGRAMS", L"FUNC_RESTORE", L"FUNC_EXPORT"};
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
    static const wchar_t filter[] = L"(*.px3)\0*.px3\0(*.*)\0*.*\0";
    return askForFile(hwnd(), create, folder + (create ? L"\\新情景模式" : L"\\*.px3"), folder.c_str(), filter,
                      L"px3");
}

void ProfileManagerDialog::loadJson(const std::wstring& path) {
    ProfileTrust trust(context_.list.store());
    const ImportOutcome out = importProfileJson(std::filesystem::path(path), trust, prompt_);
    if (out.result != ImportOutcome::Imported) return;
    appendRow(model_.rows()[static_cast<std::size_t>(model_.load(out.written.u16string()))]);
}

void ProfileManagerDialog::exportSelected() {
    const int row = list_.NextRow(LVIS_SELECTED, -1);
    if (row < 0 || row >= static_cast<int>(model_.rows().size())) return;
    const ProfileRow& r = model_.rows()[static_cast<std::size_t>(row)];
    static const wchar_t filter[] = L"(*.json)\0*.json\0(*.*)\0*.*\0";
    const auto file = askForFile(hwnd(), true, wide(r.folder) + wide(r.name) + L".json", nullptr, filter, L"json");
    if (!file) return;
    if (!exportProfileJson(std::filesystem::path(r.storedPath()), std::filesystem::path(*file))) {
        std::u16string message(text::kExportFailedFormat);
        message.replace(message.find(u"%s"), 2, r.storedPath());
        prompt_.showMessage(message);
    }
}

void ProfileManagerDialog::restoreSelected() {
    const int row = list_.NextRow(LVIS_SELECTED, -1);
    if (row < 0 || row >= static_cast<int>(model_.rows().size())) return;
    const std::u16string profile = model_.rows()[static_cast<std::size_t>(row)].storedPath();
    const std::vector<BackupInfo> backups = listBackups(std::filesystem::path(profile));
    auto withPath = [](std::u16string_view format, std::u16string_view path) {
        std::u16string m(format);
        if (const auto at = m.find(u"%s"); at != std::u16string::npos) m.replace(at, 2, path);
        return m;
    };
    if (backups.empty()) {
        prompt_.showMessage(withPath(text::kNoBackupsFormat, profile));
        return;
    }
    kbskin::UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    for (std::size_t i = 0; i < backups.size(); ++i) {
        AppendMenuW(menu.get(), MF_STRING | (backups[i].usable ? 0 : MF_GRAYED), i + 1,
                    wide(describeBackup(backups[i])).c_str());
    }
    RECT button{};
    GetWindowRect(item(res::profiles::kProfileRestore), &button);
    const int chosen = static_cast<int>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN,
                                                       button.left, button.bottom, 0, hwnd(), nullptr));
    if (chosen <= 0) return;
    switch (restoreBackup(std::filesystem::path(profile), backups[static_cast<std::size_t>(chosen - 1)].file)) {
    case RestoreResult::Restored: break;
    case RestoreResult::Unusable: prompt_.showMessage(text::kRestoreUnusable); return;
    case RestoreResult::CurrentNotKept: prompt_.showMessage(text::kRestoreNotKept); return;
    case RestoreResult::Failed: prompt_.showMessage(withPath(text::kRestoreFailed, profile)); return;
    }
    // The active profile's keys follow its file at once.
    const ProfileList& list = context_.list;
    const int active = list.activeIndex();
    if (active >= 0 && equalsIgnoringCase(list.profilePath(active), profile)) {
        (void)context_.activation.activateListed(ApplyButton::Disable, &prompt_);
    }
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
            if (looksLikeProfileJson(std::filesystem::path(*path))) {
                loadJson(*path);
                break;
            }
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
    case res::profiles::kProfileRestore: restoreSelected(); break;
    case res::profiles::kProfileExport: exportSelected(); break;
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
