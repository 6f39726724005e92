// Backing up and deleting a 10,000-key subtree through the entry remover,
// against Wine's own "reg export" of the same subtree, in one run on the
// live registry (under Wine, or on Windows):
//
//   cmake/wine-run.sh <windows build>/bench/backup_delete_bench.exe
//
//   (an argument sets the number of rounds, 3 by default; a second one,
//   "repair", runs the repair of many entries alone)
//
// The subtree is HKEY_CURRENT_USER\Software\QuillmendBench: the top key,
// 99 keys below it and 100 below each of those, every key with a text value
// and a number. reg.exe is timed as a whole process (its start-up time is
// reported too); the backup and delete is timed from opening the backup file
// to the last deletion.
//
// Then a repair of 2,000 entries (values of one key), alternated: each entry
// flushed on its own, as the repair did before, against batches that share
// one flush (RemovalBatch, as the repair does now). The disk syncs of each
// are counted.
#include <windows.h>
// <windows.h> renames DeleteFile; the file probe's method keeps its name.
#undef DeleteFile

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "backup/reg_text_stream.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "repair/entry_remover.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kTree = "Software\\QuillmendBench";

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs a command line and waits; the seconds it took, or -1.
double RunTimed(const std::string& command) {
    std::string line = command;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const auto start = Clock::now();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    const double seconds = Since(start);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return seconds;
}

int MakeTree(qm::RegistryService& registry) {
    int keys = 0;
    auto fill = [&](qm::HKey key, int n) {
        const std::string text = "C:\\Program Files\\Bench\\file" + std::to_string(n) + ".dll";
        registry.SetValue(key, "Path", qm::regtype::kSz,
                          reinterpret_cast<const uint8_t*>(text.c_str()),
                          static_cast<uint32_t>(text.size() + 1));
        const uint32_t number = static_cast<uint32_t>(n);
        registry.SetValue(key, "Count", qm::regtype::kDword,
                          reinterpret_cast<const uint8_t*>(&number), 4);
        ++keys;
    };
    qm::RegKey top(registry);
    if (top.Create(qm::hkey::kCurrentUser, kTree, qm::access::kAllAccess) != 0) return 0;
    fill(top.get(), 0);
    for (int i = 0; i < 99; ++i) {
        qm::RegKey middle(registry);
        middle.Create(top.get(), ("Group " + std::to_string(i)).c_str(), qm::access::kAllAccess);
        fill(middle.get(), i);
        for (int j = 0; j < 100; ++j) {
            qm::RegKey leaf(registry);
            leaf.Create(middle.get(), ("Entry " + std::to_string(j)).c_str(),
                        qm::access::kAllAccess);
            fill(leaf.get(), j);
        }
    }
    return keys;
}

// A file stream that counts the flushes of the one it wraps.
class CountedFile : public qm::FileStream {
  public:
    CountedFile(std::unique_ptr<qm::FileStream> file, int& flushes)
        : file_(std::move(file)), flushes_(flushes) {}
    size_t Read(void* buffer, size_t size) override { return file_->Read(buffer, size); }
    bool Write(const void* data, size_t size) override { return file_->Write(data, size); }
    bool Flush() override {
        ++flushes_;
        return file_->Flush();
    }
    bool Truncate(uint64_t size) override { return file_->Truncate(size); }

  private:
    std::unique_ptr<qm::FileStream> file_;
    int& flushes_;
};

constexpr const char* kValuesKey = "Software\\QuillmendBenchValues";
constexpr int kEntries = 2000;

