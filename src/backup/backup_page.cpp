#include "backup/backup_page.h"

#include "backup/regedit_import.h"
#include "resource.h"

namespace qm {

namespace {

constexpr const char* kProgramTitle = "Quillmend";
constexpr const char* kDescription =
    "Select the options you want to Restore and click \"Restore\" or click \"Remove\" button "
    "to delete backup File permanently.\nClick on the item to see its description bellow.";
// Gridlines, check boxes, full-row selection and flat scroll bars.
constexpr DWORD kListStyles =
    LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB;
static_assert(kListStyles == 0x125);
constexpr COLORREF kWhite = RGB(255, 255, 255);

}  // namespace

CalendarTime LocalCalendarTime(uint64_t fileTime) {
    FILETIME utc{};
    utc.dwLowDateTime = static_cast<DWORD>(fileTime);
    utc.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    SYSTEMTIME universal{}, local{};
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return CalendarFromFileTime(fileTime);
    return CalendarTime{local.wYear, local.wMonth,  local.wDay,
                        local.wHour, local.wMinute, local.wSecond};
}

CRegBackup::CRegBackup(HINSTANCE instance, RegistryService& registry, FileProbe& files,
                       BackupStore& backups)
    : Page(instance, IDD_BACKUP),
      presenter_(
          registry, files, backups, *this,
          [](const std::string& path) { return ImportWithRegedit(path); }, LocalCalendarTime) {
    BindCommand(
        IDC_BACKUP_RESTORE, [this](int) { presenter_.Restore(); }, BN_CLICKED);
    BindCommand(
        IDC_BACKUP_REMOVE, [this](int) { presenter_.Remove(); }, BN_CLICKED);
}

bool CRegBackup::OnInit() {
    ApplyLayout();
    list_.Attach(Item(IDC_BACKUP_LIST));
    list_.AddExtendedStyle(kListStyles);
    list_.InsertColumn(0, "Name", 280);
    list_.InsertColumn(1, "Date and Time", 128);
    list_.InsertColumn(2, "Size", 70);
    description_.Bind(hwnd_, IDC_BACKUP_DESCRIPTION);
    description_.ApplyStyle(true, "Arial", 10, RGB(0, 0, 0), kWhite);
    description_.SetLabelText(kDescription);
    title_.Bind(hwnd_, IDC_BACKUP_TITLE);
    title_.ApplyStyle(true, "Arial", 15, ui::kTitleColour, kWhite);
    title_.SetLabelText("Backup and Recovery");
    RefreshBackupList();
    return true;
}

void CRegBackup::RefreshBackupList() {
    if (list_) presenter_.Refresh();
}

void CRegBackup::DeleteAllRows() {
    list_.DeleteAllItems();
}

void CRegBackup::InsertRowAtTop(const BackupRow& row) {
    if (list_.InsertItem(0, row.name.c_str()) != 0) return;
    list_.SetItemText(0, 1, row.time.c_str());
    list_.SetItemText(0, 2, row.size.c_str());
}

int CRegBackup::RowCount() const {
    return list_.ItemCount();
}

bool CRegBackup::IsRowChecked(int row) const {
    return list_.IsChecked(row);
}

std::string CRegBackup::RowName(int row) const {
    return list_.ItemText(row, 0);
}

void CRegBackup::ShowError(const std::string& text) {
    MessageBoxA(hwnd_, text.c_str(), "Error", MB_OK | MB_ICONERROR);
}

void CRegBackup::ShowMessage(const std::string& text) {
    MessageBoxA(hwnd_, text.c_str(), kProgramTitle, MB_OK);
}

}  // namespace qm
