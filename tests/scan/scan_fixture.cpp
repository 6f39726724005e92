#include "tests/scan/scan_fixture.h"

#include <fstream>
#include <random>

#include "platform/regtext/reg_text.h"

namespace qm::testing {

ScanFixture::ScanFixture() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("qm-scan-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(root_);

    // A small Windows XP machine. The current folder C:\ is not on the
    // search path.
    config.drives = {{'C', root_.string()}};
    config.currentFolder = "C:\\";
    config.windowsFolder = "C:\\WINDOWS";
    config.systemFolder = "C:\\WINDOWS\\system32";
    config.environment = {{"SystemRoot", "C:\\WINDOWS"},
                          {"ProgramFiles", "C:\\Program Files"},
                          {"PATH", "C:\\WINDOWS\\system32;C:\\WINDOWS;C:\\Tools"},
                          {"BIG", "C:\\" + std::string(1100, 'b')}};
    config.specialFolders = {
        {csidl::kPrograms, "C:\\Documents and Settings\\User\\Start Menu\\Programs"}};
    MakeFolder("C:\\WINDOWS\\system32");
}

ScanFixture::~ScanFixture() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void ScanFixture::LoadRegistry(const std::string& body) {
    regtext::Document doc;
    regtext::ParseError error;
    ASSERT_TRUE(regtext::Parse("REGEDIT4\r\n\r\n" + body, doc, error))
        << "line " << error.line << ": " << error.message;
    registry.Apply(doc);
}

static std::filesystem::path HostPath(const std::filesystem::path& root, std::string path) {
    EXPECT_EQ(path.rfind("C:\\", 0), 0u) << path;
    for (char& c : path)
        if (c == '\\') c = '/';
    return root / path.substr(3);
}

void ScanFixture::MakeFile(const std::string& windowsPath) {
    const auto host = HostPath(root_, windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host) << "x";
}

void ScanFixture::MakeFolder(const std::string& windowsPath) {
    std::filesystem::create_directories(HostPath(root_, windowsPath));
}

FileProbe& ScanFixture::Files() {
    if (!files_) files_ = std::make_unique<MappedFileProbe>(config);
    return *files_;
}

std::vector<Found> ScanFixture::Run(void (*scanner)(ScanContext&)) {
    ScanContext ctx{registry, Files(), list, counters, stop, &sink};
    scanner(ctx);
    EXPECT_EQ(registry.OpenHandleCount(), 0u) << "a key was left open";
    std::vector<Found> found;
    list.ForEach([&](const FoundItem& item) {
        found.emplace_back(item.keyPath, item.valueName, item.data, item.category);
    });
    return found;
}

}  // namespace qm::testing
