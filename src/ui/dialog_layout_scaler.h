// CDialogLayoutScaler: lays a dialog out again from its own template with a
// font made from the template's font description at a fixed resolution, so
// that sizes in pixels do not depend on the screen's dots per inch or the
// system's dialog font. Each dialog applies it once while initialising.
#pragma once

#include <windows.h>

#include "ui/dialog_template.h"
#include "ui/gdi_object.h"

namespace qm::ui {

class CDialogLayoutScaler {
  public:
    CDialogLayoutScaler() = default;
    ~CDialogLayoutScaler() { Restore(); }
    CDialogLayoutScaler(const CDialogLayoutScaler&) = delete;
    CDialogLayoutScaler& operator=(const CDialogLayoutScaler&) = delete;

    // Re-lays `dialog` out from template `templateId` of `instance`. A
    // second call restores the first's fonts before it starts. False when
    // the template cannot be found or read, or the font cannot be made.
    bool Apply(HINSTANCE instance, HWND dialog, int templateId, double dotsPerInch);
    // Gives the dialog and its controls their previous font back.
    void Restore();

    int HorizontalUnit() const { return unitX_; }
    int VerticalUnit() const { return unitY_; }
    HFONT CreatedFont() const { return font_.Get(); }
    HFONT PreviousFont() const { return previousFont_; }
    // How many template items were found and laid out.
    int ItemsLaidOut() const { return itemsLaidOut_; }

  private:
    // Calls `each` with the control window of every template item, in the
    // template's order, until the sibling list runs out.
    template <typename Each>
    int WalkItems(Each each) const;

    int templateId_ = 0;
    HINSTANCE instance_ = nullptr;
    HWND dialog_ = nullptr;
    Font font_;
    HFONT previousFont_ = nullptr;
    DialogTemplate template_;
    int unitX_ = 0;
    int unitY_ = 0;
    int itemsLaidOut_ = 0;
};

}  // namespace qm::ui
