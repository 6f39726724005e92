// Application Paths (category 5): one subkey per program name whose default
// value is the program's path; a subkey whose program is gone is reported.
#include <string>

#include "scan/extract_path.h"
#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {
constexpr const char* kSubKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr const char* kItemKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
}  // namespace

void ScanAppPaths(ScanContext& ctx) {
    RegKey appPaths(ctx.registry);
    if (appPaths.Open(hkey::kLocalMachine, kSubKey, access::kReadWrite) != status::kSuccess) return;

    std::string name;
    std::string command;
    std::string path;
    for (uint32_t index = 0;
         scan::EnumKeyName(ctx.registry, appPaths.get(), index, name) == status::kSuccess;
         ++index) {
        if (ctx.Stopped()) break;
        ctx.Report(std::string(kSubKey) + "\\" + name);

        RegKey program(ctx.registry);
        if (program.Open(appPaths.get(), name.c_str(), access::kReadWrite) != status::kSuccess)
            continue;
        // Only the default value names the program; a subkey without one
        // is left alone.
        if (scan::ReadValueText(ctx.registry, program.get(), "", command) != status::kSuccess)
            continue;
        if (!ExtractPath(command, path, ctx.files)) continue;  // could not be tested
        if (!TargetExists(path, ctx.files))
            ctx.Add(kItemKey, name, command, ScanCategory::AppPaths);
    }
}

}  // namespace qm
