// Reading dialog templates (the classic and the extended resource layout)
// and the dialog-unit arithmetic that lays a dialog out from its template's
// font at a chosen resolution.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::ui {

inline constexpr uint32_t kDsSetFont = 0x40;

struct TemplateFont {
    int points = 8;
    int weight = 400;
    bool italic = false;
    uint8_t charset = 1;
    std::u16string face = u"Tahoma";
};

struct TemplateItem {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    // As the window system gives it back from the control: a full 32-bit
    // value in the extended form (so -1 stays -1), 16 bits in the classic.
    int32_t id = 0;
};

struct DialogTemplate {
    bool extended = false;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    bool hasMenu = false;
    int x = 0, y = 0, cx = 0, cy = 0;
    // From the template with the set-font style; 8-point Tahoma, weight 400,
    // upright otherwise. A negative point size is stored as its magnitude.
    TemplateFont font;
    std::vector<TemplateItem> items;
};

// Parses a template; nothing when the bytes end before the template does.
std::optional<DialogTemplate> ParseDialogTemplate(const uint8_t* data, size_t size);

// Font cell height for a point size at a resolution in dots per inch:
// 8 points at 96 dpi give -11.
int FontHeightForPoints(int points, double dotsPerInch);

// Horizontal dialog base unit from the width of the 52 letters a-z A-Z.
int HorizontalBaseUnit(int widthOf52Letters);
inline constexpr char kBaseUnitLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Dialog units to pixels: units * baseUnit / divisor (4 across, 8 down),
// rounded by adding one half and truncating.
int DialogUnitsToPixels(int units, int baseUnit, int divisor);

}  // namespace qm::ui
