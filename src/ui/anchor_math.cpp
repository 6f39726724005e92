#include "ui/anchor_math.h"

#include <algorithm>

namespace qm::ui {

AnchorDelta ComputeAnchorDelta(const AnchorSizes& sizes, int newWidth, int newHeight,
                               bool followWithoutMinimum) {
    if (followWithoutMinimum) return {newWidth - sizes.width, newHeight - sizes.height};
    return {std::max(newWidth, sizes.minWidth) - std::max(sizes.width, sizes.minWidth),
            std::max(newHeight, sizes.minHeight) - std::max(sizes.height, sizes.minHeight)};
}

AnchorRect ApplyAnchor(AnchorRect rect, unsigned flags, AnchorDelta delta) {
    if (flags & kStretchHeight) rect.bottom += delta.dy;
    if (flags & kStretchWidth) rect.right += delta.dx;
    if (flags & kMoveDown) {
        rect.top += delta.dy;
        rect.bottom += delta.dy;
    }
    if (flags & kMoveRight) {
        rect.left += delta.dx;
        rect.right += delta.dx;
    }
    return rect;
}

}  // namespace qm::ui
