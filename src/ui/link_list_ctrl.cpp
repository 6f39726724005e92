#include "ui/link_list_ctrl.h"

#include "ui/link_cells.h"

namespace qm::ui {

CLinkListCtrl::CLinkListCtrl()
    : link_{true, kLinkColour, RGB(128, 0, 128), LoadCursor(nullptr, IDC_HAND)},
      plain_{false, RGB(0, 0, 0), RGB(0, 0, 0), LoadCursor(nullptr, IDC_ARROW)} {}

void CLinkListCtrl::Initialise() {
    if (!hwnd_) return;
    arrow_ = LoadCursor(nullptr, IDC_ARROW);
    origin_ = POINT{};
    Send(LVM_GETITEMPOSITION, 0, reinterpret_cast<LPARAM>(&origin_));
    // Windows 95 and 98 (the top bit of the version) get no one-click
    // activation. Every other extended style is replaced.
    const bool windows9x = (GetVersion() & 0x80000000u) != 0;
    const DWORD extended =
        windows9x ? LVS_EX_FULLROWSELECT : (LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE);
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended);
    plain_ = CellStyle{false, RGB(0, 0, 0), RGB(0, 0, 0), arrow_};

    LOGFONTA description{};
    HFONT listFont = CurrentFont();
    if (listFont == nullptr) listFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    GetObjectA(listFont, sizeof description, &description);
    description.lfUnderline = TRUE;
    underlined_.Reset(CreateFontIndirectA(&description));
    description.lfUnderline = FALSE;
    regular_.Reset(CreateFontIndirectA(&description));

    // Let the control lay itself out again at its present size.
    const RECT r = WindowRect();
    WINDOWPOS position{};
    position.hwnd = hwnd_;
    position.cx = r.right - r.left;
    position.cy = r.bottom - r.top;
    position.flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    Send(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
}

void CLinkListCtrl::RecordCell(int row, int column, const char* linkText) {
    Cell cell;
    cell.linkText = linkText ? linkText : "";
    cell.style = cell.linkText.empty() ? &plain_ : &link_;
    cells_[CellKey(row, column)] = std::move(cell);
}

int CLinkListCtrl::InsertItem(int row, const char* text, const char* linkText) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(text);
    const int index = static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    RecordCell(row, 0, linkText);
    return index;
}

bool CLinkListCtrl::SetCellText(int row, int column, const char* text, const char* linkText) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    const bool set =
        Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) != 0;
    RecordCell(row, column, linkText);
    return set;
}

const CLinkListCtrl::Cell* CLinkListCtrl::FindCell(int row, int column) const {
    const auto found = cells_.find(CellKey(row, column));
    return found == cells_.end() ? nullptr : &found->second;
}

const CLinkListCtrl::Cell* CLinkListCtrl::CellUnderCursor(int row) const {
    POINT cursor{};
    GetCursorPos(&cursor);
    const RECT window = WindowRect();
    if (!PtInRect(&window, cursor)) return nullptr;
    // Item 0 moves with horizontal scrolling; its offset from where it was
    // at initialisation is the scroll distance.
    POINT item0{};
    Send(LVM_GETITEMPOSITION, 0, reinterpret_cast<LPARAM>(&item0));
    const int firstColumnX = item0.x + window.left - origin_.x;
    const auto column = ColumnUnderCursor(cursor.x, firstColumnX, [this](int c) {
        return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c)));
    });
    return column ? FindCell(row, *column) : nullptr;
}

LRESULT CLinkListCtrl::CustomDraw(NMLVCUSTOMDRAW* draw) {
    const DWORD stage = draw->nmcd.dwDrawStage;
    if (stage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    const int row = static_cast<int>(draw->nmcd.dwItemSpec);
    if (stage == CDDS_ITEMPREPAINT) {
        if (draw->nmcd.uItemState & CDIS_HOT) {
            if (const Cell* cell = CellUnderCursor(row); cell && cell->style) {
                Send(LVM_SETHOTCURSOR, 0, reinterpret_cast<LPARAM>(cell->style->cursor));
            }
        }
        return CDRF_NOTIFYSUBITEMDRAW;
    }
    if (stage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
        const Cell* cell = FindCell(row, draw->iSubItem);
        if (cell == nullptr) {
            // Cells without a record keep the list's own look.
            SelectObject(draw->nmcd.hdc, regular_.Get());
            return CDRF_NEWFONT;
        }
        if (cell->style)
            draw->clrText = cell->visited ? cell->style->visitedColour : cell->style->colour;
        const bool underline = cell->style == nullptr || cell->style->underline;
        SelectObject(draw->nmcd.hdc, underline ? underlined_.Get() : regular_.Get());
        // The font chosen here is only used when the list is told so.
        return CDRF_NEWFONT;
    }
    return CDRF_DODEFAULT;
}

bool CLinkListCtrl::OnReflected(UINT message, WPARAM, LPARAM l, LRESULT* result) {
    if (message != WM_NOTIFY) return false;
    NMHDR* header = reinterpret_cast<NMHDR*>(l);
    if (header->code == NM_CUSTOMDRAW) {
        *result = CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(l));
        return true;
    }
    if (header->code == LVN_ITEMCHANGING) {
        *result = FALSE;  // every change is allowed
        return true;
    }
    return false;
}

}  // namespace qm::ui
