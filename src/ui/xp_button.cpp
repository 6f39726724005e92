#include "ui/xp_button.h"

#include <string>

#include "ui/button_fit.h"
#include "ui/device_context.h"

namespace qm::ui {

void CXPButton::OnBound() {
    // Only the drawing changes. BS_OWNERDRAW is a button type, not a flag:
    // OR-ed over a push button's type (0 or 1) it makes the type owner-draw,
    // which takes clicks and focus as a push button does and hands its
    // painting to us.
    SetStyle(Style() | BS_OWNERDRAW);
}

HBITMAP CXPButton::FitPicture(HINSTANCE instance, int id) const {
    Bitmap source(LoadBitmapA(instance, MAKEINTRESOURCEA(id)));
    if (!source) return nullptr;
    BITMAP info{};
    GetObjectA(source.Get(), sizeof info, &info);
    const RECT client = ClientRect();
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    WindowDc screen(nullptr);
    Bitmap fitted(CreateCompatibleBitmap(screen.Get(), width, height));
    MemoryDc from(screen.Get());
    MemoryDc to(screen.Get());
    if (!fitted || !from.Get() || !to.Get()) return nullptr;
    {
        Selection fromPicture(from.Get(), source.Get());
        Selection toPicture(to.Get(), fitted.Get());
        for (const StripCopy& copy : FitThreePieces(info.bmWidth, width)) {
            BitBlt(to.Get(), copy.destX, 0, copy.width, info.bmHeight, from.Get(), copy.srcX, 0,
                   SRCCOPY);
        }
    }
    return fitted.Release();
}

bool CXPButton::SetBitmaps(HINSTANCE instance, int normalId, int hoverId, int pushedId) {
    normal_.Reset();
    hoverPicture_.Reset();
    pushed_.Reset();
    hasBitmaps_ = false;
    if (!hwnd_) return false;
    normal_.Reset(FitPicture(instance, normalId));
    hoverPicture_.Reset(FitPicture(instance, hoverId));
    pushed_.Reset(FitPicture(instance, pushedId));
    hasBitmaps_ = normal_ && hoverPicture_ && pushed_;
    if (!hasBitmaps_) {
        normal_.Reset();
        hoverPicture_.Reset();
        pushed_.Reset();
    }
    Invalidate(true);
    return hasBitmaps_;
}

bool CXPButton::OnReflected(UINT message, WPARAM, LPARAM l, LRESULT* result) {
    if (message != WM_DRAWITEM) return false;
    Paint(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
    *result = TRUE;
    return true;
}

void CXPButton::Paint(const DRAWITEMSTRUCT& item) {
    HDC target = item.hDC;
    RECT clip{};
    GetClipBox(target, &clip);
    const int clipWidth = clip.right - clip.left;
    const int clipHeight = clip.bottom - clip.top;
    if (clipWidth <= 0 || clipHeight <= 0) return;

    // Everything is drawn off-screen and copied in one piece.
    MemoryDc buffer(target);
    Bitmap canvas(CreateCompatibleBitmap(target, clipWidth, clipHeight));
    if (!buffer.Get() || !canvas) return;
    Selection canvasSelection(buffer.Get(), canvas.Get());
    SetWindowOrgEx(buffer.Get(), clip.left, clip.top, nullptr);
    Brush background(CreateSolidBrush(GetBkColor(target)));
    FillRect(buffer.Get(), &clip, background.Get());

    if (hasBitmaps_) {
        HBITMAP picture = normal_.Get();
        if (item.itemState & (ODS_SELECTED | ODS_DEFAULT)) {
            picture = pushed_.Get();
        } else if ((item.itemState & ODS_FOCUS) || hover_) {
            picture = hoverPicture_.Get();
        }
        const RECT& r = item.rcItem;
        MemoryDc source(target);
        {
            Selection pictureSelection(source.Get(), picture);
            BitBlt(buffer.Get(), r.left, r.top, r.right - r.left, r.bottom - r.top, source.Get(), 0,
                   0, SRCCOPY);
        }
        const std::string caption = Text();
        if (!caption.empty()) {
            HFONT font = reinterpret_cast<HFONT>(SendMessageA(Parent(), WM_GETFONT, 0, 0));
            Selection fontSelection(buffer.Get(), font);
            SIZE extent{};
            GetTextExtentPoint32A(buffer.Get(), caption.c_str(), static_cast<int>(caption.size()),
                                  &extent);
            const int previousMode = SetBkMode(buffer.Get(), TRANSPARENT);
            SetTextColor(buffer.Get(), kCaptionColour);
            TextOutA(buffer.Get(), r.left + (r.right - r.left - extent.cx) / 2,
                     r.top + (r.bottom - r.top - extent.cy) / 2, caption.c_str(),
                     static_cast<int>(caption.size()));
            SetBkMode(buffer.Get(), previousMode);
        }
    }
    BitBlt(target, clip.left, clip.top, clipWidth, clipHeight, buffer.Get(), clip.left, clip.top,
           SRCCOPY);
}

LRESULT CXPButton::WindowProc(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (!tracking_) {
                TRACKMOUSEEVENT track{};
                track.cbSize = sizeof track;
                track.dwFlags = TME_LEAVE | TME_HOVER;
                track.hwndTrack = hwnd_;
                track.dwHoverTime = 1;
                tracking_ = TrackMouseEvent(&track) != FALSE;
            }
            break;
        case WM_MOUSEHOVER:
            hover_ = true;
            Invalidate(true);
            return 0;
        case WM_MOUSELEAVE:
            tracking_ = false;
            hover_ = false;
            Invalidate(false);
            return 0;
        default:
            break;
    }
    return Default(message, w, l);
}

}  // namespace qm::ui
