#include "tests/repair/scanner_world.h"

#include <array>
#include <fstream>
#include <random>
#include <utility>

namespace qm::repairtest {

void PrintTo(const Found& found, std::ostream* out) {
    *out << "{" << found.category << ", \"" << found.keyPath << "\", \"" << found.valueName
         << "\", \"" << found.data << "\"}";
}

ScannerWorld::ScannerWorld() : config(MappedFilesConfig::Defaults()) {
    // A folder of our own: a random name, taken only if it is new.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / (Numbered("qm-repair-", random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) root_ = candidate;
    }
    EXPECT_FALSE(root_.empty()) << "no temporary folder";
    config.drives['C'] = root_.string();
    MakeFolder("C:\\WINDOWS\\system32");
}

ScannerWorld::~ScannerWorld() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

// Creates the key one name at a time, so that paths longer than the
// registry functions take in one call can be made too.
RegKey ScannerWorld::CreatePath(HKey root, const std::string& path) {
    RegKey key(registry);
    EXPECT_EQ(key.Create(root, "", access::kAllAccess), status::kSuccess);
    size_t from = 0;
    while (from < path.size()) {
        size_t end = path.find('\\', from);
        if (end == std::string::npos) end = path.size();
        RegKey child(registry);
        EXPECT_EQ(
            child.Create(key.get(), path.substr(from, end - from).c_str(), access::kAllAccess),
            status::kSuccess)
            << path;
        key = std::move(child);
        from = end + 1;
    }
    return key;
}

void ScannerWorld::MakeKey(HKey root, const std::string& path) {
    CreatePath(root, path);
}

void ScannerWorld::SetText(HKey root, const std::string& path, const std::string& name,
                           const std::string& text, uint32_t type) {
    SetBytes(root, path, name, type, std::string(text.c_str(), text.size() + 1));
}

void ScannerWorld::SetBytes(HKey root, const std::string& path, const std::string& name,
                            uint32_t type, const std::string& bytes) {
    RegKey key = CreatePath(root, path);
    ASSERT_EQ(registry.SetValue(key.get(), name.c_str(), type,
                                reinterpret_cast<const uint8_t*>(bytes.data()),
                                static_cast<uint32_t>(bytes.size())),
              status::kSuccess)
        << path << " " << name;
}

void ScannerWorld::Protect(HKey root, const std::string& path,
                           MemoryRegistry::Protection protection) {
    ASSERT_TRUE(registry.SetProtection(root, path, protection)) << path;
}

std::filesystem::path ScannerWorld::HostPath(const std::string& windowsPath) const {
    EXPECT_EQ(windowsPath.rfind("C:\\", 0), 0u) << windowsPath;
    std::filesystem::path host = root_;
    size_t from = 3;
    while (from < windowsPath.size()) {
        size_t end = windowsPath.find('\\', from);
        if (end == std::string::npos) end = windowsPath.size();
        host /= windowsPath.substr(from, end - from);
        from = end + 1;
    }
    return host;
}

void ScannerWorld::MakeFile(const std::string& windowsPath) {
    const std::filesystem::path host = HostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host) << "x";
}

void ScannerWorld::MakeFolder(const std::string& windowsPath) {
    std::filesystem::create_directories(HostPath(windowsPath));
}

void ScannerWorld::SetEnv(const std::string& name, const std::string& value) {
    config.environment.emplace_back(name, value);
}

void ScannerWorld::StopAt(const std::string& text) {
    sink.onText = [this, text](const std::string& shown) {
        if (shown == text) stop = 1;
    };
}

FileProbe& ScannerWorld::Files() {
    if (!files_) files_ = std::make_unique<MappedFileProbe>(config);
    return *files_;
}

std::vector<Found> ScannerWorld::Run(const std::function<void(ScanContext&)>& scanner) {
    ScanContext ctx{registry, Files(), list, counters, stop, &sink};
    scanner(ctx);
    EXPECT_EQ(registry.OpenHandleCount(), 0u) << "a key was left open";

    std::vector<Found> found;
    std::array<int32_t, kCategoryCount + 1> perCategory{};
    list.ForEach([&](const FoundItem& item) {
        found.push_back({item.keyPath, item.valueName, item.data, item.category});
        EXPECT_FALSE(item.selected);
        if (item.category >= 1 && item.category <= kCategoryCount) ++perCategory[item.category];
    });
    EXPECT_EQ(counters.totalCount, static_cast<int32_t>(found.size()));
    for (int c = 1; c <= kCategoryCount; ++c) EXPECT_EQ(counters.categoryCount[c], perCategory[c]);
    return found;
}

}  // namespace qm::repairtest
