// The look of one entry of the details dialog's list, in pixels relative to
// the entry's top-left corner: its tick box, the tick inside it, where the
// three text lines go, and how tall the entry is.
#pragma once

#include <cstdint>
#include <string>

#include "scan/found_item.h"

namespace qm::details_entry {

struct Box {
    int left, top, right, bottom;
};
struct Point {
    int x, y;
};

// The tick box: a dark square with a white inside.
inline constexpr Box kTickFrame{3, 6, 17, 19};
inline constexpr Box kTickInside{4, 7, 16, 18};
// The tick: two strokes through these three points.
inline constexpr Point kTick[3] = {{5, 12}, {8, 15}, {14, 9}};
inline constexpr int kTickPenWidth = 2;

// The text sits inside the entry shrunk by these margins.
inline constexpr int kTextLeft = 50;
inline constexpr int kTextTop = 15;
inline constexpr int kTextRight = 20;
inline constexpr int kTextBottom = 15;
// Added to the height of the entry's detail text.
inline constexpr int kHeightPadding = 10;
// The tallest entry a list box can hold.
inline constexpr int kMaxHeight = 255;

// Colours as 0x00BBGGRR.
inline constexpr uint32_t kSelectedBackground = 0xFFD8C9;  // RGB(201, 216, 255)
inline constexpr uint32_t kBackground = 0xFFFFFF;
inline constexpr uint32_t kTickFrameColour = 0x80511C;  // RGB(28, 81, 128)
inline constexpr uint32_t kTickColour = 0x21A121;       // RGB(33, 161, 33)

// Whether a point relative to the entry's top-left corner lies strictly
// inside the tick box's frame (its border itself does not count).
bool InTickBox(int x, int y);

// The three lines an entry shows: key, data, value name.
std::string EntryText(const FoundItem& item);

// An entry's height: the detail text's wrapped height plus the padding, but
// never less than the three shown lines need inside their margins (the
// detail text of a Shared DLLs item has three short lines and would cut the
// shown ones), and never more than a list box entry may be.
int EntryHeight(int detailTextHeight, int shownTextHeight);

// The width the shown lines wrap in, for an entry `entryWidth` wide.
int ShownTextWidth(int entryWidth);

}  // namespace qm::details_entry
