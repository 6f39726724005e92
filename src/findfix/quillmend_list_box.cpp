#include "findfix/quillmend_list_box.h"

#include <windowsx.h>

#include <cstring>
#include <string>

#include "scan/details_entry_layout.h"
#include "ui/device_context.h"
#include "ui/list_box.h"

namespace qm {
namespace {

namespace entry = details_entry;

RECT Offset(const RECT& entryRect, const entry::Box& box) {
    return RECT{entryRect.left + box.left, entryRect.top + box.top, entryRect.left + box.right,
                entryRect.top + box.bottom};
}

// The height of `text` drawn word-wrapped (long words broken) in `width`.
int WrappedHeight(HDC dc, HFONT font, const std::string& text, int width) {
    ui::Selection selection(dc, font);
    RECT r{0, 0, width, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    return r.bottom - r.top;
}

}  // namespace

void CQuillmendListBox::OnBound() {
    // The entries' text is drawn in Arial at the size of the list's font.
    LOGFONTA description{};
    HFONT listFont = CurrentFont();
    if (listFont == nullptr) listFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    GetObjectA(listFont, sizeof description, &description);
    std::strncpy(description.lfFaceName, "Arial", LF_FACESIZE - 1);
    description.lfFaceName[LF_FACESIZE - 1] = '\0';
    description.lfCharSet = ANSI_CHARSET;
    entryFont_.Reset(CreateFontIndirectA(&description));
}

int CQuillmendListBox::AddItem(FoundItem* item) {
    if (!hwnd_ || item == nullptr) return -1;
    ui::ListBox list(hwnd_);
    const std::string text = DetailText(*item);
    adding_ = item;
    const int index = list.AddString(text.c_str());
    adding_ = nullptr;
    if (index >= 0) list.SetItemData(index, reinterpret_cast<LPARAM>(item));
    return index;
}

FoundItem* CQuillmendListBox::ItemAt(int index) const {
    if (!hwnd_ || index < 0 || index >= Count()) return nullptr;
    const LPARAM data = ui::ListBox(hwnd_).ItemData(index);
    if (data == LB_ERR) return nullptr;
    return reinterpret_cast<FoundItem*>(data);
}

int CQuillmendListBox::Count() const {
    return hwnd_ ? ui::ListBox(hwnd_).Count() : 0;
}

void CQuillmendListBox::RemoveAll() {
    if (hwnd_) ui::ListBox(hwnd_).ResetContent();
}

void CQuillmendListBox::Select(int index) {
    if (hwnd_) ui::ListBox(hwnd_).SetCurrentSelection(index);
}

int CQuillmendListBox::Selected() const {
    return hwnd_ ? ui::ListBox(hwnd_).CurrentSelection() : -1;
}

void CQuillmendListBox::Measure(MEASUREITEMSTRUCT* measure) {
    // The entry being added is not the entry's data yet.
    const FoundItem* item = adding_ ? adding_ : ItemAt(static_cast<int>(measure->itemID));
    if (!hwnd_ || item == nullptr) return;
    RECT client = ClientRect();
    int width = client.right - client.left;
    // Measure for the narrower list that a vertical scroll bar leaves, so
    // that entries still fit once there are enough of them to scroll.
    if (!(Style() & WS_VSCROLL)) width -= GetSystemMetrics(SM_CXVSCROLL);
    if (width < 1) width = 1;
    ui::WindowDc dc(hwnd_);
    HFONT listFont = CurrentFont();
    if (listFont == nullptr) listFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const int detail = WrappedHeight(dc.Get(), listFont, DetailText(*item), width);
    const int shown = WrappedHeight(dc.Get(), entryFont_.Get(), entry::EntryText(*item),
                                    entry::ShownTextWidth(width));
    measure->itemHeight = static_cast<UINT>(entry::EntryHeight(detail, shown));
}

bool CQuillmendListBox::OnReflected(UINT message, WPARAM, LPARAM l, LRESULT* result) {
    if (message != WM_DRAWITEM) return false;
    Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
    *result = TRUE;
    return true;
}

void CQuillmendListBox::Draw(const DRAWITEMSTRUCT& draw) {
    if (draw.itemID == static_cast<UINT>(-1)) return;
    const FoundItem* item = reinterpret_cast<const FoundItem*>(draw.itemData);
    if (item == nullptr) return;
    HDC dc = draw.hDC;
    const RECT& r = draw.rcItem;

    ui::Brush background(CreateSolidBrush(
        (draw.itemState & ODS_SELECTED) ? entry::kSelectedBackground : entry::kBackground));
    FillRect(dc, &r, background.Get());

    {
        ui::Selection font(dc, entryFont_.Get());
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        const COLORREF oldColour = SetTextColor(dc, RGB(0, 0, 0));
        RECT text{r.left + entry::kTextLeft, r.top + entry::kTextTop, r.right - entry::kTextRight,
                  r.bottom - entry::kTextBottom};
        const std::string lines = entry::EntryText(*item);
        DrawTextA(dc, lines.c_str(), static_cast<int>(lines.size()), &text,
                  DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        SetTextColor(dc, oldColour);
        SetBkMode(dc, oldMode);
    }

    ui::Brush frame(CreateSolidBrush(entry::kTickFrameColour));
    ui::Brush inside(CreateSolidBrush(entry::kBackground));
    const RECT frameRect = Offset(r, entry::kTickFrame);
    const RECT insideRect = Offset(r, entry::kTickInside);
    FillRect(dc, &frameRect, frame.Get());
    FillRect(dc, &insideRect, inside.Get());
    if (item->selected) {
        ui::Pen pen(CreatePen(PS_SOLID, entry::kTickPenWidth, entry::kTickColour));
        ui::Selection selection(dc, pen.Get());
        MoveToEx(dc, r.left + entry::kTick[0].x, r.top + entry::kTick[0].y, nullptr);
        LineTo(dc, r.left + entry::kTick[1].x, r.top + entry::kTick[1].y);
        LineTo(dc, r.left + entry::kTick[2].x, r.top + entry::kTick[2].y);
    }
}

void CQuillmendListBox::OnButtonDown(POINT point) {
    ui::ListBox list(hwnd_);
    const int index = list.ItemFromPoint(point);
    if (index < 0) return;
    FoundItem* item = ItemAt(index);
    if (item == nullptr) return;
    const RECT r = list.ItemRect(index);
    if (details_entry::InTickBox(point.x - r.left, point.y - r.top)) {
        item->selected = !item->selected;
        Invalidate(true);
    }
}

LRESULT CQuillmendListBox::WindowProc(UINT message, WPARAM w, LPARAM l) {
    if (message == WM_LBUTTONDOWN) OnButtonDown(POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)});
    // The list's own handling (selecting the entry) follows.
    return Default(message, w, l);
}

}  // namespace qm
