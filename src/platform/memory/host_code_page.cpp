#include "platform/memory/host_code_page.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

namespace {

constexpr char16_t kNoCharacter = 0xFFFD;

// One iconv conversion, closed with the object.
class Converter {
  public:
    Converter(const std::string& to, const std::string& from)
        : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`; false when any of it is no character. `incomplete`
    // tells that the input ended in the middle of one.
    bool Convert(std::string_view in, std::string& out, bool* incomplete = nullptr) const {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        char* input = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        char* output = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = iconv(cd_, &input, &inLeft, &output, &outLeft);
        if (incomplete != nullptr)
            *incomplete = result == static_cast<size_t>(-1) && errno == EINVAL;
        out.assign(buffer, static_cast<size_t>(output - buffer));
        return result != static_cast<size_t>(-1) && inLeft == 0;
    }

  private:
    iconv_t cd_;
};

// The one UTF-16 unit that `bytes` convert to; U+FFFD when they are no
// single character.
char16_t UnitOf(const Converter& toUtf16, std::string_view bytes, bool* incomplete = nullptr) {
    std::string wide;
    if (!toUtf16.Convert(bytes, wide, incomplete) || wide.size() != 2) return kNoCharacter;
    const char16_t unit =
        static_cast<char16_t>(static_cast<uint8_t>(wide[0]) | static_cast<uint8_t>(wide[1]) << 8);
    return unit >= 0xD800 && unit <= 0xDFFF ? kNoCharacter : unit;
}

// A double-byte code page from tables: the UTF-16 unit of every byte pair
// with a lead byte, and the bytes of every unit the code page holds.
class DoubleByteCodePage : public CodePage {
  public:
    DoubleByteCodePage(uint32_t number, const std::array<bool, 256>& leads,
                       const std::array<char16_t, 256>& units, std::vector<char16_t> pairs,
                       std::vector<uint16_t> bytes)
        : CodePage(number, leads, units), pairs_(std::move(pairs)), bytes_(std::move(bytes)) {}

  protected:
    std::u16string Widen(std::string_view text) const override {
        std::u16string out;
        out.reserve(text.size());
        for (size_t i = 0; i < text.size();) {
            const size_t length = CharLength(text, i);
            const auto first = static_cast<uint8_t>(text[i]);
            out.push_back(length == 1 ? ByteUnit(first)
                                      : pairs_[first << 8 | static_cast<uint8_t>(text[i + 1])]);
            i += length;
        }
        return out;
    }

    bool Narrow(std::u16string_view text, std::string& out) const override {
        out.clear();
        out.reserve(text.size() * 2);
        bool exact = true;
        for (const char16_t unit : text) {
            const uint16_t bytes = unit < 0x80 ? unit : bytes_[unit];
            if (unit >= 0x80 && bytes == 0) {
                out.push_back(kReplacement);
                exact = false;
            } else if (bytes > 0xFF) {
                out.push_back(static_cast<char>(bytes >> 8));
                out.push_back(static_cast<char>(bytes & 0xFF));
            } else {
                out.push_back(static_cast<char>(bytes));
            }
        }
        return exact;
    }

  private:
    std::vector<char16_t> pairs_;  // by lead << 8 | trail
    std::vector<uint16_t> bytes_;  // by unit: 0 none, a byte, or lead << 8 | trail
};

std::unique_ptr<CodePage> MakeCodePage(uint32_t number) {
    const std::string names[] = {"CP" + std::to_string(number),
                                 "WINDOWS-" + std::to_string(number)};
    for (const std::string& name : names) {
        const Converter toUtf16("UTF-16LE", name);
        const Converter fromUtf16(name, "UTF-16LE");
        if (!toUtf16.ok() || !fromUtf16.ok()) continue;

        const std::array<bool, 256> leads = DoubleByteLeads(number);
        std::array<char16_t, 256> units{};
        for (int b = 0; b < 256; ++b) {
            if (b < 0x80) {
                units[b] = static_cast<char16_t>(b);  // ASCII, as in every code page
                continue;
            }
            if (leads[b]) continue;
            bool incomplete = false;
            units[b] = UnitOf(toUtf16, std::string(1, static_cast<char>(b)), &incomplete);
            // A byte that starts a character of more bytes in a code page
            // not known to have lead bytes: not a code page this can hold.
            if (incomplete) return nullptr;
        }
        bool doubleByte = false;
        for (bool lead : leads) doubleByte = doubleByte || lead;
        if (!doubleByte) return std::make_unique<SingleByteCodePage>(number, units);

        std::vector<char16_t> pairs(0x10000, kNoCharacter);
        std::vector<bool> held(0x10000, false);
        for (int b = 0x80; b < 256; ++b)
            if (!leads[b] && units[b] != kNoCharacter) held[units[b]] = true;
        for (int lead = 0x80; lead < 256; ++lead) {
            if (!leads[lead]) continue;
            for (int trail = 0x40; trail < 256; ++trail) {
                const char pair[] = {static_cast<char>(lead), static_cast<char>(trail)};
                const char16_t unit = UnitOf(toUtf16, std::string_view(pair, 2));
                pairs[lead << 8 | trail] = unit;
                if (unit != kNoCharacter) held[unit] = true;
            }
        }
        // Each unit's bytes as the library converts it, when they read back
        // as that unit (of two pairs of one character it picks the one the
        // system picks).
        std::vector<uint16_t> bytes(0x10000, 0);
        for (uint32_t unit = 0x80; unit < 0x10000; ++unit) {
            if (!held[unit]) continue;
            const char wide[] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
            std::string out;
            if (!fromUtf16.Convert(std::string_view(wide, 2), out)) continue;
            if (out.size() == 1 && !leads[static_cast<uint8_t>(out[0])] &&
                units[static_cast<uint8_t>(out[0])] == unit)
                bytes[unit] = static_cast<uint8_t>(out[0]);
            const uint16_t pair = out.size() == 2
                                      ? static_cast<uint16_t>(static_cast<uint8_t>(out[0]) << 8 |
                                                              static_cast<uint8_t>(out[1]))
                                      : 0;
            if (out.size() == 2 && leads[static_cast<uint8_t>(out[0])] && pairs[pair] == unit)
                bytes[unit] = pair;
        }
        return std::make_unique<DoubleByteCodePage>(number, leads, units, std::move(pairs),
                                                    std::move(bytes));
    }
    return nullptr;
}

}  // namespace

const CodePage* HostCodePage(uint32_t number) {
    if (number == 1252) return &CodePage::Windows1252();
    static std::mutex mutex;
    static std::map<uint32_t, std::unique_ptr<CodePage>> made;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = made.find(number);
    if (it == made.end()) it = made.emplace(number, MakeCodePage(number)).first;
    return it->second.get();
}

}  // namespace qm
