// Listing startup items and switching them off and on, against the
// in-memory registry and a mapped drive natively, and against Wine's
// registry, files and shell link object in the Windows build.
#include <gtest/gtest.h>

#include "repair/entry_remover.h"
#include "startup/startup_sources.h"
#include "startup/startup_switch.h"
#include "tests/startup/link_builder.h"
#include "tests/startup/startup_world.h"

namespace qm::test {
namespace {

using Items = std::vector<StartupItem>;
using Values = std::map<std::string, std::string>;

std::string Link(const std::string& target, const std::string& arguments = "") {
    LinkSpec shape;
    shape.hasLinkInfo = true;
    shape.localBase = target;
    shape.hasArguments = !arguments.empty();
    shape.arguments = arguments;
    return BuildLink(shape);
}

std::string RecordPath(const char* records, const std::string& name) {
    return std::string(records) + "\\" + name;
}

std::string Caret(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '^';
    return path;
}

// A machine with something in each of the eight sources.
struct Machine {
    std::unique_ptr<StartupWorld> world = StartupWorld::Make();
    StartupServices services = world->services();
    EntryRemover remover{world->registry(), world->files()};

    explicit Machine(bool populate = true) {
        if (!populate) return;
        StartupWorld& w = *world;
        w.SetText(hkey::kCurrentUser, startupkey::kRun, "Tool", "C:\\Tool\\tool.exe /min");
        w.SetText(hkey::kLocalMachine, startupkey::kRun, "Tool", "C:\\Tool\\tool.exe");
        w.SetText(hkey::kCurrentUser, startupkey::kRunOnce, "Once", "setup.exe /finish");
        w.SetText(hkey::kLocalMachine, startupkey::kRunOnce, "MachineOnce", "C:\\m.exe");
        w.WriteFile(w.userStartup + "\\Notes.lnk", Link("C:\\Apps\\notes.exe"));
        w.WriteFile(w.userStartup + "\\Readme.txt", "not a shortcut");
        w.WriteFile(w.commonStartup + "\\Sync.lnk", Link("C:\\Sync\\sync.exe", "-q"));
        Record(startupkey::kFolderRecords, "C:^x^Parked.lnk",
               {{"location", "Startup"}, {"item", "Parked"}, {"command", "p.exe "}});
        Record(startupkey::kFolderRecords, "C:^y^Shared.lnk",
               {{"location", "Common Startup"}, {"item", "Shared"}, {"command", "s.exe "}});
        Record(startupkey::kFolderRecords, "C:^z^Other.lnk",
               {{"location", "Elsewhere"}, {"item", "Other"}, {"command", "o.exe "}});
        Record(startupkey::kRegistryRecords, "Old",
               {{"item", "Old"}, {"command", "old.exe"}, {"hkey", "HKCU"}, {"key", "Run"}});
    }
    void Record(const char* records, const std::string& name, const Values& values) {
        for (const auto& [value, text] : values)
            world->SetText(hkey::kLocalMachine, RecordPath(records, name), value, text);
    }
    Items List() {
        Items items;
        EnumerateStartupItems(services, items);
        return items;
    }
    SwitchOutcome Off(const StartupItem& row) {
        const SwitchOutcome outcome = SwitchOffStartupItem(services, row);
        RemoveStartupEntry(services, remover, row.name, row.command, row.location);
        return outcome;
    }
};

const Items kEverySource = {
    {"Tool", "C:\\Tool\\tool.exe /min", "HKCU/Run", true},
    {"Tool", "C:\\Tool\\tool.exe", "HKLM/Run", true},
    {"Once", "setup.exe /finish", "HKCU/RunOnce", true},
    {"MachineOnce", "C:\\m.exe", "HKLM/RunOnce", true},
    {"Notes", "C:\\Apps\\notes.exe ", "Start Menu", true},
    {"Sync", "C:\\Sync\\sync.exe -q", "Start Menu(Common)", true},
    {"Parked", "p.exe ", "Start Menu", false},
    {"Shared", "s.exe ", "Start Menu(Common)", false},
    {"Old", "old.exe", "HKCU\\Run", false},
};

TEST(StartupList, EverySourceInOrder) {
    EXPECT_EQ(Machine().List(), kEverySource);
}

TEST(StartupList, ASourceThatCannotBeOpenedHidesOnlyItself) {
    const struct {
        HKey root;
        const char* key;
        uint32_t rights;
        bool (*hidden)(const StartupItem&);
    } cases[] = {
        {hkey::kCurrentUser, startupkey::kRun, access::kQueryValue,
         [](const StartupItem& i) { return i.location == "HKCU/Run"; }},
        // Listed only when it can be opened with full access.
        {hkey::kLocalMachine, startupkey::kRun, access::kCreateLink,
         [](const StartupItem& i) { return i.location == "HKLM/Run"; }},
        {hkey::kCurrentUser, startupkey::kShellFolders, access::kQueryValue,
         [](const StartupItem& i) { return i.switchedOn && i.location == "Start Menu"; }},
        {hkey::kLocalMachine, startupkey::kFolderRecords, access::kQueryValue,
         [](const StartupItem& i) { return !i.switchedOn && i.location[0] == 'S'; }},
        {hkey::kLocalMachine, startupkey::kRegistryRecords, access::kDelete,
         [](const StartupItem& i) { return i.location == "HKCU\\Run"; }},
    };
    for (const auto& c : cases) {
        Machine machine;
        machine.world->Deny(c.root, c.key, c.rights);
        Items expected;
        for (const StartupItem& item : kEverySource)
            if (!c.hidden(item)) expected.push_back(item);
        EXPECT_EQ(machine.List(), expected) << c.key;
    }
}

TEST(StartupList, ValueTooLongEndsItsKeyAndAnUnreadableShortcutHasNoCommand) {
    Machine machine(false);
    StartupWorld& w = *machine.world;
    w.SetText(hkey::kCurrentUser, startupkey::kRun, "A", "a.exe");
    w.SetText(hkey::kCurrentUser, startupkey::kRun, "B", std::string(1100, 'b'));
    w.SetText(hkey::kCurrentUser, startupkey::kRun, "C", "c.exe");
    w.WriteFile(w.userStartup + "\\Broken.lnk", "not a shortcut");
    EXPECT_EQ(machine.List(),
              (Items{{"A", "a.exe", "HKCU/Run", true}, {"Broken", "", "Start Menu", true}}));
}

// Each kind of location: switched off, the item is in its record (and its
// shortcut parked) and listed off; switched on from that listed row,
// registry and folders are exactly as before.
TEST(StartupSwitch, OffAndOnAgainForEveryLocation) {
    for (size_t row : {0, 1, 2, 3, 4, 5}) {
        Machine machine;
        StartupWorld& w = *machine.world;
        const StartupItem item = kEverySource[row];
        const std::vector<std::string> before = w.Snapshot();
        ASSERT_EQ(machine.Off(item), SwitchOutcome::kSwitched) << item.location;
        EXPECT_FALSE(StartupEntryPresent(machine.services, item.name, item.location));

        const bool registry = item.location.find('/') != std::string::npos;
        const std::string hkeyText = item.location.substr(0, 4);
        const std::string key = item.location.substr(5);
        const std::string folder = item.location == "Start Menu" ? w.userStartup : w.commonStartup;
        const std::string where = item.location == "Start Menu" ? "Startup" : "Common Startup";
        const std::string path = folder + "\\" + item.name + ".lnk";
        const std::string parked = w.windows + "\\pss\\" + item.name + ".lnk" + where;
        if (registry) {
            EXPECT_EQ(
                w.Values(hkey::kLocalMachine, RecordPath(startupkey::kRegistryRecords, item.name)),
                (Values{{"item", "1:" + item.name + '\0'},
                        {"command", "1:" + item.command + '\0'},
                        {"hkey", "1:" + hkeyText + '\0'},
                        {"key", "1:" + key + '\0'}}));
        } else {
            EXPECT_EQ(
                w.Values(hkey::kLocalMachine, RecordPath(startupkey::kFolderRecords, Caret(path))),
                (Values{{"item", "1:" + item.name + '\0'},
                        {"command", "1:" + item.command + '\0'},
                        {"location", "1:" + where + '\0'},
                        {"path", "1:" + path + '\0'},
                        {"backup", "1:" + parked + '\0'}}));
        }
        const std::string shown = registry ? hkeyText + "\\" + key : item.location;
        Items listed = machine.List();
        auto off = std::find(listed.begin(), listed.end(),
                             StartupItem{item.name, item.command, shown, false});
        ASSERT_NE(off, listed.end()) << item.location;

        EXPECT_EQ(SwitchOnStartupItem(machine.services, off->name, off->location),
                  SwitchOutcome::kSwitched);
        EXPECT_EQ(w.Snapshot(), before) << item.location;
    }
}

TEST(StartupSwitch, RunValuesComeBackWithTheirTypeAndKey) {
    Machine machine(false);
    StartupWorld& w = *machine.world;
    w.SetText(hkey::kCurrentUser, startupkey::kRun, "Exp", "%SystemRoot%\\x.exe",
              regtype::kExpandSz);
    ASSERT_EQ(machine.Off({"Exp", "%SystemRoot%\\x.exe", "HKCU/Run"}), SwitchOutcome::kSwitched);
    // "command" is text, as the System Configuration Utility reads it; the
    // value's own type and bytes are kept beside it.
    const Values record =
        w.Values(hkey::kLocalMachine, RecordPath(startupkey::kRegistryRecords, "Exp"));
    EXPECT_EQ(record.at("command"), std::string("1:%SystemRoot%\\x.exe") + '\0');
    EXPECT_EQ(record.at("QuillmendCommand"), std::string("2:%SystemRoot%\\x.exe") + '\0');
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Exp", "HKCU\\Run"), SwitchOutcome::kSwitched);
    EXPECT_EQ(w.Values(hkey::kCurrentUser, startupkey::kRun),
              (Values{{"Exp", std::string("2:%SystemRoot%\\x.exe") + '\0'}}));

    // Records as another tool writes them: RunOnce goes back into RunOnce,
    // as REG_SZ; a record naming a key this program does not know stays.
    machine.Record(
        startupkey::kRegistryRecords, "Later",
        {{"item", "Later"}, {"command", "later.exe"}, {"hkey", "HKLM"}, {"key", "RunOnce"}});
    machine.Record(startupkey::kRegistryRecords, "Odd",
                   {{"item", "Odd"}, {"command", "odd.exe"}, {"hkey", "HKCR"}, {"key", "Run"}});
    machine.Record(startupkey::kRegistryRecords, "Odder",
                   {{"item", "Odder"}, {"command", "o.exe"}, {"hkey", "HKCU"}, {"key", "Runs"}});
    // Records whose item or command cannot be read stay as well.
    machine.Record(startupkey::kRegistryRecords, "Nameless",
                   {{"command", "n.exe"}, {"hkey", "HKCU"}, {"key", "Run"}});
    machine.Record(startupkey::kRegistryRecords, "Mute",
                   {{"item", "Mute"}, {"hkey", "HKCU"}, {"key", "Run"}});
    machine.Record(
        startupkey::kRegistryRecords, "Long",
        {{"item", std::string(1100, 'l')}, {"command", "l.exe"}, {"hkey", "HKCU"}, {"key", "Run"}});
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Later", "HKLM\\RunOnce"),
              SwitchOutcome::kSwitched);
    EXPECT_EQ(w.Values(hkey::kLocalMachine, startupkey::kRunOnce),
              (Values{{"Later", std::string("1:later.exe") + '\0'}}));
    EXPECT_TRUE(w.Values(hkey::kLocalMachine, startupkey::kRun).empty());
    const std::vector<std::string> before = w.Snapshot();
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Odd", "HKCR\\Run"), SwitchOutcome::kFailed);
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Odder", "HKCU\\Runs"), SwitchOutcome::kFailed);
    for (const char* name : {"Nameless", "Mute", "Long"})
        EXPECT_EQ(SwitchOnStartupItem(machine.services, name, "HKCU\\Run"), SwitchOutcome::kFailed)
            << name;
    EXPECT_EQ(w.Snapshot(), before);
}

TEST(StartupSwitch, OnlyTheChosenParkedShortcutComesBack) {
    Machine machine(false);
    StartupWorld& w = *machine.world;
    for (const char* name : {"A", "B", "Notes"})
        w.WriteFile(w.userStartup + "\\" + name + ".lnk", name);
    w.WriteFile(w.commonStartup + "\\Notes.lnk", "common");
    // A record that cannot be put back comes first and is passed over.
    machine.Record(startupkey::kFolderRecords, "A^broken",
                   {{"item", "B"}, {"location", "Startup"}});
    for (const char* name : {"A", "B", "Notes"})
        ASSERT_EQ(machine.Off({name, "", "Start Menu"}), SwitchOutcome::kSwitched);
    ASSERT_EQ(machine.Off({"Notes", "", "Start Menu(Common)"}), SwitchOutcome::kSwitched);

    EXPECT_EQ(SwitchOnStartupItem(machine.services, "B", "Start Menu"), SwitchOutcome::kSwitched);
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Notes", "Start Menu"),
              SwitchOutcome::kSwitched);
    std::string bytes;
    EXPECT_TRUE(w.ReadFile(w.userStartup + "\\B.lnk", bytes) && bytes == "B");
    EXPECT_TRUE(w.ReadFile(w.userStartup + "\\Notes.lnk", bytes) && bytes == "Notes");
    EXPECT_FALSE(w.files().PathExists(w.userStartup + "\\A.lnk"));
    EXPECT_FALSE(w.files().PathExists(w.commonStartup + "\\Notes.lnk"));
    EXPECT_TRUE(w.ReadFile(w.windows + "\\pss\\A.lnkStartup", bytes) && bytes == "A");
    EXPECT_TRUE(w.ReadFile(w.windows + "\\pss\\Notes.lnkCommon Startup", bytes) &&
                bytes == "common");
    EXPECT_FALSE(w.files().PathExists(w.windows + "\\pss\\B.lnkStartup"));
    // The incomplete record is still listed; the others by their paths.
    EXPECT_EQ(machine.List(), (Items{{"B", "", "Start Menu", true},
                                     {"Notes", "", "Start Menu", true},
                                     {"B", "", "Start Menu", false},
                                     {"Notes", "", "Start Menu(Common)", false},
                                     {"A", "", "Start Menu", false}}));
}

