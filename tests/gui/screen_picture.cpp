#include "tests/gui/screen_picture.h"

#include "tests/ui/gui_support.h"

namespace qm::gui_test {

MemoryCanvas::MemoryCanvas(int width, int height) : width_(width), height_(height) {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (dc_ && bitmap_) previous_ = SelectObject(dc_, bitmap_);
}

MemoryCanvas::~MemoryCanvas() {
    if (dc_ && previous_) SelectObject(dc_, previous_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
}

Picture Picture::FromDc(HDC source, int x, int y, int width, int height) {
    Picture p;
    if (width <= 0 || height <= 0) return p;
    MemoryCanvas canvas(width, height);
    if (!canvas.dc_ || !canvas.bitmap_) return p;
    BitBlt(canvas.dc_, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    p.rgb_.resize(static_cast<size_t>(width) * height);
    // The bitmap must not be selected while its bits are read.
    SelectObject(canvas.dc_, canvas.previous_);
    const int rows =
        GetDIBits(canvas.dc_, canvas.bitmap_, 0, height, p.rgb_.data(), &info, DIB_RGB_COLORS);
    canvas.previous_ = SelectObject(canvas.dc_, canvas.bitmap_);
    if (rows != height) {
        p.rgb_.clear();
        return p;
    }
    for (auto& v : p.rgb_) v &= 0xFFFFFF;
    p.width_ = width;
    p.height_ = height;
    return p;
}

Picture Picture::OfWindow(HWND hwnd) {
    RECT r{};
    if (!GetWindowRect(hwnd, &r)) return {};
    HDC screen = GetDC(nullptr);
    Picture p = FromDc(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
    ReleaseDC(nullptr, screen);
    return p;
}

COLORREF Picture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    const uint32_t v = rgb_[static_cast<size_t>(y) * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

int Picture::Count(COLORREF colour) const {
    int n = 0;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) n += At(x, y) == colour;
    }
    return n;
}

int Picture::CountOther(const RECT& area, COLORREF colour) const {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) n += At(x, y) != colour;
    }
    return n;
}

double Picture::Overlap(const Picture& other, const RECT& area, COLORREF background) const {
    int either = 0, both = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const bool mine = At(x, y) != background;
            const bool theirs = other.At(x, y) != background;
            either += mine || theirs;
            both += mine && theirs;
        }
    }
    return either ? static_cast<double>(both) / either : 1.0;
}

bool Picture::SaveBmp(const std::string& path) const {
    return ui::testing::SaveBmp32(path, width_, height_, rgb_);
}

}  // namespace qm::gui_test
