// The restore check on any backup text against a small in-memory registry.
// Besides never failing on what it reads, its verdict must be right both
// ways:
//  - confirmed: importing the file into that registry changes nothing
//    (text may lose or gain terminating zeros, which the file does not
//    write), so a backup is never deleted while it still holds something
//    that is not back;
//  - imported: once the file has been imported, the check confirms it,
//    for every file whose entries the registry can hold and the ANSI
//    functions can name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "backup/restore_check.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace qm;
using qm::fuzz::Check;

// The registry every input is checked against: text of every type, names
// outside ASCII, a default value, an empty key, a key that may only be read
// and one that may not be read at all.
constexpr const char* kRegistry =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Demo]\n"
    "@=\"C:\\\\demo\"\n"
    "\"Count\"=dword:00000007\n"
    "\"Path\"=hex(2):25,41,25,00\n"
    "\"List\"=hex(7):61,00,62,00,00\n"
    "\"Bytes\"=hex:01,02,03\n"
    "\"Caf\xC9\"=\"\xE9t\xE9\"\n"
    "\"\x8A\"=hex(0):\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n"
    "\"Name\"=\"caf\xE9\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Demo\\Empty]\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Locked]\n"
    "\"x\"=\"1\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qpd]\n"
    "@=\"Quillpad.Document\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Hidden\\Below]\n"
    "\"y\"=dword:1\n";

const regtext::Document& Base() {
    static const regtext::Document* doc = [] {
        auto* parsed = new regtext::Document;
        regtext::ParseError error;
        if (!regtext::Parse(kRegistry, *parsed, error))
            fuzz::Fail("the base registry does not parse");
        return parsed;
    }();
    return *doc;
}

// The tree with the terminating zeros of text values left out.
regtext::Document Tree(const MemoryRegistry& registry) {
    regtext::Document doc = fuzz::ExportAll(registry, regtext::Format::kRegedit4);
    for (regtext::Entry& e : doc.entries)
        if (regtype::IsText(e.type))
            while (!e.data.empty() && e.data.back() == 0) e.data.pop_back();
    return doc;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Whether the registry can hold every entry of the file as the file says:
// names within the registry's limits and reachable through the ANSI
// functions (no zero byte, paths the open takes), roots that hold keys, and
// no deletion of a key the registry keeps (HKEY_LOCAL_MACHINE\SOFTWARE and
// its Classes key). Text without an exact code-page form is held, but the
// ANSI functions refuse it (and any name sharing its reading), so the check
// cannot confirm such a file.
bool Holdable(const regtext::Document& doc) {
    for (const regtext::Entry& e : doc.entries) {
        if (!e.wideKeyPath.empty() || !e.wideName.empty() || !e.wideData.empty()) return false;
        if (e.root == hkey::kPerformanceData || e.keyPath.size() > 260) return false;
        size_t start = 0;
        for (size_t slash; (slash = e.keyPath.find('\\', start)) != std::string::npos;
             start = slash + 1)
            if (slash - start > 256) return false;
        if (e.keyPath.size() - start > 256) return false;
        if (e.name.size() > 16383 || e.name.find('\0') != std::string::npos) return false;
        if (e.kind == regtext::Entry::Kind::kDeleteKey && e.root == hkey::kLocalMachine &&
            (EqualsNoCase(e.keyPath, "SOFTWARE") || EqualsNoCase(e.keyPath, "SOFTWARE\\Classes")))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    regtext::Document doc;
    regtext::ParseError error;
    if (!regtext::Parse(std::string_view(reinterpret_cast<const char*>(data), size), doc, error))
        return 0;

    MemoryRegistry marked;
    marked.Apply(Base());
    marked.SetProtection(hkey::kCurrentUser, "Software\\Locked",
                         MemoryRegistry::Protection::kReadOnly);
    marked.SetProtection(hkey::kLocalMachine, "SOFTWARE\\Hidden",
                         MemoryRegistry::Protection::kUnreadable);
    const RestoreCheck before = CheckImported(marked, doc);
    Check(marked.OpenHandleCount() == 0, "the check left a key open");

    MemoryRegistry imported;
    imported.Apply(Base());
    const regtext::Document original = Tree(imported);
    imported.Apply(doc);
    if (before.complete) {
        const regtext::Document after = Tree(imported);
        const long at = fuzz::FirstDifference(original, after);
        Check(at < 0, "the check confirmed a file whose import changes the registry at entry " +
                          std::to_string(at));
    }
    if (Holdable(doc)) {
        const RestoreCheck after = CheckImported(imported, doc);
        Check(after.complete, "an imported file is not confirmed: line " +
                                  std::to_string(after.line) + ": " + after.problem);
    }
    return 0;
}
