// The options of quillmend-scan that scan a Windows installation's hive
// files from another system: --windows DIR, --user NAME, --hive ROOT\PATH=FILE.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qm::cli {

struct Options;

struct OfflineOptions {
    std::string windowsDir;                                  // --windows DIR
    std::string user;                                        // --user NAME
    std::vector<std::pair<std::string, std::string>> hives;  // --hive ROOT\PATH=FILE

    bool Requested() const { return !windowsDir.empty() || !hives.empty(); }
};

extern const char* const kOfflineUsage;

// Takes args[i], and its value, when it is one of the offline options:
// 1 when taken (`i` then at the value), 0 when it is another option, -1 on
// a bad value with `error`.
int ParseOfflineOption(const std::vector<std::string>& args, size_t& i, OfflineOptions& offline,
                       std::string& error);

// The offline options against the rest of the command line.
bool CheckOfflineOptions(const Options& options, std::string& error);

}  // namespace qm::cli
