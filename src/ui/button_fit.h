// Fitting a button picture to a button of another width: the picture's left
// and right thirds stay as they are and its middle third is repeated.
#pragma once

#include <vector>

namespace qm::ui {

// One copy of a vertical strip of the source picture, at full source height.
struct StripCopy {
    int destX;
    int srcX;
    int width;
};

// The copies that build a button of width `buttonWidth` from a picture of
// width `pictureWidth`, in drawing order: the middle third tiled from x = 0
// while x is inside the button, then the left third at 0 and the right third
// ending at the button's right edge. A copy may reach past the right edge;
// the button-sized bitmap cuts it.
std::vector<StripCopy> FitThreePieces(int pictureWidth, int buttonWidth);

}  // namespace qm::ui