TEST(StartupSwitch, AShortcutIsDeletedOnlyBesideAnIdenticalParkedCopy) {
    Machine machine(false);
    StartupWorld& w = *machine.world;
    std::string bytes = Link("C:\\Apps\\big.exe");
    for (int i = 0; i < 2600; ++i) bytes.push_back(static_cast<char>(i * 7));
    w.WriteFile(w.userStartup + "\\Big.lnk", bytes);
    ASSERT_FALSE(w.files().PathExists(w.windows + "\\pss"));
    ASSERT_EQ(machine.Off({"Big", "C:\\Apps\\big.exe ", "Start Menu"}), SwitchOutcome::kSwitched);
    std::string parked;
    EXPECT_TRUE(w.ReadFile(w.windows + "\\pss\\Big.lnkStartup", parked) && parked == bytes);

    // No pss folder can be made (a file has its name): nothing happens.
    Machine blocked(false);
    StartupWorld& b = *blocked.world;
    b.WriteFile(b.windows + "\\pss", "a file");
    b.WriteFile(b.userStartup + "\\Notes.lnk", "notes");
    const std::vector<std::string> before = b.Snapshot();
    EXPECT_EQ(blocked.Off({"Notes", "", "Start Menu"}), SwitchOutcome::kFailed);
    EXPECT_EQ(b.Snapshot(), before);
}

