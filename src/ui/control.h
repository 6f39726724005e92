// A child control whose messages pass through this object first: it is
// bound to an existing control of a dialog (subclassing, the way a page
// takes over the controls its template made) or creates its own window.
// Messages that the parent receives about the control (WM_NOTIFY,
// WM_DRAWITEM) are offered back to it by the dialog (see Dialog).
#pragma once

#include "ui/window.h"

namespace qm::ui {

class Control : public Window {
  public:
    Control() = default;
    ~Control() override;

    // Binds to an existing control; false when there is none or the object
    // is bound already.
    bool Bind(HWND control);
    bool Bind(HWND dialog, int id) { return Bind(GetDlgItem(dialog, id)); }
    // Creates a child window of the given class and binds to it.
    bool CreateChild(const char* className, const char* title, DWORD style, const RECT& rect,
                     HWND parent, int id, DWORD exStyle = 0);
    void Unbind();

    // The object bound to a window, if any.
    static Control* FromHandle(HWND hwnd);

    // A message about this control that reached its parent. Return true and
    // set *result to answer it; false leaves it to the parent.
    virtual bool OnReflected(UINT message, WPARAM w, LPARAM l, LRESULT* result);

  protected:
    // Called once the control is bound, with Handle() set.
    virtual void OnBound() {}
    // The control's messages; the default passes them to the control's own
    // window procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM w, LPARAM l);
    LRESULT Default(UINT message, WPARAM w, LPARAM l);

  private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    WNDPROC previous_ = nullptr;
};

}  // namespace qm::ui
