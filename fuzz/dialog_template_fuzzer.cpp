// The dialog template reader on any bytes, in the classic and the extended
// form (the first four bytes choose): nothing is read outside them, and the
// dialog-unit arithmetic the layout makes from a template stays defined
// for any of its numbers.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "ui/dialog_template.h"

namespace {

// Lays out one rectangle as the dialog does, at the resolutions a desktop
// may have.
void LayOut(int x, int y, int cx, int cy, int points) {
    for (double dpi : {96.0, 120.0, 144.0, 480.0}) {
        const int height = qm::ui::FontHeightForPoints(points, dpi);
        // An average letter of a font is about half as wide as it is high.
        const int across = qm::ui::HorizontalBaseUnit(26 * (height < 0 ? -height : height));
        const int down = height < 0 ? -height : height;
        (void)qm::ui::DialogUnitsToPixels(x, across, 4);
        (void)qm::ui::DialogUnitsToPixels(cx, across, 4);
        (void)qm::ui::DialogUnitsToPixels(y, down, 8);
        (void)qm::ui::DialogUnitsToPixels(cy, down, 8);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parsed = qm::ui::ParseDialogTemplate(data, size);
    if (!parsed) return 0;
    const bool extendedMark =
        size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    qm::fuzz::Check(parsed->extended == extendedMark, "the template's form was taken wrongly");
    // Every item takes at least 18 bytes of the template.
    qm::fuzz::Check(parsed->items.size() <= size / 18, "more items than the bytes can hold");
    qm::fuzz::Check(parsed->font.points >= 0, "a negative point size");
    LayOut(parsed->x, parsed->y, parsed->cx, parsed->cy, parsed->font.points);
    for (const qm::ui::TemplateItem& item : parsed->items)
        LayOut(item.x, item.y, item.cx, item.cy, parsed->font.points);
    return 0;
}
