// A static control, by the calls the pages make.
#pragma once

#include <windows.h>

#include "ui/window.h"

namespace qm::ui {

class StaticControl : public Window {
  public:
    using Window::Window;

    // A picture static's bitmap; returns the one it showed before.
    HBITMAP SetBitmap(HBITMAP bitmap) {
        return reinterpret_cast<HBITMAP>(
            Send(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    }
    HBITMAP Bitmap() const { return reinterpret_cast<HBITMAP>(Send(STM_GETIMAGE, IMAGE_BITMAP)); }
};

}  // namespace qm::ui
