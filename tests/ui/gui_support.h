// What the window tests need around the windows: letting queued messages
// run, reading back the pixels of a window, and saving them as a picture.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qm::ui::testing {

// Handles this thread's messages for `milliseconds`.
void Pump(DWORD milliseconds);

// Repaints a window and its children now, then lets messages run briefly.
void Repaint(HWND hwnd);

// The client area of a window, children included, as the screen shows it.
class Pixels {
  public:
    static Pixels Capture(HWND hwnd);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The colour at a client point, as a COLORREF.
    COLORREF At(int x, int y) const;
    // How many pixels of a rectangle have exactly this colour.
    int Count(const RECT& area, COLORREF colour) const;
    // The longest horizontal run of this colour inside a rectangle.
    int LongestRun(const RECT& area, COLORREF colour) const;
    bool SaveBmp(const std::string& path) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> rgb_;  // 0x00RRGGBB, top row first
};

// Writes top-down 0x00RRGGBB pixels as a 32-bit picture file.
bool SaveBmp32(const std::string& path, int width, int height, const std::vector<uint32_t>& rgb);

// A list view's columns in order: each one's heading and width in pixels.
std::vector<std::pair<std::string, int>> ListColumns(HWND list);

// A control's rectangle in the client coordinates of another window.
RECT RectIn(HWND control, HWND window);

}  // namespace qm::ui::testing
