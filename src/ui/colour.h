// Colours as the window system stores them (0x00BBGGRR), so that the
// portable arithmetic and the Win32 controls share one table of values.
#pragma once

#include <cstdint>

namespace qm::ui {

using Colour = uint32_t;

constexpr Colour Rgb(int r, int g, int b) {
    return static_cast<Colour>(r & 0xFF) | (static_cast<Colour>(g & 0xFF) << 8) |
           (static_cast<Colour>(b & 0xFF) << 16);
}

constexpr int Red(Colour c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int Green(Colour c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int Blue(Colour c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

// The look shared by the pages.
constexpr Colour kPageColour = Rgb(223, 238, 248);
constexpr Colour kTitleColour = Rgb(89, 136, 204);

}  // namespace qm::ui
