// Command line of the headless scanner.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli/offline_options.h"

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
    bool startup = false;                                          // --startup
    int startupOff = 0;                                            // --startup-off N
    int startupOn = 0;                                             // --startup-on N
    OfflineOptions offline;                                        // --windows, --user, --hive
    bool demo = false;  // no arguments at all: scan the built-in demo
    bool help = false;
};

// Parses argv[1..]. On a bad argument returns false with a message.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

extern const char* const kUsage;

}  // namespace qm::cli
