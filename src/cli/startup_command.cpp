#include "cli/startup_command.h"

#include <memory>
#include <vector>

#include "cli/report.h"
#include "repair/entry_remover.h"
#include "startup/startup_presenter.h"
#include "startup/startup_sources.h"

#ifdef _WIN32
#include "startup/win32_shortcut_reader.h"
#endif

namespace qm::cli {

namespace {

// The presenter keeps the rows; nothing is shown until the end.
class SilentList : public StartupView {
  public:
    void AddRow(const StartupItem&) override {}
    void UpdateRow(int, const StartupItem&) override {}
};

void PrintRows(std::ostream& out, const std::vector<StartupItem>& rows, bool json,
               const CodePage& codePage) {
    if (json) {
        out << "[";
        for (size_t i = 0; i < rows.size(); ++i) {
            const StartupItem& row = rows[i];
            out << (i == 0 ? "\n  " : ",\n  ") << "{\"name\": " << JsonString(row.name, codePage)
                << ", \"command\": " << JsonString(row.command, codePage)
                << ", \"location\": " << JsonString(row.location, codePage)
                << ", \"enabled\": " << (row.switchedOn ? "true" : "false") << "}";
        }
        out << (rows.empty() ? "]\n" : "\n]\n");
        return;
    }
    for (size_t i = 0; i < rows.size(); ++i)
        out << (i + 1) << (rows[i].switchedOn ? " [x] " : " [ ] ")
            << Utf8Text(rows[i].name, codePage) << " | " << Utf8Text(rows[i].command, codePage)
            << " | " << Utf8Text(rows[i].location, codePage) << '\n';
    out << rows.size() << " startup items\n";
}

}  // namespace

int RunStartupCommand(const Options& options, RegistryService& registry, FileProbe& files,
                      std::ostream& out, std::ostream& err) {
#ifdef _WIN32
    ShellLinkObjectReader shortcuts(files);
#else
    ShortcutFileReader shortcuts(files);
#endif
    EntryRemover remover(registry, files);
    SilentList list;
    StartupPresenter presenter({registry, files, shortcuts}, remover, list);
    presenter.Initialise();

    const int row = options.startupOff != 0 ? options.startupOff : options.startupOn;
    int result = 0;
    if (row != 0) {
        const bool on = options.startupOn != 0;
        if (static_cast<size_t>(row) > presenter.rows().size()) {
            err << "quillmend-scan: there is no startup row " << row << "; the list has "
                << presenter.rows().size() << '\n';
            return 2;
        }
        const StartupItem before = presenter.rows()[row - 1];
        if (before.switchedOn == on) {
            err << "quillmend-scan: row " << row << " (" << before.name << ") is already "
                << (on ? "on" : "off") << '\n';
        } else if (!(on ? presenter.SwitchOn(row - 1) : presenter.SwitchOff(row - 1))) {
            err << "quillmend-scan: row " << row << " (" << before.name << ", " << before.location
                << ") could not be switched " << (on ? "on" : "off") << '\n';
            result = 1;
        }
    }
    // Listed afresh, as the page lists it when it is next created: these
    // are the row numbers the next run uses.
    std::vector<StartupItem> rows;
    EnumerateStartupItems({registry, files, shortcuts}, rows);
    PrintRows(out, rows, options.json, registry.codePage());
    return result;
}

}  // namespace qm::cli
