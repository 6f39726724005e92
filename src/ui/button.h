// A push button or check box, by the calls the pages make.
#pragma once

#include <windows.h>

#include "ui/window.h"

namespace qm::ui {

class Button : public Window {
  public:
    using Window::Window;

    bool IsChecked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetChecked(bool checked) { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
    // The pushed look of a push button (BM_SETSTATE).
    void SetPushed(bool pushed) { Send(BM_SETSTATE, pushed ? TRUE : FALSE); }
    bool IsPushed() const { return (Send(BM_GETSTATE) & BST_PUSHED) != 0; }
    void Click() { Send(BM_CLICK); }
};

}  // namespace qm::ui
