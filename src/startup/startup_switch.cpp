#include "startup/startup_switch.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "repair/entry_remover.h"
#include "scan/scan_reads.h"
#include "startup/startup_sources.h"

namespace qm {

namespace {

constexpr uint32_t kReadSetCreate = access::kRead | access::kSetValue | access::kCreateSubKey;
constexpr size_t kCopyBlock = 1024;

// Record location values and the folder records' values.
constexpr const char* kUserRecordLocation = "Startup";
constexpr const char* kCommonRecordLocation = "Common Startup";

// A value's type and bytes, whatever their size.
struct RawValue {
    uint32_t type = regtype::kNone;
    std::vector<uint8_t> bytes;
};

Status ReadRawValue(RegistryService& registry, HKey key, const char* name, RawValue& value) {
    // The value may grow between asking its size and reading it; ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint32_t size = 0;
        Status result = registry.QueryValue(key, name, &value.type, nullptr, &size);
        if (result != status::kSuccess) return result;
        value.bytes.assign(size, 0);
        result = registry.QueryValue(key, name, &value.type, value.bytes.data(), &size);
        if (result == status::kMoreData) continue;
        if (result == status::kSuccess) value.bytes.resize(size);
        return result;
    }
    return status::kMoreData;
}

bool WriteRaw(RegistryService& registry, HKey key, const char* name, const RawValue& value) {
    return registry.SetValue(key, name, value.type, value.bytes.data(),
                             static_cast<uint32_t>(value.bytes.size())) == status::kSuccess;
}

// A REG_SZ value whose stored length counts the terminating zero.
bool WriteText(RegistryService& registry, HKey key, const char* name, const std::string& text) {
    return registry.SetValue(key, name, regtype::kSz,
                             reinterpret_cast<const uint8_t*>(text.c_str()),
                             static_cast<uint32_t>(text.size() + 1)) == status::kSuccess;
}

// A record value (1024 bytes at most); false when it cannot be read.
bool ReadText(RegistryService& registry, HKey key, const char* name, std::string& text) {
    return scan::ReadValueText(registry, key, name, text) == status::kSuccess;
}

// The Run or RunOnce key that a record's "hkey" and "key" texts name.
bool RunKeyOf(const std::string& hkeyText, const std::string& keyText, HKey& root,
              const char*& path) {
    if (hkeyText == "HKLM")
        root = hkey::kLocalMachine;
    else if (hkeyText == "HKCU")
        root = hkey::kCurrentUser;
    else
        return false;
    if (keyText == "Run")
        path = startupkey::kRun;
    else if (keyText == "RunOnce")
        path = startupkey::kRunOnce;
    else
        return false;
    return true;
}

// The hkey and key texts of a registry location: the first four characters
// and what follows the first separator ("HKLM/RunOnce" -> "HKLM", "RunOnce").
void SplitRegistryLocation(const std::string& where, char separator, std::string& hkeyText,
                           std::string& keyText) {
    hkeyText = where.substr(0, 4);
    const size_t at = where.find(separator);
    keyText = at == std::string::npos ? std::string() : where.substr(at + 1);
}

// The record location of a Startup-folder location, or null.
const char* RecordLocationOf(const std::string& where) {
    if (where == location::kUserStartup) return kUserRecordLocation;
    if (where == location::kCommonStartup) return kCommonRecordLocation;
    return nullptr;
}

// A record subkey takes the item's name: it must name exactly one key
// below the record key.
bool UsableRecordName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

std::string Joined(const char* parent, const std::string& child) {
    return std::string(parent) + "\\" + child;
}

std::string TitleOf(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

// The shortcut files of `folder` whose title is `name` (exactly).
std::vector<std::string> ShortcutsTitled(FileProbe& files, const std::string& folder,
                                         const std::string& name) {
    std::vector<std::string> names;
    std::vector<FileEntry> entries;
    if (folder.empty() || files.ListFolder(folder + "\\*.lnk", entries) != status::kSuccess)
        return names;
    for (const FileEntry& entry : entries)
        if (!entry.isDirectory && TitleOf(entry.name) == name) names.push_back(entry.name);
    return names;
}

// The parked copy of a shortcut file of one Startup folder.
bool ParkedCopyPath(FileProbe& files, const std::string& fileName, const char* recordLocation,
                    std::string& backup) {
    std::string windows;
    if (!files.SpecialFolder(csidl::kWindows, windows) || windows.empty()) return false;
    if (windows.back() == '\\') windows.pop_back();
    backup = windows + "\\pss\\" + fileName + recordLocation;
    return true;
}

// A record key left without records goes too, and so do the MSConfig and
// Shared Tools keys above it when that leaves them empty, so that switching
// an item off and on again leaves the registry as it was. A key that holds
// anything stays.
void DropEmptyRecordKey(RegistryService& registry, const char* records) {
    for (std::string path = records; path.size() > std::strlen("SOFTWARE\\Microsoft");
         path.erase(path.rfind('\\'))) {
        RegKey key(registry);
        KeyInfo info;
        if (key.Open(hkey::kLocalMachine, path.c_str(), access::kRead) != status::kSuccess ||
            registry.QueryInfoKey(key.get(), &info) != status::kSuccess || info.subKeys != 0 ||
            info.values != 0)
            return;
        key.Close();
        if (registry.DeleteKey(hkey::kLocalMachine, path.c_str()) != status::kSuccess) return;
    }
}

// Whether the startupreg record named `name` belongs to the given Run key.
// `exists` tells whether there is such a record at all.
bool RecordNamesRunKey(RegistryService& registry, const std::string& name,
                       const std::string& hkeyText, const std::string& keyText, bool& exists) {
    RegKey record(registry);
    exists = record.Open(hkey::kLocalMachine, Joined(startupkey::kRegistryRecords, name).c_str(),
                         access::kRead) == status::kSuccess;
    if (!exists) return false;
    std::string recordHkey, recordKey;
    return ReadText(registry, record.get(), "hkey", recordHkey) &&
           ReadText(registry, record.get(), "key", recordKey) && recordHkey == hkeyText &&
           recordKey == keyText;
}

SwitchOutcome SwitchOffRunValue(const StartupServices& services, const StartupItem& row) {
    RegistryService& registry = services.registry;
    std::string hkeyText, keyText;
    SplitRegistryLocation(row.location, '/', hkeyText, keyText);
    HKey root = hkey::kNull;
    const char* runPath = nullptr;
    if (!RunKeyOf(hkeyText, keyText, root, runPath) || !UsableRecordName(row.name))
        return SwitchOutcome::kFailed;

    // The value as it is now: its data and type go into the record.
    RawValue value;
    {
        RegKey run(registry);
        if (run.Open(root, runPath, access::kRead) != status::kSuccess ||
            ReadRawValue(registry, run.get(), row.name.c_str(), value) != status::kSuccess)
            return SwitchOutcome::kNotFound;
    }

    // One record per name: a record of a same-named item of another key is
    // never overwritten.
    bool recordExists = false;
    if (!RecordNamesRunKey(registry, row.name, hkeyText, keyText, recordExists) && recordExists)
        return SwitchOutcome::kFailed;

    {
        RegKey records(registry);
        RegKey record(registry);
        bool created = false;
        bool written = records.Create(hkey::kLocalMachine, startupkey::kRegistryRecords,
                                      access::kWrite) == status::kSuccess &&
                       record.Create(records.get(), row.name.c_str(), access::kWrite, &created) ==
                           status::kSuccess;
        written = written && WriteText(registry, record.get(), "item", row.name) &&
                  WriteRaw(registry, record.get(), "command", value) &&
                  WriteText(registry, record.get(), "hkey", hkeyText) &&
                  WriteText(registry, record.get(), "key", keyText);
        if (!written) {
            record.Close();
            if (created)
                registry.DeleteTree(hkey::kLocalMachine,
                                    Joined(startupkey::kRegistryRecords, row.name).c_str());
            records.Close();
            DropEmptyRecordKey(registry, startupkey::kRegistryRecords);
            return SwitchOutcome::kFailed;
        }
    }

    RegKey run(registry);
    if (run.Open(root, runPath, access::kAllAccess) == status::kSuccess)
        registry.DeleteValue(run.get(), row.name.c_str());
    return SwitchOutcome::kSwitched;
}

// Parks one shortcut: copy, verify, record, and only then delete it.
bool ParkShortcut(const StartupServices& services, const StartupItem& row,
                  const std::string& folder, const std::string& fileName,
                  const char* recordLocation) {
    RegistryService& registry = services.registry;
    FileProbe& files = services.files;
    const std::string path = folder + "\\" + fileName;
    std::string backup;
    if (!ParkedCopyPath(files, fileName, recordLocation, backup)) return false;

    const CopyResult copied = CopyFileBytes(files, path, backup);
    if (copied != CopyResult::kCopied || !SameFileBytes(files, path, backup)) {
        if (copied != CopyResult::kNotOpened) files.DeleteFile(backup);
        return false;
    }

    std::string subKey = path;
    for (char& c : subKey)
        if (c == '\\') c = '^';
    {
        RegKey records(registry);
        RegKey record(registry);
        bool created = false;
        bool written = records.Create(hkey::kLocalMachine, startupkey::kFolderRecords,
                                      access::kWrite) == status::kSuccess &&
                       record.Create(records.get(), subKey.c_str(), access::kWrite, &created) ==
                           status::kSuccess;
        written = written && WriteText(registry, record.get(), "item", row.name) &&
                  WriteText(registry, record.get(), "command", row.command) &&
                  WriteText(registry, record.get(), "location", recordLocation) &&
                  WriteText(registry, record.get(), "path", path) &&
                  WriteText(registry, record.get(), "backup", backup);
        if (!written) {
            record.Close();
            if (created)
                registry.DeleteTree(hkey::kLocalMachine,
                                    Joined(startupkey::kFolderRecords, subKey).c_str());
            records.Close();
            DropEmptyRecordKey(registry, startupkey::kFolderRecords);
            // The copy is the shortcut's twin and the shortcut stays.
            files.DeleteFile(backup);
            return false;
        }
    }
    files.DeleteFile(path);
    return true;
}

SwitchOutcome SwitchOffShortcut(const StartupServices& services, const StartupItem& row) {
    const char* recordLocation = RecordLocationOf(row.location);
    if (recordLocation == nullptr) return SwitchOutcome::kFailed;
    const std::string folder = StartupFolderOf(services.registry, row.location);
    const std::vector<std::string> matches = ShortcutsTitled(services.files, folder, row.name);
    if (matches.empty()) return SwitchOutcome::kNotFound;

    std::string pss;
    if (services.files.SpecialFolder(csidl::kWindows, pss)) {
        if (!pss.empty() && pss.back() == '\\') pss.pop_back();
        services.files.CreateFolder(pss + "\\pss");
    }
    bool parkedAny = false;
    for (const std::string& fileName : matches)
        parkedAny = ParkShortcut(services, row, folder, fileName, recordLocation) || parkedAny;
    return parkedAny ? SwitchOutcome::kSwitched : SwitchOutcome::kFailed;
}

SwitchOutcome SwitchOnRunValue(const StartupServices& services, const std::string& name) {
    RegistryService& registry = services.registry;
    std::vector<std::string> restored;
    bool matched = false;
    {
        RegKey records(registry);
        if (records.Open(hkey::kLocalMachine, startupkey::kRegistryRecords, access::kAllAccess) !=
            status::kSuccess)
            return SwitchOutcome::kNotFound;
        std::string subKey;
        for (uint32_t index = 0;
             scan::EnumKeyName(registry, records.get(), index, subKey) == status::kSuccess;
             ++index) {
            if (subKey != name) continue;
            matched = true;
            RegKey record(registry);
            if (record.Open(records.get(), subKey.c_str(), access::kAllAccess) != status::kSuccess)
                continue;
            std::string hkeyText, keyText, item;
            HKey root = hkey::kNull;
            const char* runPath = nullptr;
            RawValue command;
            // A record that cannot be put back in full stays where it is.
            if (!ReadText(registry, record.get(), "hkey", hkeyText) ||
                !ReadText(registry, record.get(), "key", keyText) ||
                !RunKeyOf(hkeyText, keyText, root, runPath) ||
                !ReadText(registry, record.get(), "item", item) || item.empty() ||
                ReadRawValue(registry, record.get(), "command", command) != status::kSuccess)
                continue;
            RegKey run(registry);
            if (run.Create(root, runPath, access::kAllAccess) != status::kSuccess ||
                !WriteRaw(registry, run.get(), item.c_str(), command))
                continue;
            restored.push_back(subKey);
        }
    }
    for (const std::string& subKey : restored)
        registry.DeleteTree(hkey::kLocalMachine,
                            Joined(startupkey::kRegistryRecords, subKey).c_str());
    DropEmptyRecordKey(registry, startupkey::kRegistryRecords);
    if (!restored.empty()) return SwitchOutcome::kSwitched;
    return matched ? SwitchOutcome::kFailed : SwitchOutcome::kNotFound;
}

// Fills `buffer` unless the stream ends first; returns the bytes read.
size_t ReadFull(FileStream& stream, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t got = stream.Read(buffer + done, size - done);
        if (got == 0) break;
        done += got;
    }
    return done;
}

struct ParkedShortcut {
    std::string subKey;
    std::string path;
    std::string backup;
};

SwitchOutcome SwitchOnShortcut(const StartupServices& services, const std::string& name,
                               const std::string& where) {
    RegistryService& registry = services.registry;
    FileProbe& files = services.files;
    const char* recordLocation = RecordLocationOf(where);
    if (recordLocation == nullptr) return SwitchOutcome::kFailed;

    // The records of this title in this location. A record that lacks a
    // value needed to put its shortcut back is passed over, so that it
    // cannot keep the records after it from being switched on; the command
    // is only shown, and may be empty (a shortcut that could not be read).
    std::vector<ParkedShortcut> parked;
    {
        RegKey records(registry);
        if (records.Open(hkey::kLocalMachine, startupkey::kFolderRecords, kReadSetCreate) !=
            status::kSuccess)
            return SwitchOutcome::kNotFound;
        std::string subKey;
        for (uint32_t index = 0;
             scan::EnumKeyName(registry, records.get(), index, subKey) == status::kSuccess;
             ++index) {
            RegKey record(registry);
            if (record.Open(records.get(), subKey.c_str(), kReadSetCreate) != status::kSuccess)
                continue;
            std::string recordWhere, item;
            ParkedShortcut entry{subKey, {}, {}};
            const bool complete = ReadText(registry, record.get(), "location", recordWhere) &&
                                  ReadText(registry, record.get(), "item", item) &&
                                  ReadText(registry, record.get(), "path", entry.path) &&
                                  ReadText(registry, record.get(), "backup", entry.backup) &&
                                  !entry.path.empty() && !entry.backup.empty();
            if (complete && item == name && recordWhere == recordLocation)
                parked.push_back(std::move(entry));
        }
    }
    if (parked.empty()) return SwitchOutcome::kNotFound;

    bool restoredAny = false;
    for (const ParkedShortcut& entry : parked) {
        const CopyResult copied = CopyFileBytes(files, entry.backup, entry.path);
        if (copied != CopyResult::kCopied || !SameFileBytes(files, entry.backup, entry.path)) {
            if (copied != CopyResult::kNotOpened) files.DeleteFile(entry.path);
            continue;
        }
        restoredAny = true;
        // The parked copy goes only with its record, so that a record never
        // names a copy that is gone.
        if (registry.DeleteKey(hkey::kLocalMachine,
                               Joined(startupkey::kFolderRecords, entry.subKey).c_str()) ==
            status::kSuccess)
            files.DeleteFile(entry.backup);
    }
    DropEmptyRecordKey(registry, startupkey::kFolderRecords);
    return restoredAny ? SwitchOutcome::kSwitched : SwitchOutcome::kFailed;
}

}  // namespace

