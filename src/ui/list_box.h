// A list box control, by the calls the pages make.
#pragma once

#include <windows.h>

#include "ui/window.h"

namespace qm::ui {

class ListBox : public Window {
  public:
    using Window::Window;

    int AddString(const char* text) {
        return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    void SetItemData(int index, LPARAM data) {
        Send(LB_SETITEMDATA, static_cast<WPARAM>(index), data);
    }
    LPARAM ItemData(int index) const {
        return static_cast<LPARAM>(Send(LB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int Count() const { return static_cast<int>(Send(LB_GETCOUNT)); }
    void ResetContent() { Send(LB_RESETCONTENT); }
    int CurrentSelection() const { return static_cast<int>(Send(LB_GETCURSEL)); }
    void SetCurrentSelection(int index) { Send(LB_SETCURSEL, static_cast<WPARAM>(index)); }
    RECT ItemRect(int index) const {
        RECT r{};
        Send(LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
        return r;
    }
    // The entry at a client point, or -1 when the point is below the last.
    int ItemFromPoint(POINT p) const {
        const auto result = static_cast<DWORD>(Send(LB_ITEMFROMPOINT, 0, MAKELPARAM(p.x, p.y)));
        return HIWORD(result) ? -1 : static_cast<int>(LOWORD(result));
    }
};

}  // namespace qm::ui
