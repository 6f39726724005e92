#include "tests/ui/gui_support.h"

#include <commctrl.h>

#include <cstdio>
#include <memory>

namespace qm::ui::testing {

void Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

void Repaint(HWND hwnd) {
    RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(30);
}

Pixels Pixels::Capture(HWND hwnd) {
    Pixels p;
    RECT client{};
    GetClientRect(hwnd, &client);
    p.width_ = client.right;
    p.height_ = client.bottom;
    if (p.width_ <= 0 || p.height_ <= 0) return p;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width_;
    info.bmiHeader.biHeight = -p.height_;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC window = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(window);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && memory) {
        HGDIOBJ previous = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, p.width_, p.height_, window, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits);
        p.rgb_.assign(pixels, pixels + static_cast<size_t>(p.width_) * p.height_);
        SelectObject(memory, previous);
    }
    if (dib) DeleteObject(dib);
    if (memory) DeleteDC(memory);
    ReleaseDC(hwnd, window);
    if (p.rgb_.empty()) p.width_ = p.height_ = 0;
    return p;
}

COLORREF Pixels::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    const uint32_t v = rgb_[static_cast<size_t>(y) * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

int Pixels::Count(const RECT& area, COLORREF colour) const {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) n += At(x, y) == colour;
    }
    return n;
}

int Pixels::LongestRun(const RECT& area, COLORREF colour) const {
    int best = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        int run = 0;
        for (int x = area.left; x < area.right; ++x) {
            run = At(x, y) == colour ? run + 1 : 0;
            if (run > best) best = run;
        }
    }
    return best;
}

bool Pixels::SaveBmp(const std::string& path) const {
    return SaveBmp32(path, width_, height_, rgb_);
}

bool SaveBmp32(const std::string& path, int width, int height, const std::vector<uint32_t>& rgb) {
    if (rgb.empty() || rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return false;
    }
    const uint32_t imageSize = static_cast<uint32_t>(rgb.size() * 4);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + imageSize;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = imageSize;
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!out) return false;
    return std::fwrite(&file, sizeof file, 1, out.get()) == 1 &&
           std::fwrite(&header, sizeof header, 1, out.get()) == 1 &&
           std::fwrite(rgb.data(), imageSize, 1, out.get()) == 1;
}

std::vector<std::pair<std::string, int>> ListColumns(HWND list) {
    std::vector<std::pair<std::string, int>> columns;
    for (int c = 0;; ++c) {
        char text[256] = {};
        LVCOLUMNA info{};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = text;
        info.cchTextMax = sizeof text;
        if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(c),
                          reinterpret_cast<LPARAM>(&info))) {
            return columns;
        }
        columns.emplace_back(text, info.cx);
    }
}

RECT RectIn(HWND control, HWND window) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace qm::ui::testing