// Backs up and deletes kEntries values, one flush each or in batches; the
// seconds it took, with the flushes counted and whether all went.
double RepairValues(qm::RegistryService& registry, qm::Win32FileProbe& files,
                    const std::string& backup, bool batched, int& flushes, bool& allDeleted) {
    std::vector<qm::Removal> removals;
    {
        qm::RegKey key(registry);
        key.Create(qm::hkey::kCurrentUser, kValuesKey, qm::access::kAllAccess);
        for (int i = 0; i < kEntries; ++i) {
            const std::string name = "C:\\Program Files\\Bench\\file" + std::to_string(i) + ".dll";
            const uint32_t count = 1;
            registry.SetValue(key.get(), name.c_str(), qm::regtype::kDword,
                              reinterpret_cast<const uint8_t*>(&count), 4);
            removals.push_back(qm::Removal{qm::hkey::kCurrentUser, kValuesKey, name, false});
        }
    }
    files.DeleteFile(backup);
    flushes = 0;
    const auto start = Clock::now();
    qm::RegTextStream stream(
        std::make_unique<CountedFile>(files.OpenFile(backup, qm::FileMode::kCreateNew), flushes),
        qm::RegTextStream::Encoding::kCodePage);
    stream.Append("REGEDIT4\n");
    qm::EntryRemover remover(registry, files);
    remover.SetBackupStream(&stream);
    std::vector<qm::RemoveResult> results;
    qm::RemovalBatch batch(remover);
    for (const qm::Removal& removal : removals) {
        if (!batched) {
            results.push_back(remover.Remove(removal));
        } else if (batch.Add(&removal)) {
            for (const qm::RemoveResult& result : batch.Flush()) results.push_back(result);
        }
    }
    for (const qm::RemoveResult& result : batch.Flush()) results.push_back(result);
    stream.Close();
    const double seconds = Since(start);
    for (const qm::RemoveResult& result : results)
        allDeleted = allDeleted && result == qm::status::kSuccess;
    allDeleted = allDeleted && results.size() == removals.size();
    files.DeleteFile(backup);
    registry.DeleteTree(qm::hkey::kCurrentUser, kValuesKey);
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // A second argument "repair" runs the repair comparison alone.
    const bool repairOnly = argc > 2 && std::string(argv[2]) == "repair";
    qm::Win32Registry registry;
    qm::Win32FileProbe files;
    std::string temp;
    files.ExpandEnvironment("%TEMP%", temp);
    const std::string exported = temp + "\\qm-bench-reg-export.reg";
    const std::string backup = temp + "\\qm-bench-backup.reg";
    const std::string reg =
        "reg.exe export HKCU\\" + std::string(kTree) + " \"" + exported + "\" /y";

    // Rounds alternate between the two, so that a busy machine weighs on
    // both alike; the medians are compared.
    std::vector<double> regTimes, startupTimes, exportTimes, writeTimes, removeTimes;
    int keys = 0;
    uint64_t size = 0;
    bool allDeleted = true;
    for (int round = 0; round < (repairOnly ? 0 : rounds); ++round) {
        registry.DeleteTree(qm::hkey::kCurrentUser, kTree);
        keys = MakeTree(registry);
        if (round == 0) RunTimed(reg);  // once to warm up
        startupTimes.push_back(RunTimed("reg.exe query HKCU\\Software\\QuillmendBenchMissing"));
        regTimes.push_back(RunTimed(reg));
        files.DeleteFile(exported);

        files.DeleteFile(backup);
        const auto start = Clock::now();
        qm::RegTextStream stream(files.OpenFile(backup, qm::FileMode::kCreateNew),
                                 qm::RegTextStream::Encoding::kCodePage);
        stream.Append("REGEDIT4\n");
        qm::EntryRemover remover(registry, files);
        remover.SetBackupStream(&stream);
        const qm::Status deleted = remover.DeleteKeyTree(qm::hkey::kCurrentUser, kTree);
        stream.Close();
        removeTimes.push_back(Since(start));
        size = stream.size();
        allDeleted = allDeleted && deleted == qm::EntryRemover::kDeleted;
        files.DeleteFile(backup);

        // The export alone, on a fresh tree, for the breakdown.
        MakeTree(registry);
        const auto exportStart = Clock::now();
        std::string text;
        qm::RegExportWriter(registry).ExportKeyText(qm::hkey::kCurrentUser, kTree, text);
        exportTimes.push_back(Since(exportStart));
        // Writing that text and flushing it to the disk, alone.
        files.DeleteFile(backup);
        const auto writeStart = Clock::now();
        qm::RegTextStream file(files.OpenFile(backup, qm::FileMode::kCreateNew),
                               qm::RegTextStream::Encoding::kCodePage);
        file.Append(text);
        file.Close();
        writeTimes.push_back(Since(writeStart));
        files.DeleteFile(backup);
    }
    registry.DeleteTree(qm::hkey::kCurrentUser, kTree);

    // The repair of many entries: one flush each, against batches.
    std::vector<double> eachTimes, batchTimes;
    int eachFlushes = 0, batchFlushes = 0;
    for (int round = 0; round < rounds; ++round) {
        eachTimes.push_back(RepairValues(registry, files, backup, false, eachFlushes, allDeleted));
        batchTimes.push_back(RepairValues(registry, files, backup, true, batchFlushes, allDeleted));
    }

    if (!repairOnly) {
        const double regExport = Median(regTimes), startup = Median(startupTimes);
        const double backupAndDelete = Median(removeTimes);
        std::printf("keys in the subtree:        %d, %d rounds, medians below\n", keys, rounds);
        std::printf("reg export:                 %.3f s (reg.exe start-up alone: %.3f s)\n",
                    regExport, startup);
        std::printf("backup and delete:          %.3f s (%s, backup file %llu bytes)\n",
                    backupAndDelete, allDeleted ? "deleted" : "NOT deleted",
                    static_cast<unsigned long long>(size));
        std::printf("  reading the subtree:      %.3f s (measured alone)\n", Median(exportTimes));
        std::printf("  writing and flushing it:  %.3f s (measured alone)\n", Median(writeTimes));
        std::printf("ratio backup+delete/export: %.2f\n", backupAndDelete / regExport);
        std::printf("ratio without reg start-up: %.2f\n", backupAndDelete / (regExport - startup));
    }
    std::printf(
        "repair of %d entries:       one flush each %.3f s, %d flushes; batched %.3f s, "
        "%d flushes (target <= %d)\n",
        kEntries, Median(eachTimes), eachFlushes, Median(batchTimes), batchFlushes,
        kEntries / 100 + 2);
    std::printf("ratio one flush each/batched: %.2f (%s)\n", Median(eachTimes) / Median(batchTimes),
                allDeleted ? "all deleted" : "NOT all deleted");
    return allDeleted ? 0 : 1;
}
