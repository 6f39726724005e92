// The registry text reader on any bytes, read once as they are and once as
// the UTF-16 form of the same text (a version 5 file with its mark). What
// the reader accepts must
//  - read alike in both encodings (only the data of text values written as
//    hex may differ: a wide file holds it as UTF-16),
//  - write and read back as the same document in both formats, and
//  - once applied to the in-memory registry, save and load back to the same
//    tree in both formats, as the headless scanner's files do.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"

namespace {

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Describe;
using qm::fuzz::FirstDifference;

constexpr regtext::Format kFormats[] = {regtext::Format::kRegedit4, regtext::Format::kVersion5};

const char* Name(regtext::Format format) {
    return format == regtext::Format::kRegedit4 ? "REGEDIT4" : "version 5";
}

std::string Difference(const regtext::Document& a, const regtext::Document& b, long at) {
    const auto entry = [](const regtext::Document& d, long i) {
        return static_cast<size_t>(i) < d.entries.size() ? Describe(d.entries[i]) : "(none)";
    };
    return "entry " + std::to_string(at) + "\n  first:  " + entry(a, at) +
           "\n  second: " + entry(b, at);
}

// The same text as a UTF-16LE file with its byte-order mark.
std::string WideFile(std::string_view text) {
    std::string file = "\xFF\xFE";
    for (char16_t unit : CodePage::Windows1252().ToUtf16(text)) {
        file.push_back(static_cast<char>(unit & 0xFF));
        file.push_back(static_cast<char>(unit >> 8));
    }
    return file;
}

bool StartsWithMark(std::string_view bytes) {
    return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
           bytes.starts_with("\xEF\xBB\xBF");
}

void CheckBothEncodings(std::string_view bytes, bool accepted, const regtext::Document& doc,
                        const regtext::ParseError& error) {
    if (StartsWithMark(bytes)) return;
    regtext::Document wide;
    regtext::ParseError wideError;
    const bool wideAccepted = regtext::Parse(WideFile(bytes), wide, wideError);
    Check(wideAccepted == accepted, "the UTF-16 form of the text is " +
                                        std::string(wideAccepted ? "accepted" : "refused") +
                                        ", the code-page form is not");
    if (!accepted) {
        Check(wideError.line == error.line, "the two encodings fail on different lines");
        return;
    }
    Check(wide.entries.size() == doc.entries.size(), "the two encodings give other entries");
    for (size_t i = 0; i < doc.entries.size(); ++i) {
        regtext::Entry a = doc.entries[i];
        regtext::Entry b = wide.entries[i];
        if (regtype::IsText(a.type)) a.data = b.data;
        Check(a.kind == b.kind && a.root == b.root && a.keyPath == b.keyPath && a.name == b.name &&
                  a.type == b.type && a.data == b.data && a.line == b.line,
              "the two encodings read entry " + std::to_string(i) + " differently\n  " +
                  Describe(doc.entries[i]) + "\n  " + Describe(wide.entries[i]));
    }
}

void CheckWriteReadsBack(const regtext::Document& doc) {
    for (regtext::Format format : kFormats) {
        regtext::Document back;
        regtext::ParseError error;
        Check(regtext::Parse(regtext::Write(doc, format), back, error),
              std::string("the written ") + Name(format) + " file does not parse: line " +
                  std::to_string(error.line) + ": " + error.message);
        const long at = FirstDifference(doc, back);
        Check(at < 0, std::string("the written ") + Name(format) +
                          " file reads back differently: " + Difference(doc, back, at));
    }
}

void CheckTreeRoundTrip(const regtext::Document& doc) {
    MemoryRegistry loaded;
    loaded.Apply(doc);
    const regtext::Document tree = fuzz::ExportAll(loaded, regtext::Format::kRegedit4);
    // A REGEDIT4 file holds code-page text only: names and text without an
    // exact code-page form come back as the ANSI functions see them, and two
    // keys that differ only there come back as one. The program backs such
    // entries up in Unicode only, so only the Unicode save must keep them.
    const bool inexact = std::any_of(tree.entries.begin(), tree.entries.end(), [](const auto& e) {
        return !e.wideKeyPath.empty() || !e.wideName.empty() || !e.wideData.empty();
    });
    for (regtext::Format format : kFormats) {
        if (inexact && format == regtext::Format::kRegedit4) continue;
        regtext::Document saved = tree;
        saved.format = format;
        regtext::Document read;
        regtext::ParseError error;
        Check(regtext::Parse(regtext::Write(saved, format), read, error),
              std::string("the saved ") + Name(format) + " file does not load: line " +
                  std::to_string(error.line) + ": " + error.message);
        MemoryRegistry reloaded;
        reloaded.Apply(read);
        const regtext::Document again = fuzz::ExportAll(reloaded, regtext::Format::kRegedit4);
        const long at = FirstDifference(tree, again);
        Check(at < 0, std::string("the tree saved as ") + Name(format) +
                          " loads back differently: " + Difference(tree, again, at));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    regtext::Document doc;
    regtext::ParseError error;
    const bool accepted = regtext::Parse(bytes, doc, error);
    Check(accepted || doc.entries.empty(), "a refused file left entries in the document");
    CheckBothEncodings(bytes, accepted, doc, error);
    if (!accepted) return 0;
    CheckWriteReadsBack(doc);
    CheckTreeRoundTrip(doc);
    return 0;
}
