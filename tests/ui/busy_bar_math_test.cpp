#include <gtest/gtest.h>

#include <vector>

#include "ui/busy_bar_math.h"

namespace qm::ui {
namespace {

// The Find & Fix page's bar: 180 x 9 dialog units in 8-point MS Sans Serif
// at 96 dpi (270 x 15 pixels), configured as the page does (type 1, style 1,
// 20 blocks).
BusyBarState FindFixBar() {
    BusyBarState s;  // constructed with 10 blocks at position 0
    SetType(s, kRunThrough);
    SetStyle(s, kComet);
    s.blockCount = 20;
    RecalculateGeometry(s, 270, 15);
    return s;
}

TEST(BusyBarGeometry, FindFixBarRunsPastItsRightEdge) {
    const BusyBarState s = FindFixBar();
    EXPECT_DOUBLE_EQ(s.blockWidth, 12.5);
    EXPECT_DOUBLE_EQ(s.blockHeight, 15);
    const std::vector<BlockRect> blocks = BlockRectangles(s);
    ASSERT_EQ(blocks.size(), 20u);
    EXPECT_EQ(blocks[0].left, 1);
    EXPECT_EQ(blocks[0].top, 2);
    EXPECT_EQ(blocks[0].right, 11);
    EXPECT_EQ(blocks[0].bottom, 13);
    // Block i starts i * (gap + width + 1) = i * 14.5 pixels in.
    EXPECT_EQ(blocks[1].left, 14);
    EXPECT_EQ(blocks[1].right, 27);
    EXPECT_EQ(blocks[3].left, 43);
    EXPECT_EQ(blocks[3].right, 56);
    // The last block lies wholly beyond the 270 pixels; the one before it
    // is cut by the edge.
    EXPECT_EQ(blocks[19].left, 275);
    EXPECT_EQ(blocks[18].left, 261);
    EXPECT_EQ(blocks[18].right, 273);
    for (const BlockRect& b : blocks) {
        EXPECT_EQ(b.top, 2);
        EXPECT_EQ(b.bottom, 13);
    }
}

TEST(BusyBarGeometry, NoBlocksGiveNoRectangles) {
    BusyBarState s;
    s.blockCount = 0;
    RecalculateGeometry(s, 100, 10);
    EXPECT_EQ(s.blockWidth, 0);
    EXPECT_TRUE(BlockRectangles(s).empty());
}

TEST(BusyBarStep, CometRunsOneToTwentyFiveAndRestarts) {
    BusyBarState s = FindFixBar();
    EXPECT_EQ(s.position, -1);  // the style's reset
    std::vector<int> seen;
    for (int i = 0; i < 60; ++i) {
        Step(s);
        seen.push_back(s.position);
    }
    std::vector<int> expected;
    for (int p = 0; p <= 25; ++p) expected.push_back(p);  // first run from the reset
    for (int p = 1; p <= 25; ++p) expected.push_back(p);
    for (int p = 1; p <= 9; ++p) expected.push_back(p);
    EXPECT_EQ(seen, expected);
}

TEST(BusyBarStep, WrapTypesCycleThroughTheRow) {
    BusyBarState forwards = FindFixBar();
    SetType(forwards, kWrapForwards);
    Reset(forwards);
    BusyBarState backwards = FindFixBar();
    SetType(backwards, kWrapBackwards);
    Reset(backwards);
    EXPECT_EQ(backwards.position, 20);
    EXPECT_EQ(backwards.direction, -1);
    for (int i = 0; i < 45; ++i) {
        Step(forwards);
        Step(backwards);
        EXPECT_EQ(forwards.position, i % 20) << "step " << i;
        EXPECT_EQ(backwards.position, 19 - i % 20) << "step " << i;
    }
}

TEST(BusyBarStep, RunThroughTurnsRoundBelowMinusOne) {
    BusyBarState s = FindFixBar();
    s.position = -3;
    s.direction = -1;
    Step(s);
    EXPECT_EQ(s.direction, 1);
    EXPECT_EQ(s.position, -2);
}

TEST(BusyBarStep, ProgressModeOnlyAddsTheDirection) {
    BusyBarState s = FindFixBar();
    SetMode(s, kProgressDisplay);
    s.position = 500;
    Step(s);
    EXPECT_EQ(s.position, 501);
}

TEST(BusyBarComet, ColoursFromTheHeadBackwards) {
    BusyBarState s = FindFixBar();
    s.position = 10;
    EXPECT_FALSE(CometColour(s, 11));
    EXPECT_FALSE(CometColour(s, 3));
    const Colour forwards[] = {Rgb(40, 255, 40),   Rgb(40, 255, 40),   Rgb(80, 253, 80),
                               Rgb(120, 255, 120), Rgb(160, 255, 160), Rgb(200, 255, 200),
                               Rgb(230, 255, 230)};
    for (int behind = 0; behind < 7; ++behind) {
        EXPECT_EQ(CometColour(s, 10 - behind), forwards[behind]) << behind;
    }
    // Moving backwards, the same blocks take the table in reverse order.
    s.direction = -1;
    for (int behind = 0; behind < 7; ++behind) {
        EXPECT_EQ(CometColour(s, 10 - behind), forwards[6 - behind]) << behind;
    }
}

TEST(BusyBarComet, PartlyOutsideTheRow) {
    BusyBarState s = FindFixBar();
    s.position = 2;  // entering: only blocks 0 to 2 exist under the comet
    EXPECT_EQ(CometColour(s, 0), Rgb(80, 253, 80));
    EXPECT_EQ(CometColour(s, 2), Rgb(40, 255, 40));
    s.position = -1;
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(CometColour(s, i)) << i;
    s.position = 25;  // leaving: the last tail block is on block 19
    EXPECT_EQ(CometColour(s, 19), Rgb(230, 255, 230));
    for (int i = 0; i < 19; ++i) EXPECT_FALSE(CometColour(s, i)) << i;
}

TEST(BusyBarSettings, StyleAndTypeFollowTheMode) {
    BusyBarState s = FindFixBar();
    s.spanFactor = 5;
    SetType(s, kWrapBackwards);
    SetStyle(s, kFilledBar);
    EXPECT_EQ(CycleLength(s), 100);
    EXPECT_EQ(s.position, 100);  // reset for type 4 with the filled bar
    EXPECT_EQ(s.direction, -1);
    SetSpanFactor(s, 2);
    EXPECT_EQ(s.position, 40);

    SetMode(s, kProgressDisplay);
    EXPECT_EQ(s.direction, 1);
    SetStyle(s, kComet);  // ignored outside busy mode
    EXPECT_EQ(s.style, kFilledBar);
    SetType(s, kWrapBackwards);
    EXPECT_EQ(s.direction, 1);
    s.position = 33;
    Reset(s);
    EXPECT_EQ(s.position, 0);
    EXPECT_EQ(s.direction, 1);
}

TEST(BusyBarFill, FullAndPartialBlocks) {
    BusyBarState s = FindFixBar();
    SetMode(s, kProgressDisplay);
    s.low = 0;
    s.high = 100;
    struct Case {
        int position, full, partial;
    } cases[] = {
        {0, 0, 0},    {35, 7, 0},   // exactly seven blocks
        {38, 7, 7},                 // 7.6 blocks: 0.6 of 12.5 pixels, truncated
        {100, 20, 0}, {-10, 0, 0},  // below the range draws nothing
    };
    for (const Case& c : cases) {
        s.position = c.position;
        const FillExtent e = FilledExtent(s);
        EXPECT_EQ(e.fullBlocks, c.full) << c.position;
        EXPECT_EQ(e.partialWidth, c.partial) << c.position;
    }
    s.high = s.low;  // an empty range draws nothing instead of dividing by zero
    EXPECT_EQ(FilledExtent(s).fullBlocks, 0);

    BusyBarState bar = FindFixBar();
    SetStyle(bar, kFilledBar);  // cycle of 5 x 20 steps
    bar.position = 50;
    EXPECT_EQ(FilledExtent(bar).fullBlocks, 10);
}

}  // namespace
}  // namespace qm::ui
