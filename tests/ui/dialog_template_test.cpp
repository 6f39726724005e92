#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog_template.h"

namespace qm::ui {
namespace {

// Writes template bytes in the resource layout.
class Bytes {
  public:
    Bytes& Word(uint16_t w) {
        b_.push_back(static_cast<uint8_t>(w));
        b_.push_back(static_cast<uint8_t>(w >> 8));
        return *this;
    }
    Bytes& DWord(uint32_t d) {
        return Word(static_cast<uint16_t>(d)).Word(static_cast<uint16_t>(d >> 16));
    }
    Bytes& Byte(uint8_t v) {
        b_.push_back(v);
        return *this;
    }
    Bytes& Text(const std::u16string& s) {
        for (char16_t c : s) Word(c);
        return Word(0);
    }
    Bytes& Number(uint16_t n) { return Word(0xFFFF).Word(n); }
    Bytes& Rect(int x, int y, int cx, int cy) {
        return Word(static_cast<uint16_t>(x))
            .Word(static_cast<uint16_t>(y))
            .Word(static_cast<uint16_t>(cx))
            .Word(static_cast<uint16_t>(cy));
    }
    Bytes& Align() {
        while (b_.size() % 4) b_.push_back(0);
        return *this;
    }
    const std::vector<uint8_t>& Data() const { return b_; }

  private:
    std::vector<uint8_t> b_;
};

constexpr uint32_t kPopupCaption = 0x80C00000;  // WS_POPUP | WS_CAPTION

// An extended template like the main window's: set-font style, a menu
// named by number, and items with class numbers, class texts, titles that
// are numbers (a picture static) and creation data.
std::vector<uint8_t> ExtendedTemplate() {
    Bytes b;
    b.Word(1)
        .Word(0xFFFF)
        .DWord(0)
        .DWord(0x40000 /*WS_EX_APPWINDOW*/)
        .DWord(kPopupCaption | kDsSetFont)
        .Word(3)
        .Rect(0, 0, 414, 286)
        .Number(77)
        .Word(0)
        .Text(u"Quillmend")
        .Word(8)
        .Word(700)
        .Byte(1)
        .Byte(0)
        .Text(u"MS Sans Serif");
    b.Align()
        .DWord(0)
        .DWord(0)
        .DWord(0x50010000)
        .Rect(9, 54, 62, 37)
        .DWord(1099)
        .Number(0x80)
        .Word(0)
        .Word(0);
    b.Align()
        .DWord(0)
        .DWord(0x200)
        .DWord(0x5000000E)
        .Rect(34, 24, 52, 46)
        .DWord(0xFFFFFFFF)
        .Number(0x82)
        .Number(387)
        .Word(0);
    b.Align()
        .DWord(0)
        .DWord(0)
        .DWord(0x50000000)
        .Rect(-5, 62, 323, 124)
        .DWord(1105)
        .Text(u"SysListView32")
        .Text(u"x")
        .Word(3)
        .Byte(1)
        .Byte(2)
        .Byte(3);
    return b.Data();
}

TEST(DialogTemplate, ReadsTheExtendedForm) {
    const std::vector<uint8_t> bytes = ExtendedTemplate();
    const auto t = ParseDialogTemplate(bytes.data(), bytes.size());
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->extended);
    EXPECT_EQ(t->style, kPopupCaption | kDsSetFont);
    EXPECT_EQ(t->exStyle, 0x40000u);
    EXPECT_TRUE(t->hasMenu);
    EXPECT_EQ(t->cx, 414);
    EXPECT_EQ(t->cy, 286);
    EXPECT_EQ(t->font.points, 8);
    EXPECT_EQ(t->font.weight, 700);
    EXPECT_TRUE(t->font.italic);
    EXPECT_EQ(t->font.charset, 0);
    EXPECT_EQ(t->font.face, u"MS Sans Serif");
    ASSERT_EQ(t->items.size(), 3u);
    EXPECT_EQ(t->items[0].id, 1099);
    EXPECT_EQ(t->items[0].x, 9);
    EXPECT_EQ(t->items[0].y, 54);
    EXPECT_EQ(t->items[0].cx, 62);
    EXPECT_EQ(t->items[0].cy, 37);
    EXPECT_EQ(t->items[1].id, -1);  // the id shared by static items
    EXPECT_EQ(t->items[1].exStyle, 0x200u);
    EXPECT_EQ(t->items[1].style, 0x5000000Eu);
    EXPECT_EQ(t->items[2].x, -5);
    EXPECT_EQ(t->items[2].id, 1105);
}

TEST(DialogTemplate, WithoutSetFontTheFontIsEightPointTahoma) {
    Bytes b;  // classic form, no set-font style, no menu
    b.DWord(kPopupCaption).DWord(0).Word(2).Rect(10, 10, 100, 50).Word(0).Word(0).Text(u"T");
    b.Align()
        .DWord(0x50000000)
        .DWord(0)
        .Rect(10, 20, 40, 12)
        .Word(1000)
        .Number(0x82)
        .Text(u"a")
        .Word(0);
    b.Align().DWord(0x50000000).DWord(0).Rect(1, 2, 3, 4).Word(0xFFFF).Number(0x82).Word(0).Word(0);
    const auto t = ParseDialogTemplate(b.Data().data(), b.Data().size());
    ASSERT_TRUE(t);
    EXPECT_FALSE(t->extended);
    EXPECT_FALSE(t->hasMenu);
    EXPECT_EQ(t->font.points, 8);
    EXPECT_EQ(t->font.weight, 400);
    EXPECT_FALSE(t->font.italic);
    EXPECT_EQ(t->font.face, u"Tahoma");
    EXPECT_EQ(FontHeightForPoints(t->font.points, 96.0), -11);
    ASSERT_EQ(t->items.size(), 2u);
    EXPECT_EQ(t->items[0].id, 1000);
    EXPECT_EQ(t->items[1].id, 0xFFFF);  // the classic form keeps 16 bits
    // Tahoma 8 at 96 dpi has base units of 6 x 13 pixels.
    EXPECT_EQ(DialogUnitsToPixels(t->items[0].x, 6, 4), 15);
    EXPECT_EQ(DialogUnitsToPixels(t->items[0].y, 13, 8), 33);  // 32.5 rounds up
    EXPECT_EQ(DialogUnitsToPixels(t->items[0].cx, 6, 4), 60);
    EXPECT_EQ(DialogUnitsToPixels(t->items[0].cy, 13, 8), 20);  // 19.5 rounds up
}

TEST(DialogTemplate, ClassicFontHasWeightZeroAndNegativeSizesAreMagnitudes) {
    Bytes b;
    b.DWord(kPopupCaption | kDsSetFont)
        .DWord(0)
        .Word(0)
        .Rect(0, 0, 10, 10)
        .Word(0)
        .Word(0)
        .Word(0)
        .Word(static_cast<uint16_t>(-9))
        .Text(u"Arial");
    const auto t = ParseDialogTemplate(b.Data().data(), b.Data().size());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->font.points, 9);
    EXPECT_EQ(t->font.weight, 0);
    EXPECT_EQ(t->font.face, u"Arial");
}

