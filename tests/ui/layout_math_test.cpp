#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/anchor_math.h"
#include "ui/button_fit.h"
#include "ui/label_layout.h"
#include "ui/link_cells.h"

namespace qm::ui {
namespace {

// Paints the copies onto a row of `buttonWidth` columns and returns, per
// column, the source column it shows (-1: never painted).
std::vector<int> Compose(int pictureWidth, int buttonWidth) {
    std::vector<int> row(static_cast<size_t>(buttonWidth), -1);
    for (const StripCopy& c : FitThreePieces(pictureWidth, buttonWidth)) {
        for (int i = 0; i < c.width; ++i) {
            const int x = c.destX + i;
            if (x >= 0 && x < buttonWidth) row[static_cast<size_t>(x)] = c.srcX + i;
        }
    }
    return row;
}

TEST(ButtonFit, SideButtonLosesOneMiddleColumn) {
    // A 94-pixel side-button picture on a 93-pixel button (62 dialog units).
    const std::vector<int> row = Compose(94, 93);
    for (int x = 0; x <= 60; ++x) EXPECT_EQ(row[x], x) << x;
    for (int x = 61; x < 93; ++x) EXPECT_EQ(row[x], x + 1) << x;  // the right third
}

TEST(ButtonFit, WideButtonRepeatsTheMiddle) {
    const std::vector<int> row = Compose(94, 200);
    for (int x = 0; x < 31; ++x) EXPECT_EQ(row[x], x);
    // The middle third (columns 31 to 61) repeats until the right third,
    // which cuts its last repetition.
    for (int x = 31; x < 168; ++x) EXPECT_EQ(row[x], 31 + x % 31) << x;
    for (int x = 168; x < 200; ++x) EXPECT_EQ(row[x], x - 168 + 62) << x;
}

TEST(ButtonFit, SameWidthAndNarrowerButtons) {
    const std::vector<int> same = Compose(39, 39);
    for (int x = 0; x < 39; ++x) EXPECT_EQ(same[x], x);
    // A picture wider than the button keeps its ends.
    const std::vector<int> narrow = Compose(94, 40);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(narrow[x], x);
    for (int x = 8; x < 40; ++x) EXPECT_EQ(narrow[x], x + 54);
}

TEST(ButtonFit, TinyPicturesEnd) {
    EXPECT_TRUE(FitThreePieces(0, 50).empty());
    EXPECT_TRUE(FitThreePieces(10, 0).empty());
    // One column has no middle to tile; only the right piece is left.
    EXPECT_EQ(Compose(1, 3), (std::vector<int>{-1, -1, 0}));
    // Two columns: no left piece, a one-column middle and right.
    EXPECT_EQ(Compose(2, 5), (std::vector<int>{0, 0, 0, 0, 1}));
}

TEST(AnchorDelta, StopsAtTheMinimumAndResumesAboveIt) {
    AnchorSizes sizes{300, 200, 300, 200};
    struct Step {
        int width, height, dx, dy;
    } steps[] = {
        {350, 260, 50, 60},
        {250, 150, -50, -60},  // back to the minimum, not below it
        {240, 140, 0, 0},      // already at the minimum
        {320, 205, 20, 5},     // only the growth above the minimum counts
    };
    for (const Step& s : steps) {
        const AnchorDelta d = ComputeAnchorDelta(sizes, s.width, s.height, false);
        EXPECT_EQ(d.dx, s.dx) << s.width;
        EXPECT_EQ(d.dy, s.dy) << s.height;
        sizes.width = s.width;
        sizes.height = s.height;
    }
    const AnchorDelta free = ComputeAnchorDelta({320, 205, 300, 200}, 240, 140, true);
    EXPECT_EQ(free.dx, -80);
    EXPECT_EQ(free.dy, -65);
}

TEST(AnchorApply, EachFlagMovesItsEdges) {
    const AnchorRect r{10, 20, 110, 70};
    const AnchorDelta d{5, 7};
    struct Case {
        unsigned flags;
        AnchorRect expected;
    } cases[] = {
        {0, {10, 20, 110, 70}},
        {kMoveRight, {15, 20, 115, 70}},
        {kMoveDown, {10, 27, 110, 77}},
        {kStretchWidth, {10, 20, 115, 70}},
        {kStretchHeight, {10, 20, 110, 77}},
        {kStretchWidth | kStretchHeight, {10, 20, 115, 77}},  // the details list
        {kMoveRight | kMoveDown, {15, 27, 115, 77}},          // the details buttons
        {kMoveRight | kStretchWidth, {15, 20, 120, 70}},      // right edge moves twice
        {kMoveDown | kStretchHeight, {10, 27, 110, 84}},
    };
    for (const Case& c : cases) {
        const AnchorRect out = ApplyAnchor(r, c.flags, d);
        EXPECT_EQ(out.left, c.expected.left) << c.flags;
        EXPECT_EQ(out.top, c.expected.top) << c.flags;
        EXPECT_EQ(out.right, c.expected.right) << c.flags;
        EXPECT_EQ(out.bottom, c.expected.bottom) << c.flags;
    }
}

TEST(LabelLayout, DrawFlagsFromStaticStyle) {
    constexpr unsigned kWordBreak = 0x10, kCenter = 0x1, kRight = 0x2, kVCenter = 0x4,
                       kSingleLine = 0x20, kExpandTabs = 0x40;
    struct Case {
        uint32_t style;
        const char* text;
        unsigned flags;
    } cases[] = {
        {0x0, "Settings", kWordBreak},            // SS_LEFT
        {0x1, "Settings", kWordBreak | kCenter},  // SS_CENTER
        {0x2, "Settings", kWordBreak | kRight},   // SS_RIGHT
        {0xC, "Settings", kWordBreak},            // SS_LEFTNOWORDWRAP: left
        {0x100, "Settings", kWordBreak},          // SS_NOTIFY changes nothing
        {0x0, "a\tb", kWordBreak | kExpandTabs},
        {0x200, "Initializing...", kWordBreak | kCenter | kVCenter | kSingleLine},
        {0x202, "one\r\ntwo", kWordBreak | kCenter},  // a line break: across only
        {0x200, "one\ntwo", kWordBreak | kCenter | kVCenter | kSingleLine},
    };
    for (const Case& c : cases) EXPECT_EQ(LabelDrawFlags(c.style, c.text), c.flags) << c.text;
}

TEST(LabelLayout, PointFontHeights) {
    EXPECT_EQ(PointFontHeight(15, 96), -20);  // page titles
    EXPECT_EQ(PointFontHeight(10, 96), -13);  // body lines
    EXPECT_EQ(PointFontHeight(9, 96), -12);   // status line
    EXPECT_EQ(PointFontHeight(8, 96), -11);
    EXPECT_EQ(PointFontHeight(10, 120), -17);
    EXPECT_EQ(PointFontHeight(-10, 96), -13);
}

TEST(LinkCells, KeysAndColumnsUnderTheCursor) {
    EXPECT_EQ(CellKey(3, 2), "3 x 2");
    EXPECT_EQ(CellKey(0, 0), "0 x 0");
    EXPECT_NE(CellKey(1, 23), CellKey(12, 3));
    // The category list's columns: 200, 170 and 115 pixels.
    const auto widths = [](int column) {
        static const int w[] = {200, 170, 115};
        return column < 3 ? w[column] : 0;
    };
    struct Case {
        int cursorX, firstColumnX, column;
    } cases[] = {
        {100, 100, 0},
        {299, 100, 0},
        {300, 100, 1},
        {469, 100, 1},
        {470, 100, 2},
        {584, 100, 2},
        {585, 100, -1},  // right of the last column
        {99, 100, -1},
        // Scrolled 250 pixels to the right: column 0 starts left of the window.
        {110, -150, 1},
        {230, -150, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ColumnUnderCursor(c.cursorX, c.firstColumnX, widths).value_or(-1), c.column)
            << c.cursorX << " from " << c.firstColumnX;
    }
}

}  // namespace
}  // namespace qm::ui
