#include "report_list.h"

#include "skin_dpi.h"

#include <algorithm>
#include <map>
#include <memory>

namespace kbskin {
namespace {

constexpr DWORD kAlwaysExtended = LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES;
constexpr int kEditLimit = 100;

bool tickedState(UINT state) { return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2; }
bool hasStateImage(UINT state) { return (state & LVIS_STATEIMAGEMASK) != 0; }

struct SortContext {
    std::map<LPARAM, std::wstring> texts;
    bool ascending;
};

int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM context) {
    const auto& ctx = *reinterpret_cast<const SortContext*>(context);
    const auto ia = ctx.texts.find(a);
    const auto ib = ctx.texts.find(b);
    if (ia == ctx.texts.end() || ib == ctx.texts.end()) return 0;
    if (SortsBefore(ia->second, ib->second, ctx.ascending)) return -1;
    if (SortsBefore(ib->second, ia->second, ctx.ascending)) return 1;
    return 0;
}

}  // namespace

ReportList::~ReportList() {
    FreeRows();
    if (edit_ && IsWindow(edit_)) editHook_.AttachHook(nullptr);
}

bool ReportList::Attach(HWND dialog, int id) { return AttachWindow(GetDlgItem(dialog, id)); }

bool ReportList::AttachWindow(HWND list) {
    if (!list || !AttachHook(list)) return false;
    parentHook_.AttachHook(GetParent(list));
    sortColumn_ = -1;  // a window opened again starts in its owner's order
    ascending_ = true;
    gridLines_ = false;
    LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    SetWindowLongPtrW(list, GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | LVS_REPORT);
    SetExtendedStyle(0, 0);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    columns_ = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < RowCount(); ++i) EnsureRow(i);
    return true;
}

void ReportList::SetColours(const Colours& colours) {
    colours_ = colours;
    backBrush_.reset(CreateSolidBrush(colours_.back));
    if (!Hwnd()) return;
    SendMessageW(Hwnd(), LVM_SETBKCOLOR, 0, static_cast<LPARAM>(colours_.back));
    SendMessageW(Hwnd(), LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(colours_.back));
    SendMessageW(Hwnd(), LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(colours_.text));
    ApplyGridLines();
}

int ReportList::RowCount() const {
    return Hwnd() ? static_cast<int>(SendMessageW(Hwnd(), LVM_GETITEMCOUNT, 0, 0)) : 0;
}

