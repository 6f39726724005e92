// The whole scan. The input is a compact program that builds a small
// in-memory registry (optionally on top of the demo's), and all eight
// scanners run over it with the demo's drive C: mapped. Every scanner must
// end, close every key it opened, count what it lists, and name in every
// item a key or value that exists, exactly as the repair would name it.
//
// The program is a list of operations, each one byte (its value modulo 8)
// with its operands:
//   0 base B       go to one of the keys the scanners read (B picks it)
//   1 child S      go to the subkey S of the current key
//   2 up           go to the parent
//   3, 7 value T S D  set value S of type T (T picks a common type, or
//                  is taken as it is) with data D; text gets its zero
//   4 deep N S     go down N * 8 levels, each named S
//   5 mark M       make the current key read-only or unreadable
//   6 sibling S    go to the parent's subkey S
// A string S or D is a run of bytes up to a zero byte: 1 to 30 stand for
// common fragments of keys and paths, 31 takes the next byte as it is,
// every other byte is itself.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "scan/found_item.h"
#include "scan/scan_driver.h"

namespace {

using namespace qm;
using qm::fuzz::Check;

// Bounds that keep one input's work small.
constexpr size_t kMaxEntries = 256;
constexpr size_t kMaxDepth = 1200;
constexpr size_t kMaxString = 1100;

struct Base {
    HKey root;
    const char* path;
};
constexpr Base kBases[] = {
    {hkey::kLocalMachine, "SOFTWARE\\Classes\\CLSID"},
    {hkey::kLocalMachine, "SOFTWARE\\Classes\\AppID"},
    {hkey::kLocalMachine, "SOFTWARE\\Classes\\TypeLib"},
    {hkey::kLocalMachine, "SOFTWARE\\Classes"},
    {hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
    {hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"},
    {hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"},
    {hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\HELP"},
    {hkey::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {hkey::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {hkey::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
    {hkey::kCurrentUser,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"},
    {hkey::kCurrentUser,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs"},
    {hkey::kCurrentUser,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs"},
    {hkey::kUsers, ".DEFAULT\\Software"},
    {hkey::kLocalMachine, "SYSTEM"},
    {hkey::kCurrentUser, ""},
    {hkey::kLocalMachine, ""},
};

const std::string kFragments[] = {
    "C:\\",
    "C:\\WINDOWS\\",
    "C:\\WINDOWS\\system32\\",
    "C:\\Program Files\\",
    "%SystemRoot%",
    "%ProgramFiles%",
    ".exe",
    ".dll",
    ".ocx",
    "\"",
    "\\",
    " ",
    "{6E0C1A10-0001-4D51-9A11-000000000001}",
    "notepad.exe",
    "shell32.dll",
    "Quillpad\\quillpad.exe",
    "CLSID",
    "AppID",
    "InprocServer32",
    "LocalServer32",
    "win32",
    "rundll32.exe ",
    "Fonts",
    "arial.ttf",
    "*",
    "Accessories",
    "Common Programs",
    "UninstallString",
    std::string(200, 'x'),
    "%",
};
constexpr uint8_t kRawByte = 31;

constexpr uint32_t kTypes[] = {1, 1, 1, 2, 2, 7, 4, 3, 0, 1, 2, 1, 6, 11, 1, 2};

class Program {
  public:
    Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string String() {
        std::string text;
        while (at_ < size_ && text.size() < kMaxString) {
            const uint8_t b = data_[at_++];
            if (b == 0) break;
            if (b == kRawByte) {
                text.push_back(static_cast<char>(Byte()));
            } else if (b <= std::size(kFragments)) {
                text += kFragments[b - 1];
            } else {
                text.push_back(static_cast<char>(b));
            }
        }
        if (text.size() > kMaxString) text.resize(kMaxString);
        return text;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

struct Built {
    regtext::Document doc;
    std::vector<std::pair<HKey, std::string>> marks[2];  // read-only, unreadable
};

Built Build(const uint8_t* data, size_t size) {
    Built built;
    Program program(data, size);
    HKey root = kBases[0].root;
    std::vector<std::string> path;
    const auto joined = [&] {
        std::string text;
        for (const std::string& name : path) {
            if (!text.empty()) text += '\\';
            text += name;
        }
        return text;
    };
    const auto enter = [&] {
        regtext::Entry key;
        key.root = root;
        key.keyPath = joined();
        built.doc.entries.push_back(std::move(key));
    };
    const auto child = [&](std::string name) {
        if (path.size() < kMaxDepth && !name.empty()) path.push_back(std::move(name));
        enter();
    };
    while (program.More() && built.doc.entries.size() < kMaxEntries) {
        switch (program.Byte() % 8) {
            case 0: {
                const Base& base = kBases[program.Byte() % std::size(kBases)];
                root = base.root;
                path.assign(1, base.path);
                if (path[0].empty()) path.clear();
                enter();
                break;
            }
            case 1:
                child(program.String());
                break;
            case 2:
                if (!path.empty()) path.pop_back();
                break;
            case 3:
            case 7: {
                const uint8_t t = program.Byte();
                regtext::Entry value;
                value.kind = regtext::Entry::Kind::kValue;
                value.root = root;
                value.keyPath = joined();
                value.type = t < 0xF0 ? kTypes[t % std::size(kTypes)] : t - 0xF0;
                value.name = program.String();
                const std::string text = program.String();
                value.data.assign(text.begin(), text.end());
                if (regtype::IsText(value.type) && (t & 0x80) == 0) value.data.push_back(0);
                built.doc.entries.push_back(std::move(value));
                break;
            }
            case 4: {
                const size_t levels = program.Byte() * size_t{8};
                const std::string name = program.String();
                if (name.empty()) break;
                for (size_t i = 0; i < levels && path.size() < kMaxDepth; ++i) path.push_back(name);
                enter();
                break;
            }
            case 5:
                built.marks[program.Byte() & 1].emplace_back(root, joined());
                break;
            case 6:
                if (!path.empty()) path.pop_back();
                child(program.String());
                break;
        }
    }
    return built;
}

const regtext::Document& Demo() {
    static const regtext::Document* demo = [] {
        auto* doc = new regtext::Document;
        std::string error;
        MemoryRegistry loaded;
        if (!loaded.LoadFile(std::string(QM_DEMO_DIR) + "/registry.reg", &error))
            fuzz::Fail("the demo registry does not load: " + error);
        *doc = fuzz::ExportAll(loaded, regtext::Format::kRegedit4);
        return doc;
    }();
    return *demo;
}

MappedFileProbe& Files() {
    static MappedFileProbe* files = new MappedFileProbe(fuzz::DemoDrive());
    return *files;
}

struct CountingSink : ProgressSink {
    void Progress(const std::string&) override { ++texts; }
    size_t texts = 0;
};

// Opens a key name by name, so that a path longer than one open takes is
// reached too. False when some key on the way does not exist.
bool KeyExists(RegistryService& registry, HKey root, const std::string& path, RegKey& key) {
    key = RegKey(registry);
    if (key.Open(root, "", access::kRead) != status::kSuccess) return false;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        RegKey next(registry);
        if (next.Open(key.get(), path.substr(start, end - start).c_str(), access::kRead) !=
            status::kSuccess)
            return false;
        key = std::move(next);
        start = end + 1;
    }
    return true;
}

// What the repair engine would delete for the item, and whether it exists.
void CheckNamesAnEntry(MemoryRegistry& registry, const FoundItem& item) {
    const std::string what = "item of category " + std::to_string(item.category) + " [" +
                             item.keyPath + "] \"" + item.valueName + "\"";
    const std::string prefix = item.keyPath.substr(0, 4);
    HKey root = hkey::kNull;
    if (prefix == "HKCR") root = hkey::kClassesRoot;
    if (prefix == "HKCU") root = hkey::kCurrentUser;
    if (prefix == "HKLM") root = hkey::kLocalMachine;
    if (prefix == "HKUS") root = hkey::kUsers;
    Check(root != hkey::kNull && (item.keyPath.size() == 4 || item.keyPath[4] == '\\'),
          what + ": no root key");
    const std::string below = item.keyPath.size() > 5 ? item.keyPath.substr(5) : "";
    Check(item.valueName.find('\0') == std::string::npos,
          what + ": a name with a zero byte, which the repair cannot pass on");
    RegKey key;
    if (item.category == static_cast<int32_t>(ScanCategory::ComActiveX)) {
        Check(!below.empty() && KeyExists(registry, root, below, key), what + ": no such key");
    } else if (ItemIsKey(item)) {
        Check(!item.valueName.empty() && item.valueName.find('\\') == std::string::npos,
              what + ": not one subkey");
        Check(KeyExists(registry, root, below + "\\" + item.valueName, key),
              what + ": no such subkey");
    } else {
        Check(KeyExists(registry, root, below, key), what + ": no such key");
        Check(registry.QueryValue(key.get(), item.valueName.c_str(), nullptr, nullptr, nullptr) ==
                  status::kSuccess,
              what + ": no such value");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Built built = Build(data + 1, size - 1);
    MemoryRegistry registry;
    if (data[0] & 1) registry.Apply(Demo());
    registry.Apply(built.doc);
    for (const auto& [root, path] : built.marks[0])
        registry.SetProtection(root, path, MemoryRegistry::Protection::kReadOnly);
    for (const auto& [root, path] : built.marks[1])
        registry.SetProtection(root, path, MemoryRegistry::Protection::kUnreadable);

    FoundItemList items;
    ScanCounters counters;
    std::atomic<int> stop{0};
    CountingSink sink;
    for (Scanner scanner : DefaultScanners()) {
        ScanContext ctx{registry, Files(), items, counters, stop, &sink};
        scanner(ctx);
        Check(registry.OpenHandleCount() == 0, "a scanner left a key open");
    }
    Check(static_cast<size_t>(counters.totalCount) == items.Count(),
          "the total count is not the number of items");

    for (const auto& marks : built.marks)
        for (const auto& [root, path] : marks)
            registry.SetProtection(root, path, MemoryRegistry::Protection::kNone);
    ScanCounters recount;
    items.ForEach([&](const FoundItem& item) {
        Check(item.category >= 1 && item.category <= kCategoryCount, "an item without category");
        ++recount.categoryCount[item.category];
        CheckNamesAnEntry(registry, item);
    });
    Check(recount.categoryCount == counters.categoryCount,
          "the category counts are not the items of each category");
    return 0;
}
