#include "ui/link_label.h"

#include <cstring>

#include "ui/device_context.h"
#include "ui/label_layout.h"

namespace qm::ui {

void CLinkLabel::OnBound() {
    HFONT current = CurrentFont();
    if (current == nullptr) current = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    GetObjectA(current, sizeof description_, &description_);
    RebuildFont();
}

void CLinkLabel::RebuildFont() {
    font_.Reset(CreateFontIndirectA(&description_));
}

void CLinkLabel::SetLabelText(const std::string& text) {
    if (!hwnd_) return;
    text_ = text;
    // The window carries the same text (its WM_SETTEXT redraws the label),
    // so that whatever reads the window, a screen reader or a test, finds
    // the words that are shown.
    SetWindowTextA(hwnd_, text_.c_str());
}

void CLinkLabel::SetTextColour(COLORREF colour) {
    textColour_ = colour;
    Redraw();
}

void CLinkLabel::SetTransparent(bool on) {
    transparent_ = on;
    // The window system's transparency is asked for either way: the parent
    // is then painted before the label, which matters once it is on.
    if (hwnd_) SetExStyle(ExStyle() | WS_EX_TRANSPARENT);
    Redraw();
}

void CLinkLabel::SetFontName(const char* face, BYTE charset) {
    std::strncpy(description_.lfFaceName, face, LF_FACESIZE - 1);
    description_.lfFaceName[LF_FACESIZE - 1] = '\0';
    description_.lfCharSet = charset;
    RebuildFont();
    Redraw();
}

void CLinkLabel::SetFontSize(int points) {
    // A point font of the current face for the screen gives the height.
    WindowDc screen(nullptr);
    LOGFONTA point = description_;
    point.lfHeight = PointFontHeight(points, GetDeviceCaps(screen.Get(), LOGPIXELSY));
    point.lfWidth = 0;
    Font temporary(CreateFontIndirectA(&point));
    LOGFONTA made{};
    if (temporary && GetObjectA(temporary.Get(), sizeof made, &made)) {
        description_.lfHeight = made.lfHeight;
        description_.lfWidth = made.lfWidth;
    }
    RebuildFont();
    Redraw();
}

void CLinkLabel::ApplyStyle(bool transparent, const char* face, int points, COLORREF text,
                            COLORREF background) {
    SetTransparent(transparent);
    SetFontName(face, 0);
    SetFontSize(points);
    SetTextColour(text);
    background_ = background;
}

void CLinkLabel::Redraw() {
    if (!hwnd_) return;
    HWND parent = transparent_ ? Parent() : nullptr;
    if (!parent) {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return;
    }
    // A transparent label shows the parent through it: the parent paints
    // that area and then the label over it, once. (Painting the label
    // first as well only drew the new text over the old, which the
    // parent's paint then covered.)
    RECT area = RectInParent();
    RedrawWindow(parent, &area, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CLinkLabel::Paint() {
    PaintDc paint(hwnd_);
    if (text_.empty()) return;
    RECT client = ClientRect();
    SetBkMode(paint.Get(), TRANSPARENT);
    SetTextColor(paint.Get(), textColour_);
    Selection font(paint.Get(), font_.Get());
    DrawTextA(paint.Get(), text_.c_str(), static_cast<int>(text_.size()), &client,
              LabelDrawFlags(static_cast<uint32_t>(Style()), text_));
}

LRESULT CLinkLabel::WindowProc(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND: {
            if (transparent_) return 1;
            RECT client = ClientRect();
            Brush brush(CreateSolidBrush(background_));
            FillRect(reinterpret_cast<HDC>(w), &client, brush.Get());
            return 1;
        }
        case WM_SETTEXT:
        case WM_ENABLE: {
            // The static control would paint its own window text at once;
            // only this label's text is ever shown.
            const LRESULT result = DefWindowProcA(hwnd_, message, w, l);
            Redraw();
            return result;
        }
        case WM_MOUSEMOVE: {
            if (!hover_) {
                hover_ = true;
                Redraw();
                SetCapture(hwnd_);
            } else {
                const RECT client = ClientRect();
                const POINT p{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
                if (!PtInRect(&client, p)) {
                    hover_ = false;
                    ReleaseCapture();
                    Redraw();
                }
            }
            break;
        }
        case WM_LBUTTONDOWN:
            ReleaseCapture();
            if (notifyParent_) {
                NMHDR header{};
                header.hwndFrom = hwnd_;
                header.idFrom = static_cast<UINT_PTR>(Id());
                header.code = kClickNotification;
                SendMessageA(Parent(), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
            }
            break;
        default:
            break;
    }
    return Default(message, w, l);
}

}  // namespace qm::ui
