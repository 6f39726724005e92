#include "cli/ignore_file.h"

#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/code_page.h"
#include "platform/regtext/reg_text.h"

namespace qm::cli {

namespace {

// The code-page form of a line: UTF-8 converted where the line is UTF-8,
// otherwise the bytes as they are. False when a UTF-8 character has no
// code-page form, which no registry name of this program holds.
bool CodePageLine(std::string_view line, const CodePage& codePage, std::string& out) {
    std::u16string wide;
    if (!regtext::Utf8ToUtf16(line, wide)) {
        out.assign(line);
        return true;
    }
    return codePage.FromUtf16(wide, out);
}

}  // namespace

bool ReadIgnoreFile(const std::string& file, const CodePage& codePage,
                    std::vector<IgnoreEntry>& entries, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = file + ": cannot open the file";
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string_view text = bytes;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t number = 0;
    std::string line;
    std::string why;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        if (raw.empty() || raw[0] == '#') continue;
        IgnoreEntry entry;
        if (!CodePageLine(raw, codePage, line)) {
            why = "a character that no registry name here can hold";
        } else if (ParseEntryLine(line, entry, why)) {
            entries.push_back(std::move(entry));
            continue;
        }
        error = file + ": line " + std::to_string(number) + ": " + why;
        return false;
    }
    return true;
}

}  // namespace qm::cli
