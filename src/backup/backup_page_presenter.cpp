#include "backup/backup_page_presenter.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/registry_names.h"

namespace qm {

std::string BackupPagePresenter::FormatTime(const CalendarTime& time) {
    char text[96];
    std::snprintf(text, sizeof text, "%d-%d-%d (%d-%d-%d)", time.day, time.month, time.year,
                  time.hour, time.minute, time.second);
    return text;
}

void BackupPagePresenter::Refresh() {
    view_.DeleteAllRows();
    for (const BackupEntry& entry : backups_.ListBackups()) {
        view_.InsertRowAtTop(BackupRow{entry.name, FormatTime(clock_(entry.creationTime)),
                                       std::to_string(entry.size)});
    }
}

bool BackupPagePresenter::AnyChecked() const {
    for (int row = 0; row < view_.RowCount(); ++row)
        if (view_.IsRowChecked(row)) return true;
    return false;
}

std::string BackupPagePresenter::PathOf(const std::string& name) const {
    std::string path = backups_.BackupFolder();
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path.push_back('\\');
    return path + name;
}

int BackupPagePresenter::Restore() {
    if (!AnyChecked()) {
        view_.ShowError(backup_text::kNothingToRestore);
        return 0;
    }
    int restored = 0;
    bool all = true;
    for (int row = 0; row < view_.RowCount(); ++row) {
        if (!view_.IsRowChecked(row)) continue;
        if (RestoreFile(view_.RowName(row)))
            ++restored;
        else
            all = false;
    }
    view_.ShowMessage(all ? backup_text::kRestored : backup_text::kNotRestored);
    Refresh();
    return restored;
}

// Imports the one file whose name is the row's text, whole (without regard
// to case, as Windows names go; the exact spelling first), and deletes it
// once the registry holds all it describes.
bool BackupPagePresenter::RestoreFile(const std::string& name) {
    if (name.empty()) return false;
    std::vector<FileEntry> entries;
    if (files_.ListFolder(PathOf("*.*"), entries) != status::kSuccess) return false;
    const FileEntry* match = nullptr;
    for (const FileEntry& entry : entries) {
        if (entry.isDirectory || !NamesEqual(entry.name, name)) continue;
        if (match == nullptr || entry.name == name) match = &entry;
    }
    // The file has left the folder since the list was made.
    if (match == nullptr) return false;
    const RestoreResult result =
        RestoreBackupFile(registry_, files_, importer_, PathOf(match->name));
    if (result.started != status::kSuccess) {
        view_.ShowMessage(backup_text::kNotStarted);
        return false;
    }
    // A file that cannot be deleted stays listed; its entries are back all
    // the same.
    return result.check.complete;
}

void BackupPagePresenter::Remove() {
    if (!AnyChecked()) {
        view_.ShowError(backup_text::kNothingToRemove);
        return;
    }
    for (int row = 0; row < view_.RowCount(); ++row) {
        if (!view_.IsRowChecked(row)) continue;
        const std::string name = view_.RowName(row);
        std::vector<FileEntry> entries;
        if (name.empty() || files_.ListFolder(PathOf("*.*"), entries) != status::kSuccess) continue;
        for (const FileEntry& entry : entries)
            if (!entry.isDirectory && entry.name == name) files_.DeleteFile(PathOf(entry.name));
    }
    Refresh();
}

CalendarTime CalendarFromFileTime(uint64_t fileTime) {
    const uint64_t seconds = fileTime / 10000000u;
    auto days = static_cast<int64_t>(seconds / 86400u);
    const auto rest = static_cast<int>(seconds % 86400u);
    CalendarTime time;
    time.hour = rest / 3600;
    time.minute = rest / 60 % 60;
    time.second = rest % 60;
    // Days since 1601-01-01 to a civil date (the proleptic Gregorian
    // calendar, in 400-year eras starting on 1 March).
    days += 584694;  // days from 0000-03-01 to 1601-01-01
    const int64_t era = days / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
    time.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    time.year = static_cast<int>(era * 400 + yearOfEra + (time.month <= 2 ? 1 : 0));
    return time;
}

}  // namespace qm
