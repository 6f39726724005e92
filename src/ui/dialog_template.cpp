#include "ui/dialog_template.h"

#include <cstdlib>

namespace qm::ui {
namespace {

// Little-endian reads that fail instead of running past the end.
class TemplateReader {
  public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Word(uint16_t* out) {
        if (size_ - pos_ < 2) return false;  // pos_ never passes size_
        *out = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool Short(int* out) {
        uint16_t w;
        if (!Word(&w)) return false;
        *out = static_cast<int16_t>(w);
        return true;
    }
    bool DWord(uint32_t* out) {
        uint16_t lo, hi;
        if (!Word(&lo) || !Word(&hi)) return false;
        *out = lo | (static_cast<uint32_t>(hi) << 16);
        return true;
    }
    bool Byte(uint8_t* out) {
        if (pos_ >= size_) return false;
        *out = data_[pos_++];
        return true;
    }
    bool Skip(size_t count) {
        if (size_ - pos_ < count) return false;
        pos_ += count;
        return true;
    }
    // A zero-terminated UTF-16 text.
    bool Text(std::u16string* out) {
        out->clear();
        for (;;) {
            uint16_t c;
            if (!Word(&c)) return false;
            if (c == 0) return true;
            out->push_back(static_cast<char16_t>(c));
        }
    }
    // A name or number field: 0 for none, 0xFFFF and a number, or a text.
    // Returns whether the field was present.
    bool NameOrNumber(bool* present) {
        uint16_t first;
        if (!Word(&first)) return false;
        *present = first != 0;
        if (first == 0) return true;
        uint16_t number;
        if (first == 0xFFFF) return Word(&number);
        std::u16string rest;
        return Text(&rest);
    }
    // Items start on 4-byte boundaries, counted from the template's start.
    bool AlignToDWord() { return Skip((4 - pos_ % 4) % 4); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool ReadRect(TemplateReader& r, int* x, int* y, int* cx, int* cy) {
    return r.Short(x) && r.Short(y) && r.Short(cx) && r.Short(cy);
}

bool ReadItemTail(TemplateReader& r) {
    bool present;
    uint16_t extra;
    return r.NameOrNumber(&present) && r.NameOrNumber(&present) && r.Word(&extra) && r.Skip(extra);
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(const uint8_t* data, size_t size) {
    if (data == nullptr) return std::nullopt;
    TemplateReader r(data, size);
    DialogTemplate t;
    uint16_t version, signature, count;
    if (!r.Word(&version) || !r.Word(&signature)) return std::nullopt;
    t.extended = version == 1 && signature == 0xFFFF;
    if (t.extended) {
        uint32_t helpId;
        if (!r.DWord(&helpId) || !r.DWord(&t.exStyle) || !r.DWord(&t.style)) return std::nullopt;
    } else {
        // The classic form starts with the style, which the two words were.
        r = TemplateReader(data, size);
        if (!r.DWord(&t.style) || !r.DWord(&t.exStyle)) return std::nullopt;
    }
    bool windowClass;
    std::u16string title;
    if (!r.Word(&count) || !ReadRect(r, &t.x, &t.y, &t.cx, &t.cy) || !r.NameOrNumber(&t.hasMenu) ||
        !r.NameOrNumber(&windowClass) || !r.Text(&title)) {
        return std::nullopt;
    }
    if (t.style & kDsSetFont) {
        int points;
        if (!r.Short(&points)) return std::nullopt;
        t.font.points = std::abs(points);
        t.font.weight = 0;
        t.font.italic = false;
        if (t.extended) {
            uint16_t weight;
            uint8_t italic;
            if (!r.Word(&weight) || !r.Byte(&italic) || !r.Byte(&t.font.charset)) {
                return std::nullopt;
            }
            t.font.weight = weight;
            t.font.italic = italic != 0;
        }
        if (!r.Text(&t.font.face)) return std::nullopt;
    }
    for (unsigned i = 0; i < count; ++i) {
        TemplateItem item;
        if (!r.AlignToDWord()) return std::nullopt;
        if (t.extended) {
            uint32_t helpId, id;
            if (!r.DWord(&helpId) || !r.DWord(&item.exStyle) || !r.DWord(&item.style) ||
                !ReadRect(r, &item.x, &item.y, &item.cx, &item.cy) || !r.DWord(&id)) {
                return std::nullopt;
            }
            item.id = static_cast<int32_t>(id);
        } else {
            uint16_t id;
            if (!r.DWord(&item.style) || !r.DWord(&item.exStyle) ||
                !ReadRect(r, &item.x, &item.y, &item.cx, &item.cy) || !r.Word(&id)) {
                return std::nullopt;
            }
            item.id = id;
        }
        if (!ReadItemTail(r)) return std::nullopt;
        t.items.push_back(item);
    }
    return t;
}

int FontHeightForPoints(int points, double dotsPerInch) {
    return -static_cast<int>(points * dotsPerInch * (1.0 / 72) + 0.5);
}

int HorizontalBaseUnit(int widthOf52Letters) {
    return (widthOf52Letters / 26 + 1) / 2;
}

int DialogUnitsToPixels(int units, int baseUnit, int divisor) {
    return static_cast<int>(static_cast<double>(units) * baseUnit / divisor + 0.5);
}

}  // namespace qm::ui
