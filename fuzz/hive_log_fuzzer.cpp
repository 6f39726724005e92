// Recovery of a hive from its transaction logs on any bytes. The input is a
// hive file and its two logs: a 4-byte length of the hive, a 4-byte length
// of .LOG1, the hive, .LOG1, and the rest as .LOG2 (shorter input is a hive
// alone). Properties:
//  - RecoverHive on the bytes: a hive told recovered holds a clean base
//    block (equal sequence numbers, a right checksum, a primary file) and
//    exactly the hive data that base block gives, with the logs used named
//    (one, for the old format) and, for the new format, at least one entry
//    applied; a hive told unusable says why;
//  - opening the files as the hive backend does: refused with
//    "<file>: <reason>", the reason one the backend names (truncated, bad
//    header, bad cell), or a tree that the registry functions walk to the
//    end without finding damage, with a notice exactly when the hive was
//    recovered and a warning when its logs could not be used;
//  - nothing is ever written to the hive or its logs.
// The seeds are small hives made dirty, with logs in both formats written
// as the format describes them, and a clean hive with a stale log.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/hive_walk.h"
#include "platform/hive/hive_bytes.h"
#include "platform/hive/hive_log.h"
#include "platform/hive/hive_registry.h"

namespace {

using namespace qm;
using qm::fuzz::Check;
namespace fs = std::filesystem;

using fuzz::ReadBytes;
using fuzz::WriteBytes;
using hive::Le32;

hive::Recovery CheckRecovery(std::string_view hive, const std::vector<hive::LogFile>& logs) {
    hive::Recovery r = hive::RecoverHive(hive, logs);
    switch (r.state) {
        case hive::Recovery::State::kRecovered: {
            const std::string_view image = r.image;
            Check(image.size() >= 4096 && image.substr(0, 4) == "regf" &&
                      hive::BaseBlockChecksumRight(image),
                  "a recovered hive's base block is not whole");
            Check(Le32(image, 4) == Le32(image, 8) && Le32(image, 28) == 0,
                  "a recovered hive's base block is not that of a clean primary file");
            Check(image.size() == 4096 + uint64_t{Le32(image, 40)},
                  "a recovered hive does not hold the data its base block gives");
            // An old-format log may hold no dirty page: only its base block.
            Check((r.newFormat ? r.applied != 0 : r.used.size() == 1) && !r.used.empty() &&
                      r.reason.empty(),
                  "a recovery that applied no entry, or names no log");
            break;
        }
        case hive::Recovery::State::kUnusable:
            Check(!r.reason.empty() && r.image.empty(), "an unusable log without a reason");
            break;
        case hive::Recovery::State::kClean:
        case hive::Recovery::State::kDamaged:
            Check(r.image.empty() && r.applied == 0, "a hive not recovered holds an image");
            break;
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view hive = input, log1, log2;
    if (input.size() >= 8) {
        const size_t hiveSize = std::min<size_t>(Le32(input, 0), input.size() - 8);
        const size_t log1Size = std::min<size_t>(Le32(input, 4), input.size() - 8 - hiveSize);
        hive = input.substr(8, hiveSize);
        log1 = input.substr(8 + hiveSize, log1Size);
        log2 = input.substr(8 + hiveSize + log1Size);
    }
    std::vector<hive::LogFile> logs;
    if (!log1.empty()) logs.push_back({"SOFTWARE.LOG1", std::string(log1)});
    if (!log2.empty()) logs.push_back({"SOFTWARE.LOG2", std::string(log2)});
    const hive::Recovery recovery = CheckRecovery(hive, logs);

    const fs::path& folder = fuzz::WorkFolder("hive-log-fuzz");
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
    const std::string path = (folder / "SOFTWARE").string();
    WriteBytes(path, hive);
    for (const hive::LogFile& log : logs) WriteBytes(folder / log.name, log.bytes);
    auto unchanged = [&] {
        Check(ReadBytes(path) == hive, "the hive was written");
        for (const hive::LogFile& log : logs)
            Check(ReadBytes(folder / log.name) == log.bytes, "a log was written");
    };

    std::string error;
    std::shared_ptr<hive::HiveFile> file = hive::HiveFile::Open(path, true, &error);
    if (file == nullptr) {
        fuzz::CheckRefusal(path, error);
        unchanged();
        return 0;
    }
    const bool recovered = recovery.state == hive::Recovery::State::kRecovered;
    Check(file->notice().empty() != recovered, "a notice without recovery, or none with it");
    if (recovery.state == hive::Recovery::State::kUnusable)
        Check(!file->writable() && file->warning().find("logs cannot") != std::string::npos,
              "a hive whose logs cannot be used is not only read: " + file->warning());
    HiveRegistry registry;
    Check(registry.Mount(hkey::kLocalMachine, "SOFTWARE", file), "the hive does not mount");
    bool complete = false;
    fuzz::WalkHive(registry, &complete);
    Check(!file->damaged(), "the walk found damage that opening let through: " + file->damage());
    unchanged();
    return 0;
}
