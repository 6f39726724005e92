// Fonts (category 3): one value per installed font, whose data is the font
// file, normally a bare name inside the Fonts folder. A value whose file is
// found neither in the user's Fonts folder nor in the Shell Folders one is
// reported. The test is a file search, so a wildcard in the data matches
// any file that fits it.
#include <string>

#include "scan/checked_target.h"
#include "scan/scan_reads.h"
#include "scan/scanners.h"

namespace qm {

namespace {

constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// Reads the "Fonts" value of one of the two shell-folder keys below
// HKEY_CURRENT_USER. False when the key or the value cannot be read.
bool ReadFontsFolder(ScanContext& ctx, const char* subKey, std::string& folder) {
    ctx.Report(subKey);
    RegKey key(ctx.registry);
    if (key.Open(hkey::kCurrentUser, subKey, access::kReadWrite) != status::kSuccess) return false;
    return scan::ReadValueText(ctx.registry, key.get(), "Fonts", folder) == status::kSuccess;
}

// "X:\..." or "\\server\...": a font registered by its full path.
bool IsFullPath(const std::string& data) {
    const bool driveRooted =
        data.size() >= 3 && data[1] == ':' && (data[2] == '\\' || data[2] == '/');
    const bool unc = data.size() >= 2 && data[0] == '\\' && data[1] == '\\';
    return driveRooted || unc;
}

void ScanFontsKey(ScanContext& ctx, const std::string& subKey, const std::string* userFolder,
                  const std::string* shellFolder) {
    ctx.Report(subKey);
    RegKey fonts(ctx.registry);
    if (fonts.Open(hkey::kLocalMachine, subKey.c_str(), access::kReadWrite) != status::kSuccess)
        return;

    const std::string itemKey = "HKLM\\" + subKey;
    std::string name;
    std::string data;
    for (uint32_t index = 0;
         scan::EnumValueText(ctx.registry, fonts.get(), index, name, data) == status::kSuccess;
         ++index) {
        if (ctx.Stopped()) break;

        // The file is gone only when every folder it may be in says so.
        const auto check = [&](CheckLog* log) {
            const auto search = [&](const std::string& pattern) {
                const Existence found = ctx.files.CheckPattern(pattern);
                if (log != nullptr) log->push_back({pattern, found});
                return found;
            };
            if (IsFullPath(data)) return search(data);
            Existence found = Existence::kMissing;
            if (shellFolder != nullptr) found = search(*shellFolder + "\\" + data);
            if (userFolder != nullptr && found != Existence::kExists)
                found = EitherOf(found, search(*userFolder + "\\" + data));
            return found;
        };
        if (check(nullptr) == Existence::kMissing) {
            ctx.Add(itemKey, name, data, ScanCategory::Fonts,
                    [&](CheckLog& log) { return check(&log); });
        }
    }
}

}  // namespace

void ScanFonts(ScanContext& ctx) {
    // The user's folder may be written with environment references; it is
    // expanded before use. A value that cannot be expanded within the limit
    // is as good as unread.
    std::string userFolder;
    std::string userText;
    bool haveUser = ReadFontsFolder(ctx, kUserShellFolders, userText);
    if (haveUser) {
        const uint32_t size = ctx.files.ExpandEnvironment(userText, userFolder, kMaxExpandedPath);
        haveUser = size != 0 && size <= kMaxExpandedPath;
    }
    std::string shellFolder;
    bool haveShell = ReadFontsFolder(ctx, kShellFolders, shellFolder);

    // Without either value every font would look missing; the Windows
    // folder's own Fonts folder is where they live then. Without even that
    // nothing can be tested, and nothing is reported.
    if (!haveUser && !haveShell) {
        if (!ctx.files.SpecialFolder(csidl::kWindows, shellFolder) || shellFolder.empty()) return;
        shellFolder += "\\Fonts";
        haveShell = true;
    }

    // The key of the 32-bit programs too, where it is one of its own (the
    // views share it on current Windows).
    for (const std::string& view : KeyViews(ctx.registry, hkey::kLocalMachine, kFontsKey)) {
        ScanFontsKey(ctx, view, haveUser ? &userFolder : nullptr,
                     haveShell ? &shellFolder : nullptr);
    }
}

}  // namespace qm
