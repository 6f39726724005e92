// The alert popup's text and where it goes, free of the window system.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// The popup's closing timer: id and lifetime.
inline constexpr unsigned kAlertTimerId = 100;
inline constexpr unsigned kAlertLifetimeMs = 60000;
// How far the text stands in from the popup's left and top edges.
inline constexpr int kAlertTextInset = 10;

// "Quillmend has found <count> of errors,\nclick here for more information".
std::string AlertText(int32_t count);

// The popup's top-left corner for a work area and the popup's size: the
// work area's width and height less the popup's. With the taskbar at the
// bottom or right this is the bottom-right corner of the work area.
ScreenPoint AlertPosition(const ScreenRect& workArea, int width, int height);

// The rectangle the text is drawn in: the client rectangle with its left
// and top edges moved inwards.
ScreenRect AlertTextRect(const ScreenRect& client);

}  // namespace qm
