// The label's text layout and point-size arithmetic, free of the window
// system (the flag values are the window system's own).
#pragma once

#include <cstdint>
#include <string>

namespace qm::ui {

// DrawText flags for a label: word breaking always; alignment from the
// static style (centred, right or left); tab expansion when the text has a
// tab; with the centre-image style, a text without a CR LF line break is
// centred on one line both ways, and one with a break is centred across.
unsigned LabelDrawFlags(uint32_t staticStyle, const std::string& text);

// Cell height of a point font, as a point font is made for the screen:
// -(points * 10 * dotsPerInch / 720), rounded to nearest.
int PointFontHeight(int points, int dotsPerInch);

}  // namespace qm::ui
