#include "cli/options.h"

#include <cctype>

namespace qm::cli {

const char* const kUsage =
    "usage: quillmend-scan [options]\n"
    "  --registry FILE      load a registry text file into an in-memory registry (repeatable);\n"
    "                       without it the live registry is scanned on Windows\n"
    "  --drive C=DIR        map drive letter C to the folder DIR (repeatable)\n"
    "  --env NAME=VALUE     set an environment variable (repeatable); the defaults are\n"
    "                       SystemRoot and windir = C:\\WINDOWS and PATH = the system folder,\n"
    "                       the Windows folder and C:\\WINDOWS\\System32\\Wbem\n"
    "  --search-path DIR    add a folder to the end of PATH (repeatable)\n"
    "  --cwd PATH           the current folder (default C:\\)\n"
    "  --categories LIST    categories to scan, e.g. 1,4,8 (default: all eight)\n"
    "  --json               print the result as JSON\n"
    "  --fix                repair every item found in the chosen categories, writing one\n"
    "                       backup file first; needs --backup-dir\n"
    "  --backup-dir DIR     the folder for the backup file of --fix (made if missing); the\n"
    "                       file's path is printed\n"
    "  --restore FILE       import a backup file instead of scanning: into the in-memory\n"
    "                       registry, or on Windows into the live one through regedit.exe\n"
    "  --save FILE          at the end, write the in-memory registry to FILE (REGEDIT4)\n"
    "  --startup            list the programs started at log-on instead of scanning\n"
    "  --startup-off N      switch off row N (from 1) of that list, then list it\n"
    "  --startup-on N       switch row N of that list back on, then list it\n"
    "With no arguments at all, the built-in demo is scanned.\n";

namespace {

bool SplitPair(const std::string& text, std::string& name, std::string& value) {
    auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    name = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

bool ParseCategories(const std::string& text, std::vector<int>& categories) {
    categories.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string part = text.substr(start, comma - start);
        if (part.size() != 1 || part[0] < '1' || part[0] > '8') return false;
        const int category = part[0] - '0';
        bool seen = false;
        for (int c : categories) seen = seen || c == category;
        if (!seen) categories.push_back(category);
        start = comma + 1;
    }
    return !categories.empty();
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    options = Options{};
    if (args.empty()) {
        options.demo = true;
        return true;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto needValue = [&](std::string& value) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        std::string value, name, rest;
        const int offline = ParseOfflineOption(args, i, options.offline, error);
        if (offline < 0) return false;
        if (offline > 0) continue;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--registry") {
            if (!needValue(value)) return false;
            options.registryFiles.push_back(value);
        } else if (arg == "--drive") {
            if (!needValue(value)) return false;
            if (!SplitPair(value, name, rest) || name.size() != 1 ||
                !std::isalpha(static_cast<unsigned char>(name[0])) || rest.empty()) {
                error = "--drive wants LETTER=FOLDER, not \"" + value + "\"";
                return false;
            }
            options.drives.emplace_back(
                static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))), rest);
        } else if (arg == "--env") {
            if (!needValue(value)) return false;
            if (!SplitPair(value, name, rest)) {
                error = "--env wants NAME=VALUE, not \"" + value + "\"";
                return false;
            }
            options.environment.emplace_back(name, rest);
        } else if (arg == "--search-path") {
            if (!needValue(value)) return false;
            options.searchPath.push_back(value);
        } else if (arg == "--cwd") {
            if (!needValue(value)) return false;
            options.currentFolder = value;
        } else if (arg == "--categories") {
            if (!needValue(value)) return false;
            if (!ParseCategories(value, options.categories)) {
                error = "--categories wants numbers from 1 to 8 separated by commas, not \"" +
                        value + "\"";
                return false;
            }
        } else if (arg == "--fix") {
            options.fix = true;
        } else if (arg == "--backup-dir") {
            if (!needValue(options.backupDir)) return false;
        } else if (arg == "--restore") {
            if (!needValue(options.restoreFile)) return false;
        } else if (arg == "--save") {
            if (!needValue(options.saveFile)) return false;
        } else if (arg == "--startup") {
            options.startup = true;
        } else if (arg == "--startup-off" || arg == "--startup-on") {
            if (!needValue(value)) return false;
            int& row = arg == "--startup-off" ? options.startupOff : options.startupOn;
            row = value.empty() || value.size() > 6 ? -1 : 0;
            for (char c : value)
                row = row >= 0 && std::isdigit(static_cast<unsigned char>(c)) ? row * 10 + (c - '0')
                                                                              : -1;
            if (row <= 0) {
                error = arg + " wants a row number from 1, not \"" + value + "\"";
                return false;
            }
            if (options.startupOff != 0 && options.startupOn != 0) {
                error = "give only one of --startup-off and --startup-on";
                return false;
            }
            options.startup = true;
        } else {
            error = "unknown argument \"" + arg + "\"";
            return false;
        }
    }
    if (options.fix && options.backupDir.empty()) {
        error = "--fix needs --backup-dir DIR";
        return false;
    }
    if (!options.fix && !options.backupDir.empty()) {
        error = "--backup-dir is for --fix";
        return false;
    }
    if (options.fix && !options.restoreFile.empty()) {
        error = "--fix and --restore cannot be used together";
        return false;
    }
    return CheckOfflineOptions(options, error);
}

}  // namespace qm::cli
