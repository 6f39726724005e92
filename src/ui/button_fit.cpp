#include "ui/button_fit.h"

namespace qm::ui {

std::vector<StripCopy> FitThreePieces(int pictureWidth, int buttonWidth) {
    std::vector<StripCopy> copies;
    if (pictureWidth <= 0 || buttonWidth <= 0) return copies;
    const int firstCut = pictureWidth / 3;
    const int secondCut = (2 * pictureWidth) / 3;
    const int middleWidth = secondCut - firstCut;
    // A picture narrower than three pixels has no middle piece to repeat.
    if (middleWidth > 0) {
        for (int x = 0; x < buttonWidth; x += middleWidth)
            copies.push_back({x, firstCut, middleWidth});
    }
    if (firstCut > 0) copies.push_back({0, 0, firstCut});
    const int rightWidth = pictureWidth - secondCut;
    copies.push_back({buttonWidth - rightWidth, secondCut, rightWidth});
    return copies;
}

}  // namespace qm::ui