SwitchOutcome SwitchOffStartupItem(const StartupServices& services, const StartupItem& row) {
    if (row.location.find('/') != std::string::npos) return SwitchOffRunValue(services, row);
    return SwitchOffShortcut(services, row);
}

void RemoveStartupEntry(const StartupServices& services, EntryRemover& remover,
                        const std::string& name, const std::string& /*command*/,
                        const std::string& where) {
    if (where == location::kUserRun || where == location::kMachineRun ||
        where == location::kUserRunOnce || where == location::kMachineRunOnce) {
        std::string hkeyText, keyText;
        SplitRegistryLocation(where, '/', hkeyText, keyText);
        HKey root = hkey::kNull;
        const char* runPath = nullptr;
        bool recordExists = false;
        if (RunKeyOf(hkeyText, keyText, root, runPath) &&
            RecordNamesRunKey(services.registry, name, hkeyText, keyText, recordExists))
            remover.DeleteValue(root, runPath, name);
        return;
    }
    const char* recordLocation = RecordLocationOf(where);
    if (recordLocation == nullptr) return;
    const std::string folder = StartupFolderOf(services.registry, where);
    std::string backup;
    if (folder.empty() || !ParkedCopyPath(services.files, name + ".lnk", recordLocation, backup))
        return;
    const std::string path = folder + "\\" + name + ".lnk";
    if (SameFileBytes(services.files, path, backup)) remover.RemoveFile(path);
}

