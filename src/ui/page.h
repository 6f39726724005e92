// A page of the main window: a child dialog made once from its template
// (CreateModeless, hidden), laid out again from that template at 96 dots per
// inch, then only shown and hidden. It paints its whole client area in the page colour and hands
// its controls a transparent text background and a brush of that colour, which lives as long as the
// page.
#pragma once

#include <windows.h>

#include "ui/colour.h"
#include "ui/dialog.h"
#include "ui/dialog_layout_scaler.h"
#include "ui/gdi_object.h"

namespace qm::ui {

class Page : public Dialog {
  public:
    Page(HINSTANCE instance, int templateId, Colour background = kPageColour);

    Colour Background() const { return background_; }
    HBRUSH BackgroundBrush() const { return brush_.Get(); }

  protected:
    // Lays the page out from its template; the pages call it first in OnInit.
    bool ApplyLayout();
    // The page's own dialog ends neither on Enter nor on Escape.
    void OnOk() override {}
    void OnCancel() override {}

  private:
    LRESULT ControlColour(HDC dc);

    Colour background_;
    Brush brush_;
    CDialogLayoutScaler scaler_;
};

}  // namespace qm::ui
