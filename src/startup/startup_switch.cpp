#include "startup/startup_switch.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/c_text.h"
#include "platform/value_text.h"
#include "repair/entry_remover.h"
#include "scan/scan_reads.h"
#include "startup/run_places.h"
#include "startup/startup_sources.h"
#include "startup/system_switch.h"

namespace qm {

namespace {

constexpr uint32_t kReadSetCreate = access::kRead | access::kSetValue | access::kCreateSubKey;
constexpr size_t kCopyBlock = 1024;

// Record location values and the folder records' values.
constexpr const char* kUserRecordLocation = "Startup";
constexpr const char* kCommonRecordLocation = "Common Startup";

// A Run value's own type and bytes, kept in its record beside "command"
// (which is plain text, as the System Configuration Utility reads it) when
// that text alone would not give the value back.
constexpr const char* kOwnCommand = "QuillmendCommand";

// An item whose record name is taken is parked as "<name> (2)", "(3)" ...
// up to this number.
constexpr int kParkedNames = 100;

// A value's type and bytes, whatever their size.
struct RawValue {
    uint32_t type = regtype::kNone;
    std::vector<uint8_t> bytes;
};

Status ReadRawValue(RegistryService& registry, HKey key, const char* name, RawValue& value) {
    return ReadValueBytes(registry, key, name, value.type, value.bytes);
}

bool operator==(const RawValue& a, const RawValue& b) {
    return a.type == b.type && a.bytes == b.bytes;
}

// The text of a value's bytes: up to the first zero byte.
std::string TextOf(const RawValue& value) {
    return std::string(
        CText({reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size()}));
}

// The value a startupreg record puts back: its own type and bytes when this
// program kept them and they still agree with "command", else "command" as
// it is (REG_SZ in records that other tools write).
Status RecordCommand(RegistryService& registry, HKey record, RawValue& command) {
    const Status read = ReadRawValue(registry, record, "command", command);
    if (read != status::kSuccess) return read;
    RawValue own;
    if (ReadRawValue(registry, record, kOwnCommand, own) == status::kSuccess &&
        TextOf(own) == TextOf(command))
        command = std::move(own);
    return status::kSuccess;
}

// "<name>" for the first try, then "<name> (2)", "<name> (3)" ...
std::string ParkedName(const std::string& name, int attempt) {
    return attempt == 1 ? name : name + " (" + std::to_string(attempt) + ")";
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

// The place of a record's "hkey" and "key" texts, when it can be written
// back: a 32-bit programs' key only where the registry has one.
const RunPlace* RecordPlace(RegistryService& registry, const std::string& hkeyText,
                            const std::string& keyText) {
    const RunPlace* place = RunPlaceOfRecord(hkeyText, keyText);
    if (place != nullptr && place->thirtyTwoBit && !HasTwoViews(registry)) return nullptr;
    return place;
}

// The record location of a Startup-folder location, or null.
const char* RecordLocationOf(const std::string& where) {
    if (where == location::kUserStartup) return kUserRecordLocation;
    if (where == location::kCommonStartup) return kCommonRecordLocation;
    return nullptr;
}

// A record subkey takes the item's name: it must name exactly one key
// below the record key, so it holds no backslash character (a double-byte
// character's second byte may have the backslash's value and is no
// separator).
bool UsableRecordName(const std::string& name, const CodePage& codePage) {
    return !name.empty() && codePage.Find(name, '\\') == std::string::npos;
}

std::string Joined(const char* parent, const std::string& child) {
    return std::string(parent) + "\\" + child;
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

// Writes the record `name` below the record key `records` (created when
// missing) through `write`. When any part fails, a record this call created
// goes again, and so do the record keys that leaves empty: a record is
// written whole or not at all.
bool WriteRecord(RegistryService& registry, const char* records, const std::string& name,
                 const std::function<bool(HKey record)>& write) {
    bool created = false;
    {
        RegKey parent(registry), record(registry);
        if (parent.Create(hkey::kLocalMachine, records, access::kWrite) == status::kSuccess &&
            record.Create(parent.get(), name.c_str(), access::kWrite, &created) ==
                status::kSuccess &&
            write(record.get()))
            return true;
    }
    if (created) registry.DeleteTree(hkey::kLocalMachine, Joined(records, name).c_str());
    DropEmptyRecordKey(registry, records);
    return false;
}

// Whether the startupreg record named `name` belongs to the given Run key.
// `exists` tells whether there is such a record at all.
bool RecordNamesRunKey(RegistryService& registry, const std::string& name, const RunPlace& place,
                       bool& exists) {
    RegKey record(registry);
    exists = record.Open(hkey::kLocalMachine, Joined(startupkey::kRegistryRecords, name).c_str(),
                         access::kRead) == status::kSuccess;
    if (!exists) return false;
    std::string recordHkey, recordKey;
    return ReadText(registry, record.get(), "hkey", recordHkey) &&
           ReadText(registry, record.get(), "key", recordKey) &&
           RunPlaceOfRecord(recordHkey, recordKey) == &place;
}

// How a startupreg record of a name stands to a Run value being switched
// off: there is none, it is that value's own record (from an earlier
// switch-off whose deletion failed), or it holds another item.
enum class RecordMatch { kNone, kSame, kOther };

RecordMatch MatchRunRecord(RegistryService& registry, const std::string& recordName,
                           const RunPlace& place, const RawValue& value) {
    RegKey record(registry);
    if (record.Open(hkey::kLocalMachine, Joined(startupkey::kRegistryRecords, recordName).c_str(),
                    access::kRead) == status::kFileNotFound)
        return RecordMatch::kNone;
    std::string item, recordHkey, recordKey;
    RawValue command;
    const bool same = record.IsOpen() && ReadText(registry, record.get(), "item", item) &&
                      ReadText(registry, record.get(), "hkey", recordHkey) &&
                      ReadText(registry, record.get(), "key", recordKey) &&
                      RecordCommand(registry, record.get(), command) == status::kSuccess &&
                      item == recordName && RunPlaceOfRecord(recordHkey, recordKey) == &place &&
                      command == value;
    return same ? RecordMatch::kSame : RecordMatch::kOther;
}

SwitchOutcome SwitchOffRunValue(const StartupServices& services, const StartupItem& row,
                                std::string& parkedName) {
    RegistryService& registry = services.registry;
    const RunPlace* place = RunPlaceOfLocation(row.location);
    if (place == nullptr || !UsableRecordName(row.name, registry.codePage()))
        return SwitchOutcome::kFailed;
    const HKey root = place->root;
    const char* runPath = place->path;

    // The value as it is now: its data and type go into the record.
    RawValue value;
    {
        RegKey run(registry);
        if (run.Open(root, runPath, access::kRead) != status::kSuccess ||
            ReadRawValue(registry, run.get(), row.name.c_str(), value) != status::kSuccess)
            return SwitchOutcome::kNotFound;
    }

    // A record is never overwritten: when the name's record holds another
    // item (one switched off before, of this Run key or the other hive's),
    // this one is parked under the first free "<name> (n)", a name that its
    // Run key does not use either, and comes back under it. Both programs
    // switch such a record on like any other.
    bool written = false;
    for (int attempt = 1; attempt <= kParkedNames && parkedName.empty(); ++attempt) {
        const std::string candidate = ParkedName(row.name, attempt);
        const RecordMatch match = MatchRunRecord(registry, candidate, *place, value);
        if (match == RecordMatch::kSame) {
            parkedName = candidate;
            written = true;
        } else if (match == RecordMatch::kNone &&
                   (attempt == 1 || !StartupEntryPresent(services, candidate, row.location))) {
            parkedName = candidate;
        }
    }
    if (parkedName.empty()) return SwitchOutcome::kFailed;

    if (!written) {
        // "command" is plain text, as the System Configuration Utility
        // writes and reads it; the value's own type and bytes go beside it
        // when the text would not give them back.
        const std::string text = TextOf(value);
        const bool plain = value.type == regtype::kSz && value.bytes.size() == text.size() + 1 &&
                           value.bytes.back() == 0;
        const bool ok =
            WriteRecord(registry, startupkey::kRegistryRecords, parkedName, [&](HKey record) {
                return WriteText(registry, record, "item", parkedName) &&
                       WriteText(registry, record, "command", text) &&
                       WriteText(registry, record, "hkey", place->recordHkey) &&
                       WriteText(registry, record, "key", place->recordKey) &&
                       (plain || WriteRaw(registry, record, kOwnCommand, value));
            });
        if (!ok) return SwitchOutcome::kFailed;
    }

    RegKey run(registry);
    if (run.Open(root, runPath, access::kAllAccess) == status::kSuccess)
        registry.DeleteValue(run.get(), row.name.c_str());
    return SwitchOutcome::kSwitched;
}

// A path as a record key's name: every backslash character becomes '^'.
std::string Caret(std::string path, const CodePage& codePage) {
    for (size_t at = codePage.Find(path, '\\'); at != std::string::npos;
         at = codePage.Find(path, '\\', at + 1))
        path[at] = '^';
    return path;
}

// Whether the startupfolder record `subKey` exists, and whether it names
// `item` with the parked copy `backup`.
bool FolderRecordExists(RegistryService& registry, const std::string& subKey,
                        const std::string& item, const std::string& backup, bool& names) {
    RegKey record(registry);
    const Status opened = record.Open(
        hkey::kLocalMachine, Joined(startupkey::kFolderRecords, subKey).c_str(), access::kRead);
    std::string recordItem, recordBackup;
    names = opened == status::kSuccess && ReadText(registry, record.get(), "item", recordItem) &&
            ReadText(registry, record.get(), "backup", recordBackup) && recordItem == item &&
            recordBackup == backup;
    return opened != status::kFileNotFound;
}

// Parks one shortcut: copy, verify, record, and only then delete it. Its
// record and parked copy are named by the shortcut's file name; when either
// is taken by another shortcut switched off before (by this program or by
// the System Configuration Utility), nothing of it is overwritten: this one
// is parked as "<title> (n)<extension>", a name free in the Startup folder,
// the pss folder and the records, and comes back to the folder under it.
bool ParkShortcut(const StartupServices& services, const StartupItem& row,
                  const std::string& folder, const std::string& fileName,
                  const char* recordLocation, std::string& parkedName) {
    RegistryService& registry = services.registry;
    FileProbe& files = services.files;
    const std::string path = folder + "\\" + fileName;
    const std::string title = TitleOf(fileName);
    const std::string extension = fileName.substr(title.size());

    std::string parkedPath, backup;
    bool parked = false;
    for (int attempt = 1; attempt <= kParkedNames && parkedPath.empty(); ++attempt) {
        const std::string name = ParkedName(title, attempt);
        const std::string candidate = folder + "\\" + name + extension;
        std::string copy;
        if (!ParkedCopyPath(files, name + extension, recordLocation, copy)) return false;
        bool names = false;
        const bool recorded =
            FolderRecordExists(registry, Caret(candidate, registry.codePage()), name, copy, names);
        const bool copied = files.PathExists(copy);
        if (recorded || copied) {
            // The very same shortcut, parked by an earlier switch-off that
            // could not delete it: only the deletion is left to do.
            if (!(names && copied && SameFileBytes(files, path, copy))) continue;
            parked = true;
        } else if (attempt > 1 && files.PathExists(candidate)) {
            continue;
        }
        parkedName = name;
        parkedPath = candidate;
        backup = copy;
    }
    if (parkedPath.empty()) return false;

    if (!parked) {
        const CopyResult copied = CopyFileBytes(files, path, backup);
        if (copied != CopyResult::kCopied || !SameFileBytes(files, path, backup)) {
            if (copied != CopyResult::kNotOpened) files.DeleteFile(backup);
            return false;
        }
        const bool written =
            WriteRecord(registry, startupkey::kFolderRecords,
                        Caret(parkedPath, registry.codePage()), [&](HKey record) {
                            return WriteText(registry, record, "item", parkedName) &&
                                   WriteText(registry, record, "command", row.command) &&
                                   WriteText(registry, record, "location", recordLocation) &&
                                   WriteText(registry, record, "path", parkedPath) &&
                                   WriteText(registry, record, "backup", backup);
                        });
        if (!written) {
            // The copy is the shortcut's twin and the shortcut stays.
            files.DeleteFile(backup);
            return false;
        }
    }
    files.DeleteFile(path);
    return true;
}

SwitchOutcome SwitchOffShortcut(const StartupServices& services, const StartupItem& row,
                                std::string& parkedName) {
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
    for (const std::string& fileName : matches) {
        std::string name;
        if (!ParkShortcut(services, row, folder, fileName, recordLocation, name)) continue;
        parkedAny = true;
        parkedName = name;
    }
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
            const RunPlace* place = nullptr;
            RawValue command;
            // A record that cannot be put back in full stays where it is.
            if (!ReadText(registry, record.get(), "hkey", hkeyText) ||
                !ReadText(registry, record.get(), "key", keyText) ||
                (place = RecordPlace(registry, hkeyText, keyText)) == nullptr ||
                !ReadText(registry, record.get(), "item", item) || item.empty() ||
                RecordCommand(registry, record.get(), command) != status::kSuccess)
                continue;
            RegKey run(registry);
            if (run.Create(place->root, place->path, access::kAllAccess) != status::kSuccess)
                continue;
            // A value of that name that came back meanwhile (an updater
            // wrote it again) is not overwritten; the record stays, unless
            // the value is the record's own.
            RawValue present;
            if (ReadRawValue(registry, run.get(), item.c_str(), present) == status::kSuccess) {
                if (present == command) restored.push_back(subKey);
                continue;
            }
            if (!WriteRaw(registry, run.get(), item.c_str(), command)) continue;
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
        // A shortcut that came back meanwhile is not overwritten; the
        // record and its copy stay, unless the shortcut is the same.
        const bool present = files.PathExists(entry.path);
        if (present && !SameFileBytes(files, entry.backup, entry.path)) continue;
        if (!present) {
            const CopyResult copied = CopyFileBytes(files, entry.backup, entry.path);
            if (copied != CopyResult::kCopied || !SameFileBytes(files, entry.backup, entry.path)) {
                if (copied != CopyResult::kNotOpened) files.DeleteFile(entry.path);
                continue;
            }
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

SwitchOutcome SwitchOffStartupItem(const StartupServices& services, const StartupItem& row,
                                   std::string* parkedName) {
    std::string name;
    const SwitchOutcome outcome = row.location.find('/') != std::string::npos
                                      ? SwitchOffRunValue(services, row, name)
                                      : SwitchOffShortcut(services, row, name);
    if (parkedName != nullptr) *parkedName = outcome == SwitchOutcome::kSwitched ? name : row.name;
    return outcome;
}

void RemoveStartupEntry(const StartupServices& services, EntryRemover& remover,
                        const std::string& name, const std::string& /*command*/,
                        const std::string& where, const std::string& parkedName) {
    const std::string& recordName = parkedName.empty() ? name : parkedName;
    if (const RunPlace* place = RunPlaceOfLocation(where)) {
        bool recordExists = false;
        if (RecordNamesRunKey(services.registry, recordName, *place, recordExists))
            remover.DeleteValue(place->root, place->path, name);
        return;
    }
    const char* recordLocation = RecordLocationOf(where);
    if (recordLocation == nullptr) return;
    const std::string folder = StartupFolderOf(services.registry, where);
    std::string backup;
    if (folder.empty() ||
        !ParkedCopyPath(services.files, recordName + ".lnk", recordLocation, backup))
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
        const RunPlace* place = RunPlaceOfLocation(where);
        if (place == nullptr) return false;
        RegKey run(services.registry);
        uint32_t size = 0;
        return run.Open(place->root, place->path, access::kRead) == status::kSuccess &&
               services.registry.QueryValue(run.get(), name.c_str(), nullptr, nullptr, &size) ==
                   status::kSuccess;
    }
    return !ShortcutsTitled(services.files, StartupFolderOf(services.registry, where), name)
                .empty();
}

std::string SwitchedOffLocation(const std::string& where) {
    const RunPlace* place = RunPlaceOfLocation(where);
    if (place == nullptr) return where;
    return std::string(place->recordHkey) + "\\" + place->recordKey;
}

std::string SwitchedOnLocation(const std::string& where) {
    const size_t at = where.find('\\');
    if (at == std::string::npos) return where;
    const RunPlace* place = RunPlaceOfRecord(where.substr(0, at), where.substr(at + 1));
    return place == nullptr ? where : place->location;
}

SwitchOutcome ReleaseStartupItem(const StartupServices& services, const StartupItem& row) {
    if (!row.heldBySystem) return SwitchOutcome::kNotFound;
    if (const RunPlace* place = RunPlaceOfLocation(row.location)) {
        if (!StartupEntryPresent(services, row.name, row.location)) return SwitchOutcome::kNotFound;
        return ReleaseFromSystem(services.registry, place->root, place->approvedKey, row.name)
                   ? SwitchOutcome::kSwitched
                   : SwitchOutcome::kFailed;
    }
    if (RecordLocationOf(row.location) == nullptr) return SwitchOutcome::kFailed;
    const std::vector<std::string> files =
        ShortcutsTitled(services.files, StartupFolderOf(services.registry, row.location), row.name);
    if (files.empty()) return SwitchOutcome::kNotFound;
    bool released = true;
    for (const std::string& file : files)
        released = ReleaseFromSystem(services.registry, ApprovedRootOf(row.location),
                                     startupkey::kApprovedStartupFolder, file) &&
                   released;
    return released ? SwitchOutcome::kSwitched : SwitchOutcome::kFailed;
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
