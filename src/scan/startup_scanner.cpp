// Windows startup (category 7): Run values whose program is gone, and Start
// Menu order subkeys whose Programs folder exists in neither the common nor
// the user's Programs folder.
#include <string>

#include "scan/extract_path.h"
#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kMenuOrder =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs";
constexpr const char* kMenuOrder2 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs";

// Run values of one Run key: a value whose program does not exist is
// reported.
void ScanRunKey(ScanContext& ctx, HKey root, const std::string& subKey,
                const std::string& itemKey) {
    ctx.Report(subKey);
    RegKey run(ctx.registry);
    if (run.Open(root, subKey.c_str(), access::kReadWrite) != status::kSuccess) return;

    std::string name;
    std::string command;
    std::string path;
    std::string other;
    for (uint32_t index = 0;
         scan::EnumValueName(ctx.registry, run.get(), index, name) == status::kSuccess; ++index) {
        if (ctx.Stopped()) break;
        if (scan::ReadValueText(ctx.registry, run.get(), name.c_str(), command) != status::kSuccess)
            continue;
        if (!ExtractPath(command, path, ctx.files, &other)) continue;  // could not be tested
        if (CheckTarget(path, ctx.files, ctx.registry.codePage(), other) == Existence::kMissing) {
            ctx.Add(itemKey, name, command, ScanCategory::WindowsStartup, [&](CheckLog& log) {
                return CheckTarget(path, ctx.files, ctx.registry.codePage(), other, &log);
            });
        }
    }
}

// The Run values of one root, on 64-bit Windows of both views where the
// 32-bit programs have a Run key of their own (below HKEY_LOCAL_MACHINE).
void ScanRunValues(ScanContext& ctx, HKey root, const char* prefix) {
    for (const std::string& view : KeyViews(ctx.registry, root, kRunKey)) {
        ScanRunKey(ctx, root, view, prefix + view);
    }
}

// The all-users Programs folder; empty when it cannot be read.
std::string CommonProgramsFolder(ScanContext& ctx) {
    ctx.Report(kShellFolders);
    std::string folder;
    RegKey key(ctx.registry);
    if (key.Open(hkey::kLocalMachine, kShellFolders, access::kReadWrite) != status::kSuccess ||
        scan::ReadValueText(ctx.registry, key.get(), "Common Programs", folder) != status::kSuccess)
        folder.clear();
    return folder;
}

// Start Menu order subkeys below one order key of HKEY_CURRENT_USER.
void ScanMenuOrder(ScanContext& ctx, const char* subKey, bool reportPaths,
                   const std::string& commonFolder, const std::string& userFolder) {
    ctx.Report(subKey);
    RegKey order(ctx.registry);
    if (order.Open(hkey::kCurrentUser, subKey, access::kReadWrite) != status::kSuccess) return;

    const std::string itemKey = std::string("HKCU\\") + subKey;
    std::string name;
    for (uint32_t index = 0;
         scan::EnumKeyName(ctx.registry, order.get(), index, name) == status::kSuccess; ++index) {
        if (ctx.Stopped()) break;
        const std::string commonPath = commonFolder + "\\" + name;
        const std::string userPath = userFolder + "\\" + name;
        if (reportPaths) {
            ctx.Report(userPath);
            ctx.Report(commonPath);
        }
        // The folder is gone only when neither Programs folder has it.
        const auto check = [&](CheckLog* log) {
            Existence answer = Existence::kMissing;
            for (const std::string* path : {&commonPath, &userPath}) {
                const Existence found = ctx.files.CheckPath(*path);
                if (log != nullptr) log->push_back({*path, found});
                answer = EitherOf(answer, found);
            }
            return answer;
        };
        if (check(nullptr) == Existence::kMissing) {
            ctx.Add(itemKey, name, commonPath, ScanCategory::WindowsStartup,
                    [&](CheckLog& log) { return check(&log); });
        }
    }
}

}  // namespace

void ScanWindowsStartup(ScanContext& ctx) {
    ScanRunValues(ctx, hkey::kLocalMachine, "HKLM\\");
    ScanRunValues(ctx, hkey::kCurrentUser, "HKCU\\");

    const std::string commonFolder = CommonProgramsFolder(ctx);
    std::string userFolder;
    if (!ctx.files.SpecialFolder(csidl::kPrograms, userFolder)) userFolder.clear();

    ScanMenuOrder(ctx, kMenuOrder, false, commonFolder, userFolder);
    ScanMenuOrder(ctx, kMenuOrder2, true, commonFolder, userFolder);
}

}  // namespace qm
