// How the report list draws itself in its owner's colours: cells, the
// header, the grid and the edge.
#include "report_list.h"

#include <algorithm>

namespace kbskin {

LRESULT ReportList::CustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW | (OwnGrid() ? CDRF_NOTIFYPOSTPAINT : 0);
    case CDDS_POSTPAINT:
        if (OwnGrid()) DrawGrid(draw->nmcd.hdc);
        return CDRF_DODEFAULT;
    case CDDS_ITEMPREPAINT:
        // The list paints a selected row in the system's highlight unless the
        // row is drawn as not selected, in the list's own selection colours.
        if (colours_.selectedBack && (draw->nmcd.uItemState & CDIS_SELECTED)) draw->nmcd.uItemState &= ~CDIS_SELECTED;
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        const int row = static_cast<int>(draw->nmcd.dwItemSpec);
        const bool selected =
            colours_.selectedBack && (SendMessageW(Hwnd(), LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED);
        draw->clrText = selected ? colours_.selectedText.value_or(colours_.text) : colours_.text;
        draw->clrTextBk = selected ? *colours_.selectedBack : CellBackColour(row, draw->iSubItem);
        draw->nmcd.uItemState &= ~CDIS_SELECTED;
        return CDRF_DODEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

// The header in the list's colours: each item filled and its text drawn here,
// a darker line between items.
LRESULT ReportList::HeaderDraw(NMCUSTOMDRAW* draw) {
    if (!colours_.headerBack) return CDRF_DODEFAULT;
    switch (draw->dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    case CDDS_POSTPAINT: {
        // The part right of the last column.
        RECT rest{};
        GetClientRect(draw->hdr.hwndFrom, &rest);
        const int count = static_cast<int>(SendMessageW(draw->hdr.hwndFrom, HDM_GETITEMCOUNT, 0, 0));
        RECT last{};
        if (count > 0 && SendMessageW(draw->hdr.hwndFrom, HDM_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&last)))
            rest.left = last.right;
        UniqueBrush fill(CreateSolidBrush(*colours_.headerBack));
        if (fill && rest.left < rest.right) FillRect(draw->hdc, &rest, fill.get());
        return CDRF_DODEFAULT;
    }
    case CDDS_ITEMPREPAINT: {
        const HDC dc = draw->hdc;
        RECT r = draw->rc;
        UniqueBrush fill(CreateSolidBrush(*colours_.headerBack));
        if (fill) FillRect(dc, &r, fill.get());
        RECT line{r.right - 1, r.top, r.right, r.bottom};
        if (backBrush_) FillRect(dc, &line, backBrush_.get());
        wchar_t text[260] = {};
        HDITEMW item{};
        item.mask = HDI_TEXT | HDI_FORMAT;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(draw->hdr.hwndFrom, HDM_GETITEMW, draw->dwItemSpec, reinterpret_cast<LPARAM>(&item));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colours_.headerText.value_or(colours_.text));
        r.left += 6;
        r.right -= 6;
        UINT align = DT_LEFT;
        if ((item.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT) align = DT_RIGHT;
        else if ((item.fmt & HDF_JUSTIFYMASK) == HDF_CENTER) align = DT_CENTER;
        DrawTextW(dc, text, -1, &r, align | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        return CDRF_SKIPDEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

// The grid where the system would rule it in its own light grey: the last
// pixel of every column below the header, and of every row height on down to
// the bottom, past the last row.
void ReportList::DrawGrid(HDC dc) {
    RECT body{};
    GetClientRect(Hwnd(), &body);
    const HWND header = reinterpret_cast<HWND>(SendMessageW(Hwnd(), LVM_GETHEADER, 0, 0));
    if (header && IsWindowVisible(header)) {
        RECT r{};
        GetWindowRect(header, &r);
        MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        body.top = std::max(body.top, r.bottom);
    }
    const UniqueBrush line(CreateSolidBrush(*colours_.headerBack));
    if (!line || body.top >= body.bottom) return;
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < columns; ++i) {
        RECT item{};
        if (!SendMessageW(header, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item))) continue;
        MapWindowPoints(header, Hwnd(), reinterpret_cast<POINT*>(&item), 2);
        const RECT v{item.right - 1, body.top, item.right, body.bottom};
        FillRect(dc, &v, line.get());
    }
    RECT first{};
    first.left = LVIR_BOUNDS;
    if (RowCount() == 0 || !SendMessageW(Hwnd(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first))) return;
    const int height = first.bottom - first.top;
    if (height <= 0) return;
    // Rows scrolled away above the body are skipped.
    const int skipped = first.bottom - 1 < body.top ? (body.top - first.bottom + 1) / height : 0;
    for (int y = first.bottom - 1 + skipped * height; y < body.bottom; y += height) {
        const RECT h{body.left, y, body.right, y + 1};
        FillRect(dc, &h, line.get());
    }
}

// The system draws the list's edge in its own light colours; with a header
// colour of the skin the edge takes that instead.
void ReportList::PaintFrame() {
    const bool edge = (GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
    const int width = edge ? GetSystemMetrics(SM_CXEDGE) : (GetWindowLongPtrW(Hwnd(), GWL_STYLE) & WS_BORDER) ? 1 : 0;
    if (!colours_.headerBack || width <= 0) return;
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    OffsetRect(&r, -r.left, -r.top);
    const ClientDC dc(Hwnd(), GetWindowDC(Hwnd()));
    const UniqueBrush frame(CreateSolidBrush(*colours_.headerBack));
    for (int i = 0; dc && frame && i < width; ++i, InflateRect(&r, -1, -1)) FrameRect(dc.get(), &r, frame.get());
}

}  // namespace kbskin