TEST(DialogTemplate, EveryCutShortTemplateIsRefused) {
    const std::vector<uint8_t> bytes = ExtendedTemplate();
    // The last item's creation data ends the template; every shorter copy
    // (on the heap, so that a read past its end is caught) fails cleanly.
    for (size_t n = 0; n < bytes.size(); ++n) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        EXPECT_FALSE(ParseDialogTemplate(cut.data(), cut.size())) << n;
    }
    EXPECT_FALSE(ParseDialogTemplate(nullptr, 10));
    // A count larger than the items present fails too.
    std::vector<uint8_t> more = bytes;
    more[16] = 200;
    EXPECT_FALSE(ParseDialogTemplate(more.data(), more.size()));
}

TEST(DialogUnits, BaseUnitsAndRounding) {
    EXPECT_EQ(FontHeightForPoints(8, 96.0), -11);
    EXPECT_EQ(FontHeightForPoints(15, 96.0), -20);
    EXPECT_EQ(FontHeightForPoints(10, 96.0), -13);
    EXPECT_EQ(FontHeightForPoints(8, 120.0), -13);
    EXPECT_EQ(FontHeightForPoints(8, 144.0), -16);
    // 52 letters of 8-point MS Sans Serif or Tahoma measure 323 to 330 pixels.
    EXPECT_EQ(HorizontalBaseUnit(323), 6);
    EXPECT_EQ(HorizontalBaseUnit(330), 6);
    EXPECT_EQ(HorizontalBaseUnit(363), 7);
    EXPECT_EQ(HorizontalBaseUnit(311), 6);  // 11 + 1, halved
    EXPECT_EQ(HorizontalBaseUnit(285), 5);
    // The main window: 414 x 286 units give the 621 x 465 pixel background.
    EXPECT_EQ(DialogUnitsToPixels(414, 6, 4), 621);
    EXPECT_EQ(DialogUnitsToPixels(286, 13, 8), 465);
    EXPECT_EQ(DialogUnitsToPixels(54, 13, 8), 88);
    EXPECT_EQ(DialogUnitsToPixels(37, 13, 8), 60);
    EXPECT_EQ(DialogUnitsToPixels(63, 6, 4), 95);  // 94.5 rounds up
    EXPECT_EQ(DialogUnitsToPixels(-3, 6, 4), -4);  // -4.5 + 0.5 truncates to -4
}

}  // namespace
}  // namespace qm::ui
