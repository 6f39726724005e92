#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <iostream>

namespace qm::cli {

namespace {

bool SplitPair(const std::string& text, std::string& name, std::string& value) {
    auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    name = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

// "1,4,8": each category once, in the order given.
bool ParseCategories(const std::string& text, std::vector<int>& categories) {
    categories.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int category = text[i] - '0';
        if (category < 1 || category > 8 || (i + 1 < text.size() && text[i + 1] != ','))
            return false;
        if (std::find(categories.begin(), categories.end(), category) == categories.end())
            categories.push_back(category);
    }
    return !categories.empty() && text.back() != ',';
}

int RowNumber(const std::string& option, const std::string& value) {
    int row = value.empty() || value.size() > 6 ? -1 : 0;
    for (char c : value)
        row = row >= 0 && std::isdigit(static_cast<unsigned char>(c)) ? row * 10 + (c - '0') : -1;
    if (row <= 0) Refuse(option + " wants a row number from 1", value);
    return row;
}

void AddOptions(CLI::App& app, Options& o) {
    AddValueOption(app, "--registry", "FILE",
                   "load a registry text file into an in-memory registry (repeatable);\n"
                   "without it the live registry is scanned on Windows",
                   [&o](const std::string& file) { o.registryFiles.push_back(file); });
    AddValueOption(app, "--drive", "C=DIR", "map drive letter C to the folder DIR (repeatable)",
                   [&o](const std::string& value) {
                       std::string name, dir;
                       if (!SplitPair(value, name, dir) || name.size() != 1 ||
                           !std::isalpha(static_cast<unsigned char>(name[0])) || dir.empty())
                           Refuse("--drive wants LETTER=FOLDER", value);
                       o.drives.emplace_back(
                           static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))),
                           dir);
                   });
    AddValueOption(app, "--env", "NAME=VALUE",
                   "set an environment variable (repeatable); the defaults are\n"
                   "SystemRoot and windir = C:\\WINDOWS and PATH = the system folder,\n"
                   "the Windows folder and C:\\WINDOWS\\System32\\Wbem",
                   [&o](const std::string& value) {
                       std::string name, text;
                       if (!SplitPair(value, name, text)) Refuse("--env wants NAME=VALUE", value);
                       o.environment.emplace_back(name, text);
                   });
    AddValueOption(app, "--search-path", "DIR", "add a folder to the end of PATH (repeatable)",
                   [&o](const std::string& dir) { o.searchPath.push_back(dir); });
    app.add_option("--cwd", o.currentFolder, "the current folder (default C:\\)")
        ->type_name("PATH");
    AddValueOption(
        app, "--categories", "LIST", "categories to scan, e.g. 1,4,8 (default: all eight)",
        [&o](const std::string& list) {
            if (!ParseCategories(list, o.categories))
                Refuse("--categories wants numbers from 1 to 8 separated by commas", list);
        });
    AddValueOption(app, "--ignore-file", "FILE",
                   "leave out what the text file names, as the program's ignore\n"
                   "list does (repeatable; the stored list counts too). One entry\n"
                   "a line, fields separated by one tab:\n"
                   "  CATEGORY<tab>KEY<tab>VALUE  the item of that category, key\n"
                   "                              and value name (or subkey name)\n"
                   "  CATEGORY<tab>KEY            every item at that key or below\n"
                   "CATEGORY is 1 to 8, or * (every category) for a whole key; KEY\n"
                   "as items show it (HKLM\\SOFTWARE\\...); UTF-8; empty lines and\n"
                   "lines starting with # are skipped",
                   [&o](const std::string& file) { o.ignoreFiles.push_back(file); });
    app.add_flag("--json", o.json, "print the result as JSON");
    app.add_flag("--fix", o.fix,
                 "repair every item found in the chosen categories, writing one\n"
                 "backup file first; needs --backup-dir");
    app.add_option("--backup-dir", o.backupDir,
                   "the folder for the backup file of --fix (made if missing); the\n"
                   "file's path is printed")
        ->type_name("DIR");
    app.add_option("--restore", o.restoreFile,
                   "import a backup file instead of scanning: into the in-memory\n"
                   "registry, or on Windows into the live one through regedit.exe,\n"
                   "then checked: a file that came back whole is deleted; one that\n"
                   "did not is kept, what is missing is printed, and the exit status\n"
                   "is 1")
        ->type_name("FILE");
    app.add_option("--save", o.saveFile,
                   "at the end, write the in-memory registry to FILE (REGEDIT4)")
        ->type_name("FILE");
    app.add_flag("--startup", o.startup, "list the programs started at log-on instead of scanning");
    AddValueOption(app, "--startup-off", "N",
                   "switch off row N (from 1) of that list, then list it",
                   [&o](const std::string& n) { o.startupOff = RowNumber("--startup-off", n); });
    AddValueOption(app, "--startup-on", "N", "switch row N of that list back on, then list it",
                   [&o](const std::string& n) { o.startupOn = RowNumber("--startup-on", n); });
}

// What the options given cannot do together, or "".
std::string Conflict(const Options& o) {
    if (o.startupOff != 0 && o.startupOn != 0)
        return "give only one of --startup-off and --startup-on";
    if (o.fix && o.backupDir.empty()) return "--fix needs --backup-dir DIR";
    if (!o.fix && !o.backupDir.empty()) return "--backup-dir is for --fix";
    if (o.fix && !o.restoreFile.empty()) return "--fix and --restore cannot be used together";
    return CheckOfflineOptions(o);
}

}  // namespace

CLI::Option* AddValueOption(CLI::App& app, const std::string& name, const std::string& type,
                            const std::string& help, std::function<void(const std::string&)> take) {
    return app.add_option_function<std::string>(name, std::move(take), help)
        ->type_name(type)
        ->trigger_on_parse();
}

void Refuse(const std::string& wants, const std::string& value) {
    throw CLI::ValidationError(wants + ", not \"" + value + "\"");
}

int ParseOptions(int argc, const char* const* argv, Options& options) {
    options = Options{};
    options.demo = argc <= 1;
    CLI::App app("Scans the registry for entries that point at what no longer exists.",
                 "quillmend-scan");
    app.footer("With no arguments at all, the built-in demo is scanned.");
    app.get_formatter()->column_width(23);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_extras();
    AddOptions(app, options);
    AddOfflineOptions(app, options.offline);
    std::string error;
    try {
        app.parse(argc, argv);
        if (!app.remaining().empty()) error = "unknown argument \"" + app.remaining()[0] + "\"";
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ArgumentMismatch& e) {
        // The only mismatch left with one value per option: "--x: 1 required TYPE missing".
        const std::string what = e.what();
        error = what.substr(0, what.find(':')) + " needs a value";
    } catch (const CLI::ParseError& e) {
        error = e.what();
    }
    options.startup = options.startup || options.startupOff != 0 || options.startupOn != 0;
    if (error.empty()) error = Conflict(options);
    if (error.empty()) return -1;
    std::cerr << "quillmend-scan: " << error << "\n" << app.help();
    return 2;
}

}  // namespace qm::cli
