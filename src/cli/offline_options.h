// The options of quillmend-scan that scan a Windows installation's hive
// files from another system: --windows DIR, --user NAME, --hive ROOT\PATH=FILE.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}  // namespace CLI

namespace qm::cli {

struct Options;

struct OfflineOptions {
    std::string windowsDir;                                  // --windows DIR
    std::string user;                                        // --user NAME
    std::vector<std::pair<std::string, std::string>> hives;  // --hive ROOT\PATH=FILE

    bool Requested() const { return !windowsDir.empty() || !hives.empty(); }
};

// Adds --windows, --user and --hive, as a group of their own in the help.
void AddOfflineOptions(CLI::App& app, OfflineOptions& offline);

// What is wrong with the offline options against the rest of the command
// line, or "".
std::string CheckOfflineOptions(const Options& options);

}  // namespace qm::cli