TEST(StartupSwitch, NothingIsWrittenWithoutAnEntryToMove) {
    Machine machine;
    StartupWorld& w = *machine.world;
    w.SetText(hkey::kCurrentUser, startupkey::kRun, "", "default.exe");
    w.SetText(hkey::kCurrentUser, startupkey::kRun, "a\\b", "slash.exe");
    // The Run key cannot be opened with full access: the record is written
    // and the remover deletes the value with its own access.
    w.Deny(hkey::kCurrentUser, startupkey::kRunOnce, access::kCreateLink);
    const std::vector<std::string> before = w.Snapshot();
    EXPECT_EQ(machine.Off({"Ghost", "", "Start Menu"}), SwitchOutcome::kNotFound);
    EXPECT_EQ(machine.Off({"Gone", "gone.exe", "HKCU/Run"}), SwitchOutcome::kNotFound);
    EXPECT_EQ(machine.Off({"", "default.exe", "HKCU/Run"}), SwitchOutcome::kFailed);
    EXPECT_EQ(machine.Off({"a\\b", "slash.exe", "HKCU/Run"}), SwitchOutcome::kFailed);
    ASSERT_EQ(machine.Off(kEverySource[0]), SwitchOutcome::kSwitched);
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Tool", "HKCU\\Run"), SwitchOutcome::kSwitched);
    EXPECT_EQ(w.Snapshot(), before);
    // The remover alone removes nothing that has no record.
    for (const StartupItem& item : kEverySource)
        RemoveStartupEntry(machine.services, machine.remover, item.name, item.command,
                           item.location);
    EXPECT_EQ(w.Snapshot(), before);

    ASSERT_EQ(machine.Off(kEverySource[2]), SwitchOutcome::kSwitched);
    EXPECT_FALSE(StartupEntryPresent(machine.services, "Once", "HKCU/RunOnce"));
}

