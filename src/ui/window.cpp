#include "ui/window.h"

#include <vector>

namespace qm::ui {

Window::~Window() {
    if (owned_) Destroy();
}

void Window::Attach(HWND hwnd) {
    if (owned_) Destroy();
    hwnd_ = hwnd;
    owned_ = false;
}

HWND Window::Detach() {
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    owned_ = false;
    return hwnd;
}

bool Window::Create(DWORD exStyle, const char* className, const char* title, DWORD style,
                    const RECT& rect, HWND parent, int id) {
    if (owned_) Destroy();
    HMENU menuOrId =
        (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
    hwnd_ = CreateWindowExA(exStyle, className, title, style, rect.left, rect.top,
                            rect.right - rect.left, rect.bottom - rect.top, parent, menuOrId,
                            GetModuleHandleA(nullptr), nullptr);
    owned_ = hwnd_ != nullptr;
    return owned_;
}

void Window::Destroy() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    owned_ = false;
}

std::string Window::Text() const {
    const int length = GetWindowTextLengthA(hwnd_);
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int copied = GetWindowTextA(hwnd_, buffer.data(), length + 1);
    return std::string(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

RECT Window::ClientRect() const {
    RECT r{};
    GetClientRect(hwnd_, &r);
    return r;
}

RECT Window::WindowRect() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return r;
}

RECT Window::RectInParent() const {
    RECT r = WindowRect();
    HWND parent = GetParent(hwnd_);
    if (parent && (Style() & WS_CHILD))
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void Window::Move(const RECT& rect, bool repaint) {
    MoveWindow(hwnd_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               repaint ? TRUE : FALSE);
}

}  // namespace qm::ui
