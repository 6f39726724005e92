#include "ui/control.h"

namespace qm::ui {
namespace {

// The window property that leads from a control window to its object. A
// property leaves the control's own user data free for the control.
constexpr char kObjectProperty[] = "QuillmendControl";

}  // namespace

Control::~Control() {
    Unbind();
}

bool Control::Bind(HWND control) {
    if (control == nullptr || previous_ != nullptr || FromHandle(control) != nullptr) return false;
    Attach(control);
    if (!SetPropA(control, kObjectProperty, this)) {
        Detach();
        return false;
    }
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
    OnBound();
    return true;
}

bool Control::CreateChild(const char* className, const char* title, DWORD style, const RECT& rect,
                          HWND parent, int id, DWORD exStyle) {
    if (previous_ != nullptr) return false;
    if (!Create(exStyle, className, title, style | WS_CHILD, rect, parent, id)) return false;
    // Bind() attaches without owning; keep ownership of the window made here.
    HWND created = Handle();
    Detach();
    if (!Bind(created)) {
        DestroyWindow(created);
        return false;
    }
    owned_ = true;
    return true;
}

void Control::Unbind() {
    if (hwnd_ == nullptr || previous_ == nullptr) return;
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropA(hwnd_, kObjectProperty);
    }
    previous_ = nullptr;
    if (owned_) {
        Destroy();
    } else {
        Detach();
    }
}

Control* Control::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<Control*>(GetPropA(hwnd, kObjectProperty)) : nullptr;
}

bool Control::OnReflected(UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

LRESULT Control::WindowProc(UINT message, WPARAM w, LPARAM l) {
    return Default(message, w, l);
}

LRESULT Control::Default(UINT message, WPARAM w, LPARAM l) {
    return CallWindowProcA(previous_, hwnd_, message, w, l);
}

LRESULT CALLBACK Control::Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    Control* self = FromHandle(hwnd);
    if (self == nullptr) return DefWindowProcA(hwnd, message, w, l);
    LRESULT result = 0;
    try {
        result = self->WindowProc(message, w, l);
    } catch (...) {
        // Nothing may unwind into the window system; the message gets the
        // control's own handling instead.
        result = self->Default(message, w, l);
    }
    if (message == WM_NCDESTROY) {
        // The window is gone; the object stays usable and can be bound again.
        RemovePropA(hwnd, kObjectProperty);
        self->previous_ = nullptr;
        self->Detach();
    }
    return result;
}

}  // namespace qm::ui
