// Shared DLLs (category 4): one value per shared library, named by the
// library's full path; a value whose file is gone is reported. On 64-bit
// Windows the 32-bit programs' key is read too.
#include <string>

#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {

constexpr const char* kSubKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

void ScanSharedDllsKey(ScanContext& ctx, const std::string& subKey) {
    RegKey key(ctx.registry);
    if (key.Open(hkey::kLocalMachine, subKey.c_str(), access::kReadWrite) != status::kSuccess)
        return;
    const std::string itemKey = "HKLM\\" + subKey;

    // The data (the reference count) is read but not used; data too long
    // for the buffer ends the enumeration like a name that does not fit.
    std::string name;
    std::string data;
    for (uint32_t index = 0;
         scan::EnumValueText(ctx.registry, key.get(), index, name, data) == status::kSuccess;
         ++index) {
        if (ctx.Stopped()) break;
        ctx.Report(name);
        // The name is tested exactly as written: no quotes removed and no
        // environment references expanded.
        if (ctx.files.CheckPath(name) == Existence::kMissing) {
            ctx.Add(itemKey, name, "", ScanCategory::SharedDlls, [&](CheckLog& log) {
                log.push_back({name, ctx.files.CheckPath(name)});
                return log.back().answer;
            });
        }
    }
}

}  // namespace

void ScanSharedDlls(ScanContext& ctx) {
    for (const std::string& view : KeyViews(ctx.registry, hkey::kLocalMachine, kSubKey)) {
        ScanSharedDllsKey(ctx, view);
    }
}

}  // namespace qm
