// The arithmetic of resize anchoring: how far the anchored controls move
// when the owner's client area changes size, never following it below the
// size it had when the layout was set up.
#pragma once

namespace qm::ui {

enum AnchorFlags : unsigned {
    kMoveRight = 1,      // move horizontally with the right edge
    kMoveDown = 2,       // move vertically with the bottom edge
    kStretchWidth = 4,   // stretch the width with the right edge
    kStretchHeight = 8,  // stretch the height with the bottom edge
};

struct AnchorRect {
    int left, top, right, bottom;
};

struct AnchorDelta {
    int dx, dy;
};

struct AnchorSizes {
    int width, height;        // the size at the last resize
    int minWidth, minHeight;  // the size when the layout was set up
};

// The change to apply for a new client size. Sizes below the minimum count
// as the minimum unless `followWithoutMinimum` is set.
AnchorDelta ComputeAnchorDelta(const AnchorSizes& sizes, int newWidth, int newHeight,
                               bool followWithoutMinimum);

// A control's rectangle moved and stretched by the delta as its flags say.
// With both kMoveRight and kStretchWidth the right edge moves twice.
AnchorRect ApplyAnchor(AnchorRect rect, unsigned flags, AnchorDelta delta);

}  // namespace qm::ui
