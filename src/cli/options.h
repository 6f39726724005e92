// Command line of the headless scanner.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/offline_options.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace qm::cli {

struct Options {
    std::vector<std::string> registryFiles;                        // --registry FILE
    std::vector<std::pair<char, std::string>> drives;              // --drive C=DIR
    std::vector<std::pair<std::string, std::string>> environment;  // --env NAME=VALUE
    std::vector<std::string> searchPath;                           // --search-path DIR
    std::string currentFolder;                                     // --cwd PATH
    std::vector<int> categories;                                   // --categories 1,4,8
    bool json = false;                                             // --json
    bool fix = false;                                              // --fix
    std::string backupDir;                                         // --backup-dir DIR
    std::string restoreFile;                                       // --restore FILE
    std::string saveFile;                                          // --save FILE
    std::vector<std::string> ignoreFiles;                          // --ignore-file FILE
    bool startup = false;                                          // --startup
    int startupOff = 0;                                            // --startup-off N
    int startupOn = 0;                                             // --startup-on N
    OfflineOptions offline;                                        // --windows, --user, --hive
    bool demo = false;  // no arguments at all: scan the built-in demo
};

// Parses the command line. Returns -1 when the run goes on, otherwise the
// exit status after printing the help (0) or what is wrong (2, on stderr).
int ParseOptions(int argc, const char* const* argv, Options& options);

// An option that takes one value each time it is given, handed to `take`
// at once; `take` refuses a value with Refuse.
CLI::Option* AddValueOption(CLI::App& app, const std::string& name, const std::string& type,
                            const std::string& help, std::function<void(const std::string&)> take);
[[noreturn]] void Refuse(const std::string& wants, const std::string& value);

}  // namespace qm::cli
