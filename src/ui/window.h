// A window handle with one-line wrappers around the calls the pages need.
// A Window made by Create owns its window and destroys it with itself; one
// that was attached to an existing window (a dialog's control) does not.
#pragma once

#include <windows.h>

#include <string>

namespace qm::ui {

class Window {
  public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }

    // Refers to an existing window without owning it.
    void Attach(HWND hwnd);
    HWND Detach();

    // Creates a window that this object owns.
    bool Create(DWORD exStyle, const char* className, const char* title, DWORD style,
                const RECT& rect, HWND parent, int id);
    void Destroy();

    int Id() const { return GetDlgCtrlID(hwnd_); }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    HWND Parent() const { return GetParent(hwnd_); }
    LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) const {
        return SendMessageA(hwnd_, message, w, l);
    }
    bool Post(UINT message, WPARAM w = 0, LPARAM l = 0) const {
        return PostMessageA(hwnd_, message, w, l) != FALSE;
    }

    std::string Text() const;
    void SetText(const char* text) { SetWindowTextA(hwnd_, text); }
    void Show(int command = SW_SHOW) { ShowWindow(hwnd_, command); }
    bool IsVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
    void Enable(bool on) { EnableWindow(hwnd_, on ? TRUE : FALSE); }

    RECT ClientRect() const;
    RECT WindowRect() const;
    // The window's rectangle in its parent's client coordinates.
    RECT RectInParent() const;
    void Move(const RECT& rect, bool repaint = true);
    void Invalidate(bool erase = true) { InvalidateRect(hwnd_, nullptr, erase ? TRUE : FALSE); }
    void Update() { UpdateWindow(hwnd_); }

    LONG_PTR Style() const { return GetWindowLongPtrA(hwnd_, GWL_STYLE); }
    void SetStyle(LONG_PTR style) { SetWindowLongPtrA(hwnd_, GWL_STYLE, style); }
    LONG_PTR ExStyle() const { return GetWindowLongPtrA(hwnd_, GWL_EXSTYLE); }
    void SetExStyle(LONG_PTR style) { SetWindowLongPtrA(hwnd_, GWL_EXSTYLE, style); }

    HFONT CurrentFont() const { return reinterpret_cast<HFONT>(Send(WM_GETFONT)); }
    void SetFont(HFONT font, bool redraw = true) {
        Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
    }

  protected:
    HWND hwnd_ = nullptr;
    bool owned_ = false;
};

}  // namespace qm::ui
