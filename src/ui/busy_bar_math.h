// The busy bar's state and arithmetic, kept apart from its window so that the
// block geometry, the comet, the animation step and the reset can be checked
// without a window system.
#pragma once

#include <optional>
#include <vector>

#include "ui/colour.h"

namespace qm::ui {

enum BusyMode { kBusyAnimation = 1, kProgressDisplay = 2 };
// How the busy animation moves: run through the row and start again, wrap
// round forwards, wrap round backwards.
enum BusyType { kRunThrough = 1, kWrapForwards = 2, kWrapBackwards = 4 };
enum BusyStyle { kComet = 1, kFilledBar = 2 };

struct BusyBarState {
    int blockCount = 10;
    int position = 0;  // the comet's head, or the current value in progress mode
    int direction = 1;
    int gap = 1;
    int mode = kBusyAnimation;
    int type = kRunThrough;
    int style = kComet;
    int spanFactor = 5;
    int low = 0;
    int high = 100;
    double blockWidth = 0;
    double blockHeight = 0;
};

struct BlockRect {
    int left, top, right, bottom;
};

// The comet's colours from the head backwards.
inline constexpr Colour kCometColours[7] = {
    Rgb(40, 255, 40),   Rgb(40, 255, 40),   Rgb(80, 253, 80),   Rgb(120, 255, 120),
    Rgb(160, 255, 160), Rgb(200, 255, 200), Rgb(230, 255, 230),
};

// Block width and height from the client size; a block count below 1 gives
// blocks of width 0 rather than a division by zero.
void RecalculateGeometry(BusyBarState& state, int clientWidth, int clientHeight);

// Blocks per busy cycle: the block count for the comet, span factor times
// block count for the filled bar.
int CycleLength(const BusyBarState& state);

// Rectangles of all blocks, left to right. Block 0 starts at x = 1; block
// i > 0 at i * (gap + block width + 1), so the row runs about one pixel per
// block past the control's right edge.
std::vector<BlockRect> BlockRectangles(const BusyBarState& state);

// The colour of block `index` in comet style, or none when the comet does
// not cover it.
std::optional<Colour> CometColour(const BusyBarState& state, int index);

void SetType(BusyBarState& state, int type);
void SetStyle(BusyBarState& state, int style);  // busy mode only; resets
void SetSpanFactor(BusyBarState& state, int factor);
void SetMode(BusyBarState& state, int mode);
void Reset(BusyBarState& state);

// One animation step (the caller invalidates the window).
void Step(BusyBarState& state);

// Full and partial blocks of the progress display and of the filled-bar
// style: blocks 0 .. fullBlocks-1 are full, block fullBlocks gets a fill of
// partialWidth pixels (0: none).
struct FillExtent {
    int fullBlocks;
    int partialWidth;
};
FillExtent FilledExtent(const BusyBarState& state);

}  // namespace qm::ui
