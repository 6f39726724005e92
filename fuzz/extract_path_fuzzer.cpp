// Path extraction and the existence tests on any value text, against the
// demo's drive C: mapped as a small Windows installation. The text is what
// the scanners hand over: a value's bytes up to its first zero byte.
//  - ExtractPath only shortens its source, and a path it gives fits the
//    expansion limit (one it cannot give is empty and reported so);
//  - CheckTarget, the file/path reference test and the font file search
//    answer without reading or writing outside the mapped folders.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "scan/extract_path.h"
#include "scan/file_path_scanner.h"

namespace {

using qm::fuzz::Check;

qm::MappedFileProbe& Files() {
    static qm::MappedFileProbe* files = [] {
        qm::MappedFilesConfig config = qm::fuzz::DemoDrive();
        // One variable whose expansion passes the limit, one that expands to
        // a quoted command.
        config.environment.emplace_back("BIG", "C:\\" + std::string(1100, 'b'));
        config.environment.emplace_back("QUOTED", "\"C:\\WINDOWS\\notepad.exe\" /a");
        return new qm::MappedFileProbe(config);
    }();
    return *files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    qm::MappedFileProbe& files = Files();

    std::string source = text;
    std::string path = "stale";
    const bool extracted = qm::ExtractPath(source, path, files);
    Check(text.compare(0, source.size(), source) == 0, "ExtractPath changed its source's text");
    if (!extracted) {
        Check(path.empty(), "a path that could not be expanded was not cleared");
    } else {
        Check(path.size() < qm::kMaxExpandedPath, "an extracted path beyond the limit");
        (void)qm::CheckTarget(path, files, qm::CodePage::Windows1252());
    }
    // A log never changes the answer, and another reading of the entry
    // never turns a target that exists into one that does not.
    const qm::CodePage& codePage = qm::CodePage::Windows1252();
    const qm::Existence alone = qm::CheckTarget(text, files, codePage);
    const qm::Existence either = qm::CheckTarget(text, files, codePage, path);
    qm::CheckLog log;
    Check(qm::CheckTarget(text, files, codePage, path, &log) == either,
          "a log changed CheckTarget's answer");
    Check(alone != qm::Existence::kExists || either == qm::Existence::kExists,
          "another reading hid a target that exists");
    (void)qm::CheckPathReference(text, files);
    // A path the probe calls missing lies on a drive it can see.
    if (files.CheckPath(text) == qm::Existence::kMissing)
        Check(files.CanTellMissing(text), "missing on a drive that cannot tell");
    (void)files.CheckPattern(text);
    return 0;
}
