#include "ui/label_layout.h"

namespace qm::ui {
namespace {

constexpr uint32_t kSsTypeMask = 0x1F;
constexpr uint32_t kSsCenter = 0x1;
constexpr uint32_t kSsRight = 0x2;
constexpr uint32_t kSsCenterImage = 0x200;

constexpr unsigned kDtCenter = 0x1;
constexpr unsigned kDtRight = 0x2;
constexpr unsigned kDtVCenter = 0x4;
constexpr unsigned kDtWordBreak = 0x10;
constexpr unsigned kDtSingleLine = 0x20;
constexpr unsigned kDtExpandTabs = 0x40;

}  // namespace

unsigned LabelDrawFlags(uint32_t staticStyle, const std::string& text) {
    unsigned flags = kDtWordBreak;
    const uint32_t type = staticStyle & kSsTypeMask;
    if (type == kSsCenter) {
        flags |= kDtCenter;
    } else if (type == kSsRight) {
        flags |= kDtRight;
    }
    if (text.find('\t') != std::string::npos) flags |= kDtExpandTabs;
    if (staticStyle & kSsCenterImage) {
        flags &= ~kDtRight;
        flags |= kDtCenter;
        if (text.find("\r\n") == std::string::npos) flags |= kDtVCenter | kDtSingleLine;
    }
    return flags;
}

int PointFontHeight(int points, int dotsPerInch) {
    const long long product = static_cast<long long>(points) * 10 * dotsPerInch;
    const long long magnitude = (product < 0 ? -product : product) + 360;
    return -static_cast<int>(magnitude / 720);
}

}  // namespace qm::ui
