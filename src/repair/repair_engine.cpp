#include "repair/repair_engine.h"

#include <cstdio>
#include <utility>

#include "platform/key_walk.h"
#include "platform/settings_store.h"

namespace qm {

namespace {

// The run's own texts.
constexpr const char* kProblemsFixed = "Problems Fixed";
constexpr const char* kNotSelected = "Not selected";

// The most entries named one by one in the end message.
constexpr size_t kListedEntries = 10;

std::string Printf(const char* format, const std::string& text) {
    const int size = std::snprintf(nullptr, 0, format, text.c_str());
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, format, text.c_str());
    return out;
}

std::string Printf(const char* format, int number) {
    char out[256];
    std::snprintf(out, sizeof out, format, number);
    return out;
}

// Where the class key that HKEY_CLASSES_ROOT shows at `what.path` lies. The
// merged view shows the user's key where HKEY_CURRENT_USER\Software\Classes
// has one at that path (the 32-bit view's "Wow6432Node\..." paths
// included), and the machine's otherwise; a key written through the view
// goes to the machine's. So the key is removed where it lies, and its
// backup names that place and puts it back there. A key found in neither
// place, or one whose place cannot be told, stays named by the view.
void PlaceClassKey(RegistryService& registry, Removal& what) {
    for (const HKey root : {hkey::kCurrentUser, hkey::kLocalMachine}) {
        const std::string physical =
            (root == hkey::kCurrentUser ? "Software\\Classes\\" : "SOFTWARE\\Classes\\") +
            what.path;
        RegKey way(registry);
        RegKey key(registry);
        const Status opened = OpenKeyPath(registry, root, physical, access::kRead, way, key);
        if (opened == status::kFileNotFound) continue;
        if (opened == status::kSuccess || opened == status::kAccessDenied) {
            what.root = root;
            what.path = physical;
        }
        return;
    }
}

// How the end message names an item's entry.
std::string EndMessageEntryName(const FoundItem& item, bool isKey) {
    if (item.category == static_cast<int32_t>(ScanCategory::ComActiveX)) return item.keyPath;
    if (isKey) return item.keyPath + "\\" + item.valueName;
    if (item.valueName.empty()) return item.keyPath + ", default value";
    return item.keyPath + ", value \"" + item.valueName + "\"";
}

}  // namespace

RepairEngine::RepairEngine(RegistryService& registry, BackupStore& backups, EntryRemover& remover,
                           ScanView& view, FoundItemList& items, const ScanCounters& counters,
                           CommandTextSink setCommandText)
    : registry_(registry),
      backups_(backups),
      remover_(remover),
      view_(view),
      items_(items),
      counters_(counters),
      setState_([sink = std::move(setCommandText)](ScanState state) {
          if (sink) sink(CommandCaption(state));
      }) {}

RepairEngine::RepairEngine(ScanDriver& driver, RegistryService& registry, BackupStore& backups,
                           EntryRemover& remover, ScanView& view, BeforeRun beforeRun)
    : RepairEngine(registry, backups, remover, view, driver.items(), driver.counters(), {}) {
    setState_ = [&driver](ScanState state) { driver.SetState(state); };
    driver.SetRepairRoutine([this, beforeRun = std::move(beforeRun)](bool automatic) {
        if (beforeRun && !beforeRun(automatic)) return true;
        RunRepair(automatic);
        return report_.ran;
    });
}

Status RepairEngine::RemovalOf(const FoundItem& item, Removal& what) const {
    const HKey root = ItemRoot(item);
    const std::string subKey = ItemSubKey(item);
    what = Removal{root, subKey, item.valueName, false};
    // The key the value name names below the item's key; an empty name
    // would make the path name the parent key itself.
    const auto namedKey = [&] {
        if (item.valueName.empty()) return status::kInvalidParameter;
        what = Removal{root, subKey + "\\" + item.valueName, "", true};
        return status::kSuccess;
    };
    switch (static_cast<ScanCategory>(item.category)) {
        case ScanCategory::ComActiveX:
            if (root != hkey::kClassesRoot) return status::kBadPathname;
            what = Removal{root, subKey, "", true};
            if (!subKey.empty()) PlaceClassKey(registry_, what);
            return status::kSuccess;
        case ScanCategory::Uninstall:
        case ScanCategory::AppPaths:
            return root == hkey::kLocalMachine ? namedKey() : status::kBadPathname;
        case ScanCategory::Fonts:
        case ScanCategory::SharedDlls:
        case ScanCategory::HelpFiles:
            return root == hkey::kLocalMachine ? status::kSuccess : status::kBadPathname;
        case ScanCategory::WindowsStartup:
            if (root == hkey::kCurrentUser && subKey.find("MenuOrder\\") != std::string::npos)
                return namedKey();
            return root == hkey::kCurrentUser || root == hkey::kLocalMachine ? status::kSuccess
                                                                             : status::kBadPathname;
        case ScanCategory::FilePathReference:
            return root == hkey::kLocalMachine || root == hkey::kUsers ? status::kSuccess
                                                                       : status::kBadPathname;
    }
    return status::kBadPathname;
}

