// Pictures of another process's windows, taken from the screen (the test
// runs on the same X display), and pictures drawn here to compare them with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qm::gui_test {

class Picture {
  public:
    // What the screen shows inside a window's rectangle (frame included).
    static Picture OfWindow(HWND hwnd);
    // A picture `width` x `height` drawn by `draw` on a memory DC.
    template <typename Draw>
    static Picture Drawn(int width, int height, Draw draw);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return rgb_.empty(); }
    COLORREF At(int x, int y) const;
    int Count(COLORREF colour) const;
    // How many pixels inside the rectangle differ from `colour`.
    int CountOther(const RECT& area, COLORREF colour) const;
    // Of the pixels inside `area` that differ from `background` in either
    // picture, the share that differ in both (1.0: the same drawing).
    double Overlap(const Picture& other, const RECT& area, COLORREF background) const;
    bool SaveBmp(const std::string& path) const;

  private:
    static Picture FromDc(HDC source, int x, int y, int width, int height);
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> rgb_;  // 0x00RRGGBB, top row first
};

// A memory DC with a 32-bit DIB selected, for drawing expected pictures.
class MemoryCanvas {
  public:
    MemoryCanvas(int width, int height);
    ~MemoryCanvas();
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
    HDC Dc() const { return dc_; }

  private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    friend class Picture;
    int width_, height_;
};

template <typename Draw>
Picture Picture::Drawn(int width, int height, Draw draw) {
    MemoryCanvas canvas(width, height);
    draw(canvas.Dc());
    GdiFlush();
    return FromDc(canvas.Dc(), 0, 0, width, height);
}

}  // namespace qm::gui_test
