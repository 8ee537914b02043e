// The report list under Wine on the shared skinned test dialog: check modes,
// cell colours, deleting, sorting by a header and editing in place, each
// driven through the list's own messages and clicks.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "skin_win_fixture.h"

namespace kbskin {
namespace {

using namespace kbskin::test;

class ReportListTest : public SkinWindow {
protected:
    void SetUp() override {
        SkinWindow::SetUp();
        ReportList& l = dialog->list;
        ASSERT_EQ(l.InsertColumn(0, L"Name", LVCFMT_LEFT, 70), 0);
        ASSERT_EQ(l.InsertColumn(1, L"Value", LVCFMT_LEFT, 60), 1);
        for (int i = 0; i < 4; ++i) {
            const wchar_t name[] = {wchar_t(L'a' + i), 0};
            ASSERT_EQ(l.InsertRow(i, name, 10 + i), i);
            l.SetCellText(i, 1, std::to_wstring(i + 1).c_str());
        }
        callbacks.checkChanged = [this](int row, ReportList&) { changed.push_back(row); };
        l.SetCallbacks(callbacks);
        l.SetOwnerFlag(&ownerFlag);
    }
    std::wstring text(int row, int column) const {
        wchar_t buffer[128] = {};
        ListView_GetItemText(dialog->list.Hwnd(), row, column, buffer, 128);
        return buffer;
    }
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> n;
        for (int i = 0; i < dialog->list.RowCount(); ++i) n.push_back(text(i, 0));
        return n;
    }
    std::vector<int> ticked() const {
        std::vector<int> rows;
        for (int i = 0; i < dialog->list.RowCount(); ++i)
            if (dialog->list.GetCheck(i)) rows.push_back(i);
        return rows;
    }
    std::vector<int> selected() const {
        std::vector<int> rows;
        for (int i = dialog->list.NextRow(LVIS_SELECTED, -1); i >= 0; i = dialog->list.NextRow(LVIS_SELECTED, i))
            rows.push_back(i);
        return rows;
    }
    // The background the list asks the system to paint a cell with.
    COLORREF drawnBack(int row, int column) const {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr = {dialog->list.Hwnd(), 1100, static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        draw.iSubItem = column;
        SendMessageW(dialog->hwnd(), WM_NOTIFY, 1100, reinterpret_cast<LPARAM>(&draw));
        return draw.clrTextBk;
    }
    // As a mouse click on a box does: the list's own state change.
    void userTick(int row, bool ticked) {
        ListView_SetCheckState(dialog->list.Hwnd(), row, ticked);
        Pump(5);
    }
    LPARAM cellPoint(int row, int column) const {
        RECT cell{};
        cell.top = column;
        cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
        SendMessageW(dialog->list.Hwnd(), column == 0 ? LVM_GETITEMRECT : LVM_GETSUBITEMRECT, row,
                     reinterpret_cast<LPARAM>(&cell));
        return MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    }
    // Posted in pairs: the list follows a press in a loop of its own until the
    // release. A command posted after them tells when both were handled.
    void click(UINT down, UINT up, WPARAM keys, LPARAM where) {
        PostMessageW(dialog->list.Hwnd(), down, keys, where);
        PostMessageW(dialog->list.Hwnd(), up, 0, where);
        const int marker = 0x4000 + static_cast<int>(dialog->commands.size());
        PostMessageW(dialog->hwnd(), WM_COMMAND, marker, 0);
        ASSERT_TRUE(PumpUntil([&] { return !dialog->commands.empty() && dialog->commands.back() == marker; }));
    }
    // A left click on a cell of the selected row, as a user starts an edit.
    bool clickToEdit(int row, int column) {
        dialog->list.SelectOnly(row);
        click(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, cellPoint(row, column));
        return dialog->list.Editing();
    }
    HWND editField() const { return FindWindowExW(dialog->list.Hwnd(), nullptr, L"Edit", nullptr); }
    void headerClick(int column) {
        NMLISTVIEW notice{};
        notice.hdr = {dialog->list.Hwnd(), 1100, static_cast<UINT>(LVN_COLUMNCLICK)};
        notice.iSubItem = column;
        SendMessageW(dialog->hwnd(), WM_NOTIFY, 1100, reinterpret_cast<LPARAM>(&notice));
    }

    ReportList::Callbacks callbacks;
    std::vector<int> changed;
    std::vector<ReportList::Cell> asked;  // cells the list asked to edit
    int ownerFlag = 0;
};

TEST_F(ReportListTest, CheckModes) {
    ReportList& l = dialog->list;
    l.SetCheckBoxes(2);  // at most one ticked
    userTick(1, true);
    userTick(3, true);
    EXPECT_EQ(ticked(), (std::vector<int>{3}));
    EXPECT_EQ(l.NextRow(LVIS_SELECTED | LVIS_FOCUSED, -1), 3);  // the clicked row is selected
    EXPECT_EQ(selected(), (std::vector<int>{3}));
    EXPECT_EQ(ownerFlag, 0);
    EXPECT_NE(std::find(changed.begin(), changed.end(), 1), changed.end());
    userTick(3, false);  // unticking is allowed
    EXPECT_TRUE(ticked().empty());

    l.SetCheck(2, true);
    l.SetCheckBoxes(3);  // read-only boxes
    userTick(2, false);
    userTick(0, true);
    EXPECT_EQ(ticked(), (std::vector<int>{2}));

    l.SetCheckBoxes(1);  // the system's toggling
    userTick(0, true);
    EXPECT_EQ(ticked(), (std::vector<int>{0, 2}));

    l.SetCheckBoxes(0);
    EXPECT_TRUE(ticked().empty());
    EXPECT_FALSE(l.SetCheck(1, true));
}

TEST_F(ReportListTest, ClickOnABoxInSingleModeUnticksTheOthers) {
    ReportList& l = dialog->list;
    l.SetCheckBoxes(2);
    l.SetCheck(0, true);
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(l.Hwnd(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&bounds));
    const int y = (bounds.top + bounds.bottom) / 2;
    int boxX = -1;
    for (int x = bounds.left; x < bounds.left + 40 && boxX < 0; ++x) {
        LVHITTESTINFO hit{};
        hit.pt = {x, y};
        SendMessageW(l.Hwnd(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (hit.iItem == 1 && (hit.flags & LVHT_ONITEMSTATEICON)) boxX = x + 2;
    }
    ASSERT_GE(boxX, 0) << "no check box found in row 1";
    SendMessageW(l.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(boxX, y));
    SendMessageW(l.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(boxX, y));
    EXPECT_TRUE(PumpUntil([&] { return ticked() == std::vector<int>{1}; }, 2000));
    EXPECT_EQ(selected(), (std::vector<int>{1}));
}

TEST_F(ReportListTest, CellColoursRowDataAndRowsOutsideTheList) {
    ReportList& l = dialog->list;
    l.SetCellBackColour(0, 1, RGB(1, 2, 3));
    EXPECT_EQ(drawnBack(0, 1), RGB(1, 2, 3));
    EXPECT_EQ(drawnBack(0, 0), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(drawnBack(1, 1), GetSysColor(COLOR_WINDOW));
    // -1 for a row or column means all of them; -1 as colour the list's own.
    l.SetCellBackColour(-1, -1, RGB(9, 9, 9));
    EXPECT_EQ(drawnBack(3, 0), RGB(9, 9, 9));
    l.SetCellBackColour(1, 7, static_cast<COLORREF>(-1));
    EXPECT_EQ(drawnBack(1, 1), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(drawnBack(0, 1), RGB(9, 9, 9));

    EXPECT_EQ(l.GetRowData(2), 12);
    EXPECT_EQ(l.RowWithData(13), 3);
    EXPECT_EQ(l.RowWithData(99), -1);
    EXPECT_EQ(l.GetRowData(9), 0);
    EXPECT_FALSE(l.SetRowData(9, 1));
    EXPECT_FALSE(l.SetCellText(9, 0, L"x"));
    EXPECT_FALSE(l.DeleteRow(5, true));
}

TEST_F(ReportListTest, DeleteAndSortKeepEachRowsDataAndColours) {
    ReportList& l = dialog->list;
    EXPECT_TRUE(l.DeleteRow(3, true));
    EXPECT_EQ(selected(), (std::vector<int>{2}));  // the last was deleted: the previous
    EXPECT_TRUE(l.DeleteRow(0, true));
    EXPECT_EQ(selected(), (std::vector<int>{0}));  // otherwise the next
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"b", L"c"}));
    l.InsertRow(2, L"B", 7);
    l.SetCellBackColour(1, 0, RGB(4, 5, 6));  // "c"

    int sorts = 0;
    callbacks.afterSort = [&](HWND, ReportList&) { ++sorts; };
    l.SetCallbacks(callbacks);
    headerClick(0);
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"B", L"b", L"c"}));  // code units: upper case first
    EXPECT_EQ(l.RowWithData(7), 0);
    EXPECT_EQ(l.RowWithData(12), 2);
    EXPECT_EQ(drawnBack(2, 0), RGB(4, 5, 6));
    headerClick(0);  // the same column again: reversed
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"c", L"b", L"B"}));
    EXPECT_EQ(l.GetRowData(0), 12);
    EXPECT_EQ(drawnBack(0, 0), RGB(4, 5, 6));
    EXPECT_EQ(sorts, 2);

    // Rows filled anew take the last sort again when asked.
    l.DeleteAllRows();
    for (const wchar_t* name : {L"x", L"z", L"y"}) l.InsertRow(l.RowCount(), name, 0);
    l.Resort();
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"z", L"y", L"x"}));

    l.SetSorting(false);
    headerClick(0);
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"z", L"y", L"x"}));
    EXPECT_EQ(sorts, 3);
}

