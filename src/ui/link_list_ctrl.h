// CLinkListCtrl: a report list view in which single cells can show a link
// (blue, underlined, a hand cursor over it) while the others stay plain.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>

#include "ui/control.h"
#include "ui/gdi_object.h"

namespace qm::ui {

class CLinkListCtrl : public Control {
  public:
    struct CellStyle {
        bool underline;
        COLORREF colour;
        COLORREF visitedColour;
        HCURSOR cursor;
    };
    struct Cell {
        bool visited = false;
        std::string linkText;
        const CellStyle* style = nullptr;
    };

    static constexpr COLORREF kLinkColour = RGB(0, 0, 255);

    CLinkListCtrl();

    // After the window exists: styles, fonts, and a fresh layout.
    void Initialise();
    // A text-only row; (row, 0) is recorded as a link cell when linkText is
    // not empty, else as plain. Returns the new row's index or -1.
    int InsertItem(int row, const char* text, const char* linkText = "");
    // Sets a cell's text and records its style as InsertItem does.
    bool SetCellText(int row, int column, const char* text, const char* linkText = "");
    const Cell* FindCell(int row, int column) const;
    // The column of `row` under the mouse cursor, if the cursor is over it.
    const Cell* CellUnderCursor(int row) const;

    const CellStyle& LinkStyle() const { return link_; }
    const CellStyle& PlainStyle() const { return plain_; }

    bool OnReflected(UINT message, WPARAM w, LPARAM l, LRESULT* result) override;

  private:
    void RecordCell(int row, int column, const char* linkText);
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);

    CellStyle link_;
    CellStyle plain_;
    Font underlined_;
    Font regular_;
    HCURSOR arrow_ = nullptr;
    POINT origin_{};
    std::map<std::string, Cell> cells_;
};

}  // namespace qm::ui
