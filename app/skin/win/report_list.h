// A report-mode list view for the dialogs' lists: columns, per-cell background
// colours, check boxes in four modes, sorting by a header and in-place editing.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control_rules.h"
#include "gdi_owner.h"
#include "subclass.h"

namespace kbskin {

class ReportList : public CSubclassWnd {
public:
    struct Cell {
        int row;
        int column;
    };
    // Every callback is optional.
    struct Callbacks {
        // Return false to reject the edited text (the edit is dropped).
        std::function<bool(HWND edit, ReportList& list, Cell cell, const std::wstring& text)> validateEdit;
        // Return false to refuse editing the cell.
        std::function<bool(HWND listWindow, ReportList& list, Cell cell)> beginEdit;
        std::function<void(HWND listWindow, ReportList& list)> afterSort;
        // Called whenever the list changes a row's check box.
        std::function<void(int row, ReportList& list)> checkChanged;
    };

    // The list's own colours; each row and cell starts with text and back.
    // Without selected or header colours the system draws those as usual; a
    // header colour also draws the edge and the grid lines.
    struct Colours {
        COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
        COLORREF back = GetSysColor(COLOR_WINDOW);
        std::optional<COLORREF> selectedText, selectedBack;
        std::optional<COLORREF> headerText, headerBack;
    };

    ReportList() = default;
    ~ReportList() override;

    // Takes over dialog control `id` (a list view) and puts it in report mode.
    bool Attach(HWND dialog, int id);
    bool AttachWindow(HWND list);
    [[nodiscard]] HWND Hwnd() const noexcept { return HookedWindow(); }

    void SetCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }
    // Before the first column: cells made earlier keep their colours.
    void SetColours(const Colours& colours);
    // Set to 1 while the list changes the selection itself, so the owner can
    // ignore the notifications this causes.
    void SetOwnerFlag(int* flag) noexcept { ownerFlag_ = flag; }

    // Columns: every row gets the default colours for a new column. Widths are
    // at 100 % and grow with the list's scale. Index or -1.
    int InsertColumn(int index, const wchar_t* heading, int format = LVCFMT_LEFT, int width = 80,
                     int subItem = -1);
    void SetGridLines(bool on);
    // 0 none, 1 toggle, 2 at most one ticked, 3 read-only.
    void SetCheckBoxes(int mode);
    void SetEditable(bool on);
    // A header click sorts by its column (ascending, then reversed) unless off.
    void SetSorting(bool on) noexcept { sorting_ = on; }
    // Sorts again as the last header click did, for rows filled anew.
    void Resort();
    // colour -1 (CLR_DEFAULT): the list's own. A row or column outside the list
    // means all rows / all columns.
    void SetCellBackColour(int row, int column, COLORREF colour);

    // Rows. InsertRow returns the new index or -1.
    int InsertRow(int index, const wchar_t* text, LPARAM data = 0);
    bool SetCellText(int row, int column, const wchar_t* text);
    bool DeleteRow(int row, bool selectNeighbour);
    void DeleteAllRows();
    // Next row after `after` (-1: from the start) carrying every flag of
    // stateMask (LVIS_SELECTED, LVIS_FOCUSED), or -1.
    [[nodiscard]] int NextRow(UINT stateMask, int after) const;
    bool SetRowData(int row, LPARAM data);
    [[nodiscard]] LPARAM GetRowData(int row) const;
    // First row carrying data, or -1: rows keep their data through a sort.
    [[nodiscard]] int RowWithData(LPARAM data) const;
    bool SetCheck(int row, bool ticked);
    [[nodiscard]] bool GetCheck(int row) const;
    // Selects and focuses one row only (owner flag set meanwhile); -1 clears.
    void SelectOnly(int row);
    [[nodiscard]] int RowCount() const;

    // A click on a cell of the selected row edits it; this ends that edit,
    // keeping a changed text when commit is set unless the validator refuses.
    void EndEdit(bool commit);
    [[nodiscard]] bool Editing() const noexcept { return editRow_ >= 0; }

protected:
    LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Row {
        LPARAM data = 0;
        std::vector<COLORREF> back;  // per column
    };
    class EditHook : public CSubclassWnd {
    public:
        explicit EditHook(ReportList& owner) : owner_(owner) {}

    protected:
        LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    private:
        ReportList& owner_;
    };

    class ParentHook : public CSubclassWnd {
    public:
        explicit ParentHook(ReportList& owner) : owner_(owner) {}

    protected:
        LRESULT OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    private:
        ReportList& owner_;
    };

    Row* RowAt(int row) const;
    Row* EnsureRow(int row);
    void FreeRows();
    // The list's own notifications, seen on its parent; true when taken.
    bool HandleNotify(NMHDR* header, LRESULT& result);
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
    LRESULT HeaderDraw(NMCUSTOMDRAW* draw);
    void PaintFrame();
    void DrawGrid(HDC dc);
    // The system's grid lines, or ours in the header colour.
    void ApplyGridLines();
    [[nodiscard]] bool OwnGrid() const noexcept { return gridLines_ && colours_.headerBack.has_value(); }
    bool OnClick(UINT message, LPARAM lParam);
    bool BeginEdit(int row, int column);
    void SortBy(int column);
    [[nodiscard]] std::wstring CellText(int row, int column) const;
    [[nodiscard]] COLORREF CellBackColour(int row, int column) const;
    void SetCheckQuietly(int row, bool ticked);
    void SetExtendedStyle(DWORD mask, DWORD style);
    void WithOwnerFlag(const std::function<void()>& change);

    Callbacks callbacks_;
    Colours colours_;
    UniqueBrush backBrush_;  // the in-place edit's background
    int* ownerFlag_ = nullptr;
    CheckMode mode_ = CheckMode::None;
    bool editable_ = false;
    bool sorting_ = true;
    int sortColumn_ = -1;
    bool ascending_ = true;
    bool changingChecks_ = false;
    bool gridLines_ = false;
    int columns_ = 0;
    HWND edit_ = nullptr;
    EditHook editHook_{*this};
    ParentHook parentHook_{*this};
    int editRow_ = -1;
    int editColumn_ = -1;
};

}  // namespace kbskin