// An item switched off again after an updater brought it back, or one whose
// name another hive's item already holds a record for: the older record and
// parked copy stay as they are, the newer item is parked as "<name> (2)",
// and each comes back on with its own command or bytes. Switching an item on
// never overwrites one that is in its place meanwhile.
TEST(StartupSwitch, ASecondItemOfTheSameNameIsParkedBesideTheFirst) {
    Machine machine(false);
    StartupWorld& w = *machine.world;
    w.SetText(hkey::kCurrentUser, startupkey::kRun, "Tool", "old.exe");
    w.WriteFile(w.userStartup + "\\Notes.lnk", "old shortcut");
    ASSERT_EQ(machine.Off({"Tool", "old.exe", "HKCU/Run"}), SwitchOutcome::kSwitched);
    ASSERT_EQ(machine.Off({"Notes", "", "Start Menu"}), SwitchOutcome::kSwitched);

    w.SetText(hkey::kCurrentUser, startupkey::kRun, "Tool", "new.exe");
    w.SetText(hkey::kLocalMachine, startupkey::kRun, "Tool", "machine.exe");
    w.WriteFile(w.userStartup + "\\Notes.lnk", "new shortcut");
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Tool", "HKCU\\Run"), SwitchOutcome::kFailed);
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Notes", "Start Menu"), SwitchOutcome::kFailed);
    std::string parked;
    EXPECT_EQ(SwitchOffStartupItem(machine.services, {"Tool", "new.exe", "HKCU/Run"}, &parked),
              SwitchOutcome::kSwitched);
    EXPECT_EQ(parked, "Tool (2)");
    EXPECT_EQ(machine.Off({"Tool", "machine.exe", "HKLM/Run"}), SwitchOutcome::kSwitched);
    EXPECT_EQ(machine.Off({"Notes", "", "Start Menu"}), SwitchOutcome::kSwitched);
    EXPECT_TRUE(w.Values(hkey::kCurrentUser, startupkey::kRun).empty());
    EXPECT_TRUE(w.Values(hkey::kLocalMachine, startupkey::kRun).empty());
    EXPECT_FALSE(w.files().PathExists(w.userStartup + "\\Notes.lnk"));
    const std::string newPath = w.userStartup + "\\Notes (2).lnk";
    EXPECT_EQ(w.Values(hkey::kLocalMachine, RecordPath(startupkey::kFolderRecords, Caret(newPath))),
              (Values{{"item", std::string("1:Notes (2)") + '\0'},
                      {"command", std::string("1:") + '\0'},
                      {"location", std::string("1:Startup") + '\0'},
                      {"path", "1:" + newPath + '\0'},
                      {"backup", "1:" + w.windows + "\\pss\\Notes (2).lnkStartup" + '\0'}}));
    EXPECT_EQ(machine.List(), (Items{{"Notes (2)", "", "Start Menu", false},
                                     {"Notes", "", "Start Menu", false},
                                     {"Tool", "old.exe", "HKCU\\Run", false},
                                     {"Tool (2)", "new.exe", "HKCU\\Run", false},
                                     {"Tool (3)", "machine.exe", "HKLM\\Run", false}}));

    for (const char* name : {"Tool", "Tool (2)"})
        EXPECT_EQ(SwitchOnStartupItem(machine.services, name, "HKCU\\Run"),
                  SwitchOutcome::kSwitched);
    EXPECT_EQ(SwitchOnStartupItem(machine.services, "Tool (3)", "HKLM\\Run"),
              SwitchOutcome::kSwitched);
    for (const char* name : {"Notes", "Notes (2)"})
        EXPECT_EQ(SwitchOnStartupItem(machine.services, name, "Start Menu"),
                  SwitchOutcome::kSwitched);
    EXPECT_EQ(w.Values(hkey::kCurrentUser, startupkey::kRun),
              (Values{{"Tool", std::string("1:old.exe") + '\0'},
                      {"Tool (2)", std::string("1:new.exe") + '\0'}}));
    EXPECT_EQ(w.Values(hkey::kLocalMachine, startupkey::kRun),
              (Values{{"Tool (3)", std::string("1:machine.exe") + '\0'}}));
    std::string bytes;
    EXPECT_TRUE(w.ReadFile(w.userStartup + "\\Notes.lnk", bytes) && bytes == "old shortcut");
    EXPECT_TRUE(w.ReadFile(newPath, bytes) && bytes == "new shortcut");
    const Items listed = machine.List();
    EXPECT_EQ(listed.size(), 5u);
    EXPECT_TRUE(std::all_of(listed.begin(), listed.end(),
                            [](const StartupItem& item) { return item.switchedOn; }));
}

}  // namespace
}  // namespace qm::test
