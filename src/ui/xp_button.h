// CXPButton: a push button drawn from three pictures (normal, hover or
// focus, pushed), each fitted to the button's size, with its caption (if it
// has one) centred over the picture. Clicks work as for any button.
#pragma once

#include "ui/control.h"
#include "ui/gdi_object.h"

namespace qm::ui {

class CXPButton : public Control {
  public:
    static constexpr COLORREF kCaptionColour = RGB(7, 78, 140);

    // Builds the three button-sized pictures from bitmap resources; call it
    // when the button has its final size. Pictures built before are deleted.
    // False (and no pictures) when a resource is missing.
    bool SetBitmaps(HINSTANCE instance, int normalId, int hoverId, int pushedId);
    bool HasBitmaps() const { return hasBitmaps_; }
    bool IsHovered() const { return hover_; }

    bool OnReflected(UINT message, WPARAM w, LPARAM l, LRESULT* result) override;

  protected:
    void OnBound() override;
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override;

  private:
    HBITMAP FitPicture(HINSTANCE instance, int id) const;
    void Paint(const DRAWITEMSTRUCT& item);

    Bitmap normal_, hoverPicture_, pushed_;
    bool hasBitmaps_ = false;
    bool hover_ = false;
    bool tracking_ = false;
};

}  // namespace qm::ui