SwitchOutcome SwitchOnStartupItem(const StartupServices& services, const std::string& name,
                                  const std::string& where) {
    if (where.find('\\') != std::string::npos) return SwitchOnRunValue(services, name);
    return SwitchOnShortcut(services, name, where);
}

bool StartupEntryPresent(const StartupServices& services, const std::string& name,
                         const std::string& where) {
    if (where.find('/') != std::string::npos) {
        std::string hkeyText, keyText;
        SplitRegistryLocation(where, '/', hkeyText, keyText);
        HKey root = hkey::kNull;
        const char* runPath = nullptr;
        if (!RunKeyOf(hkeyText, keyText, root, runPath)) return false;
        RegKey run(services.registry);
        uint32_t size = 0;
        return run.Open(root, runPath, access::kRead) == status::kSuccess &&
               services.registry.QueryValue(run.get(), name.c_str(), nullptr, nullptr, &size) ==
                   status::kSuccess;
    }
    return !ShortcutsTitled(services.files, StartupFolderOf(services.registry, where), name)
                .empty();
}

std::string SwitchedOffLocation(const std::string& where) {
    std::string hkeyText, keyText;
    SplitRegistryLocation(where, '/', hkeyText, keyText);
    if (where.find('/') == std::string::npos) return where;
    return hkeyText + "\\" + keyText;
}