ReportList::Row* ReportList::RowAt(int row) const {
    if (!Hwnd() || row < 0 || row >= RowCount()) return nullptr;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(Hwnd(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<Row*>(item.lParam);
}

ReportList::Row* ReportList::EnsureRow(int row) {
    if (Row* existing = RowAt(row)) return existing;
    if (!Hwnd() || row < 0 || row >= RowCount()) return nullptr;
    auto fresh = std::make_unique<Row>();
    fresh->back.assign(static_cast<std::size_t>(columns_), colours_.back);
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = reinterpret_cast<LPARAM>(fresh.get());
    if (!SendMessageW(Hwnd(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return fresh.release();
}

void ReportList::FreeRows() {
    if (!Hwnd()) return;
    for (int i = 0; i < RowCount(); ++i) {
        Row* row = RowAt(i);
        if (!row) continue;
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        item.lParam = 0;
        SendMessageW(Hwnd(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        delete row;
    }
}

void ReportList::SetExtendedStyle(DWORD mask, DWORD style) {
    if (!Hwnd()) return;
    SendMessageW(Hwnd(), LVM_SETEXTENDEDLISTVIEWSTYLE, mask | kAlwaysExtended, style | kAlwaysExtended);
}

int ReportList::InsertColumn(int index, const wchar_t* heading, int format, int width, int subItem) {
    if (!Hwnd()) return -1;
    EndEdit(true);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | (subItem >= 0 ? LVCF_SUBITEM : 0);
    column.fmt = format;
    // Widths are given at 100 %; the list draws at its window's scale.
    column.cx = MulDiv(width, WindowDpi(Hwnd()), kBaseDpi);
    column.pszText = const_cast<wchar_t*>(heading ? heading : L"");
    column.iSubItem = subItem;
    const int at = static_cast<int>(SendMessageW(Hwnd(), LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
    if (at < 0) return -1;
    ++columns_;
    for (int i = 0; i < RowCount(); ++i) {
        Row* row = EnsureRow(i);
        if (!row) continue;
        const auto pos = static_cast<std::size_t>(std::min<int>(at, static_cast<int>(row->back.size())));
        row->back.insert(row->back.begin() + static_cast<std::ptrdiff_t>(pos), colours_.back);
    }
    return at;
}

void ReportList::SetGridLines(bool on) {
    gridLines_ = on;
    ApplyGridLines();
}

void ReportList::ApplyGridLines() {
    SetExtendedStyle(LVS_EX_GRIDLINES, gridLines_ && !OwnGrid() ? LVS_EX_GRIDLINES : 0);
    if (Hwnd()) InvalidateRect(Hwnd(), nullptr, TRUE);
}

void ReportList::SetCheckBoxes(int mode) {
    mode_ = static_cast<CheckMode>(std::clamp(mode, 0, 3));
    // Boxes appearing or vanishing are not the user's ticks.
    changingChecks_ = true;
    SetExtendedStyle(LVS_EX_CHECKBOXES, mode_ == CheckMode::None ? 0 : LVS_EX_CHECKBOXES);
    if (mode_ == CheckMode::None && Hwnd()) {
        // Without boxes no row counts as ticked, now or when boxes return.
        LVITEMW none{};
        none.stateMask = LVIS_STATEIMAGEMASK;
        SendMessageW(Hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    }
    changingChecks_ = false;
}

void ReportList::SetEditable(bool on) {
    if (!on) EndEdit(true);
    editable_ = on;
}

void ReportList::SetCellBackColour(int row, int column, COLORREF colour) {
    if (colour == CLR_DEFAULT || colour == static_cast<COLORREF>(-1)) colour = colours_.back;
    const int rows = RowCount();
    const bool allRows = row < 0 || row >= rows;
    const bool allColumns = column < 0 || column >= columns_;
    for (int r = allRows ? 0 : row; r < (allRows ? rows : row + 1); ++r) {
        Row* data = EnsureRow(r);
        if (!data) continue;
        data->back.resize(static_cast<std::size_t>(columns_), colours_.back);
        for (int c = allColumns ? 0 : column; c < (allColumns ? columns_ : column + 1); ++c) data->back[c] = colour;
    }
    if (Hwnd()) InvalidateRect(Hwnd(), nullptr, FALSE);
}

COLORREF ReportList::CellBackColour(int row, int column) const {
    const Row* data = RowAt(row);
    if (!data || column < 0 || static_cast<std::size_t>(column) >= data->back.size()) return colours_.back;
    return data->back[column];
}

int ReportList::InsertRow(int index, const wchar_t* text, LPARAM data) {
    if (!Hwnd()) return -1;
    EndEdit(true);
    auto row = std::make_unique<Row>();
    row->data = data;
    row->back.assign(static_cast<std::size_t>(columns_), colours_.back);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = std::clamp(index, 0, RowCount());
    item.pszText = const_cast<wchar_t*>(text ? text : L"");
    item.lParam = reinterpret_cast<LPARAM>(row.get());
    changingChecks_ = true;
    const int at = static_cast<int>(SendMessageW(Hwnd(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    changingChecks_ = false;
    if (at < 0) return -1;
    (void)row.release();
    return at;
}

bool ReportList::SetCellText(int row, int column, const wchar_t* text) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= std::max(columns_, 1)) return false;
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text ? text : L"");
    return SendMessageW(Hwnd(), LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

std::wstring ReportList::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0) return {};
    std::wstring text(512, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const auto n = SendMessageW(Hwnd(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(n, 0)));
    return text;
}

bool ReportList::DeleteRow(int row, bool selectNeighbour) {
    if (row < 0 || row >= RowCount()) return false;
    EndEdit(true);
    Row* data = RowAt(row);
    if (!SendMessageW(Hwnd(), LVM_DELETEITEM, row, 0)) return false;
    delete data;
    if (selectNeighbour) {
        const int next = NeighbourAfterDelete(row, RowCount());
        if (next >= 0) SelectOnly(next);
    }
    return true;
}

void ReportList::DeleteAllRows() {
    if (!Hwnd()) return;
    EndEdit(true);
    SendMessageW(Hwnd(), WM_SETREDRAW, FALSE, 0);
    FreeRows();
    SendMessageW(Hwnd(), LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(Hwnd(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Hwnd(), nullptr, TRUE);
}

int ReportList::NextRow(UINT stateMask, int after) const {
    const int rows = RowCount();
    for (int i = std::max(after + 1, 0); i < rows; ++i) {
        if ((static_cast<UINT>(SendMessageW(Hwnd(), LVM_GETITEMSTATE, i, stateMask)) & stateMask) == stateMask)
            return i;
    }
    return -1;
}

bool ReportList::SetRowData(int row, LPARAM data) {
    Row* r = EnsureRow(row);
    if (!r) return false;
    r->data = data;
    return true;
}

LPARAM ReportList::GetRowData(int row) const {
    const Row* r = RowAt(row);
    return r ? r->data : 0;
}

int ReportList::RowWithData(LPARAM data) const {
    for (int i = 0; i < RowCount(); ++i) {
        const Row* r = RowAt(i);
        if (r != nullptr && r->data == data) return i;
    }
    return -1;
}

void ReportList::SetCheckQuietly(int row, bool ticked) {
    LVITEMW st{};
    st.stateMask = LVIS_STATEIMAGEMASK;
    st.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
    const bool was = changingChecks_;
    changingChecks_ = true;
    SendMessageW(Hwnd(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&st));
    changingChecks_ = was;
}

bool ReportList::SetCheck(int row, bool ticked) {
    if (row < 0 || row >= RowCount() || mode_ == CheckMode::None) return false;
    SetCheckQuietly(row, ticked);
    return true;
}

bool ReportList::GetCheck(int row) const {
    if (row < 0 || row >= RowCount()) return false;
    return tickedState(static_cast<UINT>(SendMessageW(Hwnd(), LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK)));
}

void ReportList::WithOwnerFlag(const std::function<void()>& change) {
    if (ownerFlag_) *ownerFlag_ = 1;
    change();
    if (ownerFlag_) *ownerFlag_ = 0;
}

void ReportList::SelectOnly(int row) {
    if (!Hwnd()) return;
    WithOwnerFlag([&] {
        LVITEMW clear{};
        clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        clear.state = 0;
        SendMessageW(Hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
        if (row >= 0 && row < RowCount()) {
            LVITEMW set{};
            set.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            set.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(Hwnd(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&set));
            SendMessageW(Hwnd(), LVM_ENSUREVISIBLE, row, FALSE);
        }
    });
}

void ReportList::SortBy(int column) {
    if (!Hwnd() || column < 0 || column >= std::max(columns_, 1)) return;
    if (column == sortColumn_) {
        ascending_ = !ascending_;
    } else {
        sortColumn_ = column;
        ascending_ = true;
    }
    Resort();
}

void ReportList::Resort() {
    if (!Hwnd() || sortColumn_ < 0 || sortColumn_ >= std::max(columns_, 1)) return;
    EndEdit(true);
    const int column = sortColumn_;
    // Records, not positions, are compared: positions shift while the list sorts.
    SortContext context{{}, ascending_};
    for (int i = 0; i < RowCount(); ++i) context.texts[reinterpret_cast<LPARAM>(EnsureRow(i))] = CellText(i, column);
    SendMessageW(Hwnd(), LVM_SORTITEMS, reinterpret_cast<WPARAM>(&context),
                 reinterpret_cast<LPARAM>(&CompareRows));
    if (callbacks_.afterSort) callbacks_.afterSort(Hwnd(), *this);
}

bool ReportList::BeginEdit(int row, int column) {
    if (!Hwnd() || row < 0 || row >= RowCount() || column < 0 || column >= std::max(columns_, 1)) return false;
    EndEdit(true);
    if (callbacks_.beginEdit && !callbacks_.beginEdit(Hwnd(), *this, {row, column})) return false;
    if (!edit_ || !IsWindow(edit_)) {
        LVCOLUMNW info{};
        info.mask = LVCF_FMT;
        SendMessageW(Hwnd(), LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
        DWORD align = ES_LEFT;
        if ((info.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT) align = ES_RIGHT;
        else if ((info.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER) align = ES_CENTER;
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL | align, 0, 0, 0, 0, Hwnd(),
                                nullptr, nullptr, nullptr);
        if (!edit_) return false;
        editHook_.AttachHook(edit_);
    }
    RECT cell{};
    cell.top = column;
    cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    SendMessageW(Hwnd(), LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
    if (column == 0 && columns_ > 1) {
        // The first column's rectangle of a report row spans the whole row.
        RECT label{};
        label.left = LVIR_LABEL;
        SendMessageW(Hwnd(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label));
        cell = label;
    }
    SendMessageW(edit_, WM_SETFONT, SendMessageW(Hwnd(), WM_GETFONT, 0, 0), FALSE);
    SetWindowTextW(edit_, CellText(row, column).c_str());
    SendMessageW(edit_, EM_SETLIMITTEXT, kEditLimit, 0);
    MoveWindow(edit_, cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top, TRUE);
    editRow_ = row;
    editColumn_ = column;
    ShowWindow(edit_, SW_SHOW);
    SendMessageW(edit_, EM_SETSEL, 0, -1);
    SetFocus(edit_);
    return true;
}

void ReportList::EndEdit(bool commit) {
    if (editRow_ < 0 || !edit_) return;
    const Cell cell{editRow_, editColumn_};
    // Cleared first: hiding the field moves the focus, which ends the edit again.
    editRow_ = editColumn_ = -1;
    const int n = GetWindowTextLengthW(edit_);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit_, text.data(), n + 1)));
    if (commit && text != CellText(cell.row, cell.column)) {
        if (!callbacks_.validateEdit || callbacks_.validateEdit(edit_, *this, cell, text))
            SetCellText(cell.row, cell.column, text.c_str());
    }
    ShowWindow(edit_, SW_HIDE);
}

bool ReportList::HandleNotify(NMHDR* header, LRESULT& result) {
    switch (header->code) {
    case NM_CUSTOMDRAW:
        result = CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        return true;
    case LVN_COLUMNCLICK:
        if (sorting_) SortBy(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        return false;
    case LVN_ITEMCHANGING: {
        // Read-only boxes: refusing the change keeps the previous state.
        const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if (changingChecks_ || mode_ != CheckMode::Locked || !(change->uChanged & LVIF_STATE) || change->iItem < 0)
            return false;
        if (!hasStateImage(change->uOldState) || !hasStateImage(change->uNewState)) return false;
        if (tickedState(change->uOldState) == tickedState(change->uNewState)) return false;
        result = TRUE;
        return true;
    }
    case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if (changingChecks_ || !(change->uChanged & LVIF_STATE) || change->iItem < 0) return false;
        if (!hasStateImage(change->uOldState) || !hasStateImage(change->uNewState)) return false;
        const bool was = tickedState(change->uOldState);
        const bool now = tickedState(change->uNewState);
        if (was == now) return false;
        std::vector<bool> before;
        for (int i = 0; i < RowCount(); ++i) before.push_back(GetCheck(i));
        if (change->iItem >= static_cast<int>(before.size())) return false;
        before[change->iItem] = was;
        const auto after = ApplyUserCheck(mode_, before, change->iItem, now);
        for (int i = 0; i < static_cast<int>(after.size()); ++i) {
            if (i != change->iItem && after[i] != before[i]) {
                SetCheckQuietly(i, after[i]);
                if (callbacks_.checkChanged) callbacks_.checkChanged(i, *this);
            }
        }
        if (callbacks_.checkChanged) callbacks_.checkChanged(change->iItem, *this);
        if (mode_ == CheckMode::Toggle || mode_ == CheckMode::Single) SelectOnly(change->iItem);
        return false;
    }
    default:
        return false;
    }
}

bool ReportList::OnClick(UINT message, LPARAM lParam) {
    const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    const bool left = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK;
    EndEdit(true);
    if (!left || !editable_) return false;
    LVHITTESTINFO hit{};
    hit.pt = at;
    SendMessageW(Hwnd(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem < 0 || !(hit.flags & LVHT_ONITEM)) return false;
    const UINT state =
        static_cast<UINT>(SendMessageW(Hwnd(), LVM_GETITEMSTATE, hit.iItem, LVIS_SELECTED | LVIS_FOCUSED));
    if (state != (LVIS_SELECTED | LVIS_FOCUSED)) return false;
    if (hit.flags & LVHT_ONITEMSTATEICON) return false;
    return BeginEdit(hit.iItem, hit.iSubItem);
}

LRESULT ReportList::OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->code == NM_CUSTOMDRAW &&
            header->hwndFrom == reinterpret_cast<HWND>(SendMessageW(Hwnd(), LVM_GETHEADER, 0, 0)))
            return HeaderDraw(reinterpret_cast<NMCUSTOMDRAW*>(header));
        break;
    }
    case WM_NCPAINT: {
        const LRESULT painted = PassOn();
        PaintFrame();
        return painted;
    }
    case WM_CTLCOLOREDIT:
        if (edit_ && reinterpret_cast<HWND>(lParam) == edit_ && backBrush_) {
            SetTextColor(reinterpret_cast<HDC>(wParam), colours_.text);
            SetBkColor(reinterpret_cast<HDC>(wParam), colours_.back);
            return reinterpret_cast<LRESULT>(backBrush_.get());
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        if (OnClick(message, lParam)) return 0;
        break;
    case WM_DESTROY:
        EndEdit(false);
        FreeRows();
        break;
    default:
        break;
    }
    return PassOn();
}

LRESULT ReportList::ParentHook::OnHookedMessage(UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        LRESULT result = 0;
        if (header && header->hwndFrom == owner_.Hwnd() && owner_.Hwnd() && owner_.HandleNotify(header, result))
            return result;
    }
    return PassOn();
}

LRESULT ReportList::EditHook::OnHookedMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | PassOn();
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            owner_.EndEdit(true);
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            owner_.EndEdit(false);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == VK_RETURN || wParam == VK_ESCAPE) return 0;
        break;
    case WM_KILLFOCUS:
        owner_.EndEdit(true);
        break;
    default:
        break;
    }
    return PassOn();
}

}  // namespace kbskin
