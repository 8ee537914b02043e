#include "profile_dialog.h"

#include "app_rules.h"
#include "profile_backup.h"
#include "profile_exchange.h"
#include "win/gdi_owner.h"

namespace kb::ui {

namespace {

using namespace res::profiles;

constexpr int kProgramsColumn = 3;
constexpr COLORREF kCheckText = RGB(0xC0, 0xC0, 0xC0);

kbskin::SurfaceSet& profileImages() {
    static kbskin::SurfaceSet set;  // loaded once per process
    return set;
}

constexpr SkinnedButton kButtons[] = {
    {IDOK, L"CONTROL_OK"},          {IDCANCEL, L"CONTROL_CANCEL"},     {kProfileAdd, L"FUNC_ADD"},
    {kProfileLoad, L"FUNC_LOAD"},   {kProfileDelete, L"FUNC_DELETE"},  {kProfileApply, L"CONTROL2_APPLY"},
    {kProfilePrograms, L"FUNC_PROGRAMS"}, {kProfileRestore, L"FUNC_RESTORE"}, {kProfileExport, L"FUNC_EXPORT"}};

}  // namespace

ProfileManagerDialog::ProfileManagerDialog(DialogContext& context)
    : EditingDialog(context, res::kDlgProfiles, L"Profile.ini", profileImages(),
                    {L"Skins\\Profile_Status1.jpg", L"Skins\\Profile_Status2.jpg", L"Skins\\Profile_Status3.jpg",
                     L"Skins\\Profile_Status4.jpg"}),
      model_(context.list) {
    drawOverBackground(kProfileFollow, kCheckText);
    drawOverBackground(kProfileNotice, kCheckText);
}

void ProfileManagerDialog::run() { (void)runModal(); }

bool ProfileManagerDialog::onInitDialog() {
    EditingDialog::onInitDialog();
    model_.open();

    list_.Attach(hwnd(), kProfileList);
    colours().dress(list_);  // before the columns: they take its colours
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

    placeButtons(kButtons, buttons_, 1);
    placeControl(list_.Hwnd(), L"PROGRAM_LIST");
    placeControl(item(kProfileFollow), L"FUNC_FOLLOW");
    placeControl(item(kProfileNotice), L"FUNC_NOTICE");
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

void ProfileManagerDialog::showRows() {
    filling_ = true;
    list_.DeleteAllRows();
    for (const ProfileRow& row : model_.rows()) appendRow(row);
    if (model_.checkedRow() >= 0) list_.SetCheck(model_.checkedRow(), true);
    CheckDlgButton(hwnd(), kProfileFollow, model_.followOn() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), kProfileNotice, model_.noticeOn() ? BST_CHECKED : BST_UNCHECKED);
    filling_ = false;
    showApply();
}

void ProfileManagerDialog::showApply() {
    EnableWindow(item(kProfileApply), model_.changed() ? TRUE : FALSE);
}

std::optional<std::wstring> ProfileManagerDialog::chooseProfileFile(bool create) {
    (void)ensureProfileFolder(u16(context_.documentsFolder));
    FileQuestion question;
    question.filter = L"(*.px3)\0*.px3\0(*.*)\0*.*\0";
    question.defaultExtension = L"px3";
    question.folder = wide(profileFolder(u16(context_.documentsFolder)));
    question.initialName = question.folder + (create ? L"\\新情景模式" : L"\\*.px3");
    question.save = create;
    const std::vector<std::wstring> chosen = chooseFiles(question);
    if (chosen.empty()) return std::nullopt;
    return chosen.front();
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
    FileQuestion question;
    question.filter = L"(*.json)\0*.json\0(*.*)\0*.*\0";
    question.defaultExtension = L"json";
    question.initialName = wide(r.folder) + wide(r.name) + L".json";
    question.save = true;
    const std::vector<std::wstring> chosen = chooseFiles(question);
    if (chosen.empty()) return;
    if (!exportProfileJson(std::filesystem::path(r.storedPath()), std::filesystem::path(chosen.front()))) {
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
    GetWindowRect(item(kProfileRestore), &button);
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

// OK applies even when nothing changed; a refused apply keeps the dialog open.
bool ProfileManagerDialog::acceptChanges() {
    return applyChanges();
}

bool ProfileManagerDialog::onCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (id) {
    case kProfilePrograms: {
        const int row = list_.NextRow(LVIS_SELECTED, -1);
        if (row < 0) break;
        // Programs bound to a profile: chosen here, or typed into the programs
        // column (a click on the selected row's cell).
        FileQuestion question;
        question.filter = L"(*.exe)\0*.exe\0(*.*)\0*.*\0";
        question.defaultExtension = L"exe";
        question.multiple = true;
        question.mustExist = true;
        std::vector<std::u16string> chosen;
        for (const std::wstring& path : chooseFiles(question)) chosen.push_back(u16(path));
        if (!chosen.empty() && model_.addPrograms(row, chosen)) showPrograms(row);
        break;
    }
    case kProfileFollow:
        if (!filling_) model_.setFollow(IsDlgButtonChecked(hwnd(), kProfileFollow) == BST_CHECKED);
        break;
    case kProfileNotice:
        if (!filling_) model_.setNotice(IsDlgButtonChecked(hwnd(), kProfileNotice) == BST_CHECKED);
        break;
    case kProfileAdd:
        if (const auto path = chooseProfileFile(true)) {
            appendRow(model_.rows()[static_cast<std::size_t>(model_.add(u16(*path), prompt_))]);
        }
        break;
    case kProfileLoad:
        if (const auto path = chooseProfileFile(false)) {
            if (looksLikeProfileJson(std::filesystem::path(*path))) {
                loadJson(*path);
                break;
            }
            // A file that starts programs is shown to the user before it is listed.
            const int row = model_.load(u16(*path), prompt_);
            if (row >= 0) appendRow(model_.rows()[static_cast<std::size_t>(row)]);
        }
        break;
    case kProfileDelete: {
        const int row = list_.NextRow(LVIS_SELECTED, -1);
        if (row >= 0 && model_.remove(row)) {
            list_.DeleteRow(row, false);
            // The rows below moved up in the model too.
            for (int r = row; r < list_.RowCount(); ++r) (void)list_.SetRowData(r, r);
        }
        break;
    }
    case kProfileApply:
        (void)applyChanges();
        break;
    case kProfileRestore: restoreSelected(); break;
    case kProfileExport: exportSelected(); break;
    default: return false;
    }
    showApply();
    return true;
}

}  // namespace kb::ui
