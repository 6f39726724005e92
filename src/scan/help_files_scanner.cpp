// Help files (category 6): one value per help file, named by the file and
// holding the folder it lives in; a value whose file is not in that folder
// is reported. On 64-bit Windows the 32-bit programs' key is read too.
#include <string>

#include "scan/extract_path.h"
#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {

constexpr const char* kSubKey = "SOFTWARE\\Microsoft\\Windows\\HELP";

void ScanHelpKey(ScanContext& ctx, const std::string& subKey) {
    RegKey key(ctx.registry);
    if (key.Open(hkey::kLocalMachine, subKey.c_str(), access::kReadWrite) != status::kSuccess)
        return;

    const std::string itemKey = "HKLM\\" + subKey;
    std::string other;
    std::string name;
    std::string folder;
    std::string joined;
    std::string path;
    for (uint32_t index = 0;
         scan::EnumValueName(ctx.registry, key.get(), index, name) == status::kSuccess; ++index) {
        if (ctx.Stopped()) break;
        if (scan::ReadValueText(ctx.registry, key.get(), name.c_str(), folder) != status::kSuccess)
            continue;

        // One backslash between folder and file, none added when the folder
        // already ends in one. An empty folder gives "\file".
        joined = folder;
        if (joined.empty() || joined.back() != '\\') joined += '\\';
        joined += name;

        if (!ExtractPath(joined, path, ctx.files, &other)) continue;  // could not be tested
        ctx.Report(path);
        if (CheckTarget(path, ctx.files, ctx.registry.codePage(), other) == Existence::kMissing) {
            ctx.Add(itemKey, name, folder, ScanCategory::HelpFiles, [&](CheckLog& log) {
                return CheckTarget(path, ctx.files, ctx.registry.codePage(), other, &log);
            });
        }
    }
}

}  // namespace

void ScanHelpFiles(ScanContext& ctx) {
    for (const std::string& view : KeyViews(ctx.registry, hkey::kLocalMachine, kSubKey)) {
        ScanHelpKey(ctx, view);
    }
}

}  // namespace qm