TEST_F(ReportListTest, ClickOnACellOfTheSelectedRowEditsIt) {
    ReportList& l = dialog->list;
    std::vector<std::wstring> validated;
    bool allowBegin = true;
    callbacks.validateEdit = [&](HWND, ReportList&, ReportList::Cell, const std::wstring& text) {
        validated.push_back(text);
        return text != L"bad";
    };
    callbacks.beginEdit = [&](HWND, ReportList&, ReportList::Cell cell) {
        asked.push_back(cell);
        return allowBegin;
    };
    l.SetCallbacks(callbacks);
    l.SetEditable(true);

    // Another row selected, or a right click: no edit.
    l.SelectOnly(0);
    click(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, cellPoint(1, 1));
    EXPECT_FALSE(l.Editing());
    l.SelectOnly(1);
    click(WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, cellPoint(1, 1));
    EXPECT_FALSE(l.Editing());
    ASSERT_TRUE(clickToEdit(1, 1));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].row, 1);
    EXPECT_EQ(asked[0].column, 1);
    const HWND edit = editField();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(IsWindowVisible(edit));
    wchar_t shown[16] = {};
    GetWindowTextW(edit, shown, 16);
    EXPECT_STREQ(shown, L"2");  // row 1, column 1
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 100);

    // A click elsewhere in the list ends the edit with commit.
    SetWindowTextW(edit, L"22");
    click(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, cellPoint(3, 0));
    EXPECT_FALSE(l.Editing());
    EXPECT_EQ(text(1, 1), L"22");
    EXPECT_FALSE(IsWindowVisible(edit));

    ASSERT_TRUE(clickToEdit(1, 1));
    SetWindowTextW(edit, L"bad");
    l.EndEdit(true);
    EXPECT_EQ(text(1, 1), L"22");  // rejected by the validator
    ASSERT_TRUE(clickToEdit(1, 1));
    SetWindowTextW(edit, L"kept?");
    l.EndEdit(false);
    EXPECT_EQ(text(1, 1), L"22");  // not committed
    ASSERT_TRUE(clickToEdit(0, 0));
    SetWindowTextW(edit, L"first");
    l.SetEditable(false);  // ends the edit with commit
    EXPECT_EQ(text(0, 0), L"first");
    EXPECT_EQ(std::count(validated.begin(), validated.end(), L"bad"), 1);

    l.SetEditable(true);
    allowBegin = false;
    EXPECT_FALSE(clickToEdit(1, 1));  // refused by the owner
    EXPECT_FALSE(IsWindowVisible(edit));
}

}  // namespace
}  // namespace kbskin
