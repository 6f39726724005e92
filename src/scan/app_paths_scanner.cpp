// Application Paths (category 5): one subkey per program name whose default
// value is the program's path; a subkey whose program is gone is reported.
// On 64-bit Windows the 32-bit programs' key is read too where it is a key
// of its own.
#include <string>

#include "scan/extract_path.h"
#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {

constexpr const char* kSubKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

void ScanAppPathsKey(ScanContext& ctx, const std::string& subKey) {
    RegKey appPaths(ctx.registry);
    if (appPaths.Open(hkey::kLocalMachine, subKey.c_str(), access::kReadWrite) != status::kSuccess)
        return;

    const std::string itemKey = "HKLM\\" + subKey;
    std::string name;
    std::string command;
    std::string path;
    std::string other;
    for (uint32_t index = 0;
         scan::EnumKeyName(ctx.registry, appPaths.get(), index, name) == status::kSuccess;
         ++index) {
        if (ctx.Stopped()) break;
        ctx.Report(subKey + "\\" + name);

        RegKey program(ctx.registry);
        if (program.Open(appPaths.get(), name.c_str(), access::kReadWrite) != status::kSuccess)
            continue;
        // Only the default value names the program; a subkey without one
        // is left alone.
        if (scan::ReadValueText(ctx.registry, program.get(), "", command) != status::kSuccess)
            continue;
        if (!ExtractPath(command, path, ctx.files, &other)) continue;  // could not be tested
        if (CheckTarget(path, ctx.files, ctx.registry.codePage(), other) == Existence::kMissing) {
            ctx.Add(itemKey, name, command, ScanCategory::AppPaths, [&](CheckLog& log) {
                return CheckTarget(path, ctx.files, ctx.registry.codePage(), other, &log);
            });
        }
    }
}

}  // namespace

void ScanAppPaths(ScanContext& ctx) {
    for (const std::string& view : KeyViews(ctx.registry, hkey::kLocalMachine, kSubKey)) {
        ScanAppPathsKey(ctx, view);
    }
}

}  // namespace qm