bool RepairEngine::CountResults(const std::vector<const FoundItem*>& items,
                                const std::vector<RemoveResult>& results,
                                const RegTextStream& backup) {
    for (size_t i = 0; i < items.size(); ++i) {
        const FoundItem& item = *items[i];
        const int row = item.category - 1;
        view_.SetStatusText(CategoryFixingText(item.category));
        RemoveResult result = results[i];
        if (result.status == EntryRemover::kDeleted) result.status = status::kSuccess;
        // An item under a root its category does not delete under deletes
        // nothing and counts as repaired.
        if (result == status::kSuccess || result == status::kFileNotFound ||
            result == status::kBadPathname) {
            ++report_.repaired;
            view_.SetDetailsCell(row, kProblemsFixed, false);
            continue;
        }
        if (result == status::kWriteFault && backup.failed()) {
            report_.backupFailed = true;
            return false;
        }
        report_.notRepaired.push_back(
            EndMessageEntryName(item, ItemIsKey(item)) + " (" +
            (result.notBackedUp ? repair_text::kNotBackedUp : repair_text::kNotDeleted) + ")");
    }
    return true;
}

void RepairEngine::RunRepair(bool automatic) {
    report_ = RepairReport{};
    bool ticked[kCategoryCount] = {};
    bool any = false;
    for (int row = 0; row < kCategoryCount; ++row) {
        ticked[row] = view_.IsRowTicked(row);
        any = any || ticked[row];
    }
    if (!any) {
        setState_(ScanState::kFind);
        report_.message = repair_text::kNoRowTicked;
        view_.ShowMessage(report_.message);
        return;
    }

    view_.ShowBusyBar(true);
    view_.ShowClearButton(false);
    view_.ShowStatus(true);
    view_.EnablePageButtons(false);

    std::unique_ptr<RegTextStream> backup =
        backups_.CreateBackupFile(registry_.codePage(), &report_.backupPath);
    if (!backup) {
        // Nothing may be deleted without a backup: the page goes back to
        // where it was before Fix, with the items still there.
        report_.backupFailed = true;
        view_.ShowBusyBar(false);
        view_.ShowStatus(false);
        view_.ShowClearButton(true);
        setState_(items_.Count() > 0 ? ScanState::kFix : ScanState::kFind);
        view_.EnablePageButtons(true);
        report_.message = Printf(repair_text::kNoBackup, backups_.BackupFolder());
        view_.ShowMessage(report_.message);
        return;
    }
    report_.ran = true;
    remover_.SetBackupStream(backup.get());

    // The items are copied out of the list so that no lock is held while
    // the page is updated.
    std::vector<FoundItem> work;
    items_.ForEach([&work](const FoundItem& item) { work.push_back(item); });
    report_.found = static_cast<int>(work.size());
    // Each batch is written to the backup, flushed once and only then
    // deleted.
    RemovalBatch batch(remover_);
    std::vector<const FoundItem*> batched;
    bool going = true;
    for (const FoundItem& item : work) {
        if (!item.selected || item.category < 1 || item.category > kCategoryCount) continue;
        if (!ticked[item.category - 1]) continue;
        Removal what;
        const Status target = RemovalOf(item, what);
        batched.push_back(&item);
        const bool due =
            target == status::kSuccess ? batch.Add(&what) : batch.Add(nullptr, {target});
        if (!due && !backup->failed()) continue;
        going = CountResults(batched, batch.Flush(), *backup);
        batched.clear();
        if (!going) break;
    }
    if (going && !batched.empty()) CountResults(batched, batch.Flush(), *backup);
    remover_.SetBackupStream(nullptr);

    SettingsStore(registry_).WriteNumber(kProductName, setting::kLastFoundErrors,
                                         report_.found - report_.repaired);
    view_.ShowBusyBar(false);
    view_.ShowStatus(false);
    // Every entry was flushed before it was deleted; a failing close loses
    // nothing that was deleted.
    backup->Close();
    setState_(ScanState::kFind);
    if (!automatic) view_.NotifyRepairFinished();
    for (int row = 0; row < kCategoryCount; ++row) {
        if (ticked[row])
            view_.SetDetailsCell(
                row, Printf("%d errors found/fixed", counters_.categoryCount[row + 1]), false);
        else
            view_.SetDetailsCell(row, kNotSelected, false);
    }
    items_.Clear();
    view_.EnablePageButtons(true);
    ShowEndMessage();
}

void RepairEngine::ShowEndMessage() {
    std::string message;
    if (report_.backupFailed) message = Printf(repair_text::kBackupWriteFailed, report_.backupPath);
    if (!report_.notRepaired.empty()) {
        if (!message.empty()) message += "\n\n";
        message += Printf(repair_text::kLeftInPlace, static_cast<int>(report_.notRepaired.size()));
        for (size_t i = 0; i < report_.notRepaired.size() && i < kListedEntries; ++i)
            message += "\n" + report_.notRepaired[i];
        if (report_.notRepaired.size() > kListedEntries)
            message += Printf("\n... and %d more.",
                              static_cast<int>(report_.notRepaired.size() - kListedEntries));
    }
    report_.message = message;
    if (!message.empty()) view_.ShowMessage(message);
}

}  // namespace qm