std::string SwitchedOnLocation(const std::string& where) {
    std::string hkeyText, keyText;
    SplitRegistryLocation(where, '\\', hkeyText, keyText);
    HKey root = hkey::kNull;
    const char* runPath = nullptr;
    if (where.find('\\') == std::string::npos || !RunKeyOf(hkeyText, keyText, root, runPath))
        return where;
    return hkeyText + "/" + keyText;
}

CopyResult CopyFileBytes(FileProbe& files, const std::string& source, const std::string& target) {
    std::unique_ptr<FileStream> in = files.OpenFile(source, FileMode::kRead);
    if (!in) return CopyResult::kNotOpened;
    std::unique_ptr<FileStream> out = files.OpenFile(target, FileMode::kCreateAlways);
    if (!out) return CopyResult::kNotOpened;
    uint8_t block[kCopyBlock];
    for (;;) {
        const size_t got = in->Read(block, sizeof block);
        if (got == 0) break;
        if (!out->Write(block, got)) return CopyResult::kIncomplete;
    }
    return out->Flush() ? CopyResult::kCopied : CopyResult::kIncomplete;
}

bool SameFileBytes(FileProbe& files, const std::string& first, const std::string& second) {
    std::unique_ptr<FileStream> a = files.OpenFile(first, FileMode::kRead);
    std::unique_ptr<FileStream> b = a ? files.OpenFile(second, FileMode::kRead) : nullptr;
    if (!a || !b) return false;
    uint8_t left[kCopyBlock];
    uint8_t right[kCopyBlock];
    for (;;) {
        const size_t got = ReadFull(*a, left, sizeof left);
        if (ReadFull(*b, right, sizeof right) != got) return false;
        if (got == 0) return true;
        if (std::memcmp(left, right, got) != 0) return false;
    }
}

}  // namespace qm
