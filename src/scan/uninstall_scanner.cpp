// Uninstall entries (category 2): one subkey per installed program whose
// "UninstallString" is the command that removes it; a subkey whose program
// is gone is reported, except commands run through a system loader or the
// installer service, which cannot be traced to a file. On 64-bit Windows the
// 32-bit programs' entries are read too.
#include <string>

#include "scan/extract_path.h"
#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {

constexpr const char* kSubKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Matched case-sensitively, in exactly these spellings.
constexpr const char* kExcluded[] = {"rundll",      "Rundll",       "RunDll",      "MsiExec.exe",
                                     "msiexec.exe", "s3uninst.exe", "S3uninst.exe"};

bool IsExcluded(const std::string& command) {
    for (const char* text : kExcluded)
        if (command.find(text) != std::string::npos) return true;
    return false;
}

void ScanUninstallKey(ScanContext& ctx, const std::string& subKey) {
    RegKey uninstall(ctx.registry);
    if (uninstall.Open(hkey::kLocalMachine, subKey.c_str(), access::kReadWrite) != status::kSuccess)
        return;

    const std::string itemKey = "HKLM\\" + subKey;
    std::string other;
    std::string name;
    std::string command;
    std::string path;
    for (uint32_t index = 0;
         scan::EnumKeyName(ctx.registry, uninstall.get(), index, name) == status::kSuccess;
         ++index) {
        if (ctx.Stopped()) break;
        ctx.Report(subKey + "\\" + name);

        RegKey program(ctx.registry);
        if (program.Open(uninstall.get(), name.c_str(), access::kReadWrite) != status::kSuccess)
            continue;
        if (scan::ReadValueText(ctx.registry, program.get(), "UninstallString", command) !=
            status::kSuccess)
            continue;
        if (IsExcluded(command)) continue;
        if (!ExtractPath(command, path, ctx.files, &other)) continue;  // could not be tested
        if (CheckTarget(path, ctx.files, ctx.registry.codePage(), other) == Existence::kMissing) {
            ctx.Add(itemKey, name, command, ScanCategory::Uninstall, [&](CheckLog& log) {
                return CheckTarget(path, ctx.files, ctx.registry.codePage(), other, &log);
            });
        }
    }
}

}  // namespace

void ScanUninstall(ScanContext& ctx) {
    for (const std::string& view : KeyViews(ctx.registry, hkey::kLocalMachine, kSubKey)) {
        ScanUninstallKey(ctx, view);
    }
}

}  // namespace qm
