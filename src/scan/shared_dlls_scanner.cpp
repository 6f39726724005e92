// Shared DLLs (category 4): one value per shared library, named by the
// library's full path; a value whose file is gone is reported.
#include <string>

#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {
constexpr const char* kSubKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kItemKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
}  // namespace

void ScanSharedDlls(ScanContext& ctx) {
    RegKey key(ctx.registry);
    if (key.Open(hkey::kLocalMachine, kSubKey, access::kReadWrite) != status::kSuccess) return;

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
        if (!ctx.files.PathExists(name)) ctx.Add(kItemKey, name, "", ScanCategory::SharedDlls);
    }
}

}  // namespace qm
