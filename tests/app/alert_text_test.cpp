// The alert popup's text and placement.
#include "app/alert_text.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(AlertText, ShowsTheCountAlsoWhenItIsZero) {
    EXPECT_EQ(AlertText(0), "Quillmend has found 0 of errors,\nclick here for more information");
    EXPECT_EQ(AlertText(1234),
              "Quillmend has found 1234 of errors,\nclick here for more information");
    EXPECT_EQ(AlertText(-2), "Quillmend has found -2 of errors,\nclick here for more information");
}

TEST(AlertPosition, IsTheWorkAreasSizeLessThePopups) {
    // A 1024 x 768 screen; the popup is 266 x 77 pixels.
    const struct {
        const char* taskbar;
        ScreenRect workArea;
        ScreenPoint expected;
    } cases[] = {
        {"bottom", {0, 0, 1024, 738}, {758, 661}},
        {"right", {0, 0, 964, 768}, {698, 691}},
        // Left and top: the popup stays inside the work area, away from the
        // screen's right or bottom edge by the taskbar's width or height.
        {"left", {60, 0, 1024, 768}, {698, 691}},
        {"top", {0, 30, 1024, 768}, {758, 661}},
        {"none", {0, 0, 1024, 768}, {758, 691}},
    };
    for (const auto& c : cases) {
        const ScreenPoint p = AlertPosition(c.workArea, 266, 77);
        EXPECT_EQ(p.x, c.expected.x) << c.taskbar;
        EXPECT_EQ(p.y, c.expected.y) << c.taskbar;
        EXPECT_GE(p.x, c.workArea.left) << c.taskbar;
        EXPECT_LE(p.x + 266, c.workArea.right) << c.taskbar;
        EXPECT_GE(p.y, c.workArea.top) << c.taskbar;
        EXPECT_LE(p.y + 77, c.workArea.bottom) << c.taskbar;
    }
}

TEST(AlertTextRect, MovesOnlyTheLeftAndTopEdgesIn) {
    const ScreenRect r = AlertTextRect({0, 0, 266, 77});
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right, 266);
    EXPECT_EQ(r.bottom, 77);
}

}  // namespace
}  // namespace qm
