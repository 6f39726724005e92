// A report-style list view control, by the calls the pages make.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

#include "ui/window.h"

namespace qm::ui {

class ListView : public Window {
  public:
    using Window::Window;

    int InsertColumn(int index, const char* title, int width, int format = LVCFMT_LEFT);
    // Inserts a text-only row; returns its index or -1.
    int InsertItem(int row, const char* text);
    bool SetItemText(int row, int column, const char* text);
    std::string ItemText(int row, int column) const;
    int ItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    bool DeleteAllItems() { return Send(LVM_DELETEALLITEMS) != 0; }

    DWORD ExtendedStyle() const { return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    // Replaces the extended styles in `mask` (all of them for mask 0).
    void SetExtendedStyle(DWORD style, DWORD mask = 0) {
        Send(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
    }
    void AddExtendedStyle(DWORD style) { SetExtendedStyle(ExtendedStyle() | style); }

    // The tick box of a row (the check-box extended style).
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    int SelectedRow() const {
        return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    void Select(int row);
    RECT SubItemRect(int row, int column) const;
};

}  // namespace qm::ui
