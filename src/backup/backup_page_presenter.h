// What the Backup and Recovery page does, without the window: it lists the
// backup files, restores the checked ones through an importer (the system
// registry editor on Windows) and removes the checked ones.
//
// A restore counts only when the registry afterwards holds everything the
// file describes (see restore_check.h); only then is the file deleted. A
// file that did not come back stays in the folder for another try.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "backup/backup_store.h"
#include "backup/restore_check.h"
#include "platform/file_probe.h"
#include "platform/registry_service.h"

namespace qm {

// The page's fixed texts.
namespace backup_text {
inline constexpr const char* kNothingToRestore = "Please select a item to restore!";
inline constexpr const char* kNothingToRemove = "You have not checked any thing to Remove";
inline constexpr const char* kRestored = "Succesfully Restored";
inline constexpr const char* kNotRestored = "Could not restore";
inline constexpr const char* kNotStarted = "error";
}  // namespace backup_text

// A moment on the clock of the machine's time zone, field by field.
struct CalendarTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct BackupRow {
    std::string name;  // column 0: the file name
    std::string time;  // column 1: "%d-%d-%d (%d-%d-%d)", local creation time
    std::string size;  // column 2: the size in bytes
};

// The page's list and message boxes.
class BackupView {
  public:
    virtual ~BackupView() = default;
    virtual void DeleteAllRows() = 0;
    // Inserts a row at position 0, above every other row.
    virtual void InsertRowAtTop(const BackupRow& row) = 0;
    virtual int RowCount() const = 0;
    virtual bool IsRowChecked(int row) const = 0;
    virtual std::string RowName(int row) const = 0;
    // A message box with the caption "Error" and the error icon.
    virtual void ShowError(const std::string& text) = 0;
    // A message box with the program's title as caption and an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
};

class BackupPagePresenter {
  public:
    using Importer = BackupImporter;
    // A file time (FILETIME units, UTC) on the local clock.
    using LocalClock = std::function<CalendarTime(uint64_t fileTime)>;

    BackupPagePresenter(RegistryService& registry, FileProbe& files, const BackupStore& backups,
                        BackupView& view, Importer importer, LocalClock clock)
        : registry_(registry),
          files_(files),
          backups_(backups),
          view_(view),
          importer_(std::move(importer)),
          clock_(std::move(clock)) {}

    // Lists the Backup folder afresh, each file inserted at the top.
    void Refresh();

    // Restores every checked row's file in row order, then shows one closing
    // message and lists the folder afresh. Returns how many were restored.
    int Restore();

    // Deletes every file of the folder whose name is exactly a checked row's
    // text, then lists the folder afresh.
    void Remove();

    static std::string FormatTime(const CalendarTime& time);

  private:
    bool AnyChecked() const;
    bool RestoreFile(const std::string& name);
    std::string PathOf(const std::string& name) const;

    RegistryService& registry_;
    FileProbe& files_;
    const BackupStore& backups_;
    BackupView& view_;
    Importer importer_;
    LocalClock clock_;
};

// A file time (100 ns units since 1 January 1601) broken into calendar
// fields without any time zone; add the zone's offset first for local time.
CalendarTime CalendarFromFileTime(uint64_t fileTime);

}  // namespace qm
