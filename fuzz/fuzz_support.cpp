#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace qm::fuzz {

MappedFilesConfig DemoDrive() {
    MappedFilesConfig config = MappedFilesConfig::Defaults();
    config.drives = {{'C', std::string(QM_DEMO_DIR) + "/drive_c"}};
    return config;
}

regtext::Document ExportAll(const MemoryRegistry& registry, regtext::Format format) {
    regtext::Document all;
    all.format = format;
    for (HKey root : {hkey::kLocalMachine, hkey::kCurrentUser, hkey::kUsers, hkey::kCurrentConfig,
                      hkey::kDynData}) {
        regtext::Document part = registry.Export(root);
        all.entries.insert(all.entries.end(), part.entries.begin(), part.entries.end());
    }
    return all;
}

std::string Describe(const regtext::Entry& e) {
    std::string text = "kind " + std::to_string(static_cast<int>(e.kind)) + " root " +
                       std::to_string(e.root) + " [" + e.keyPath + "] \"" + e.name + "\" type " +
                       std::to_string(e.type) + " data";
    for (uint8_t b : e.data) text += " " + std::to_string(b);
    return text;
}

long FirstDifference(const regtext::Document& a, const regtext::Document& b) {
    const size_t n = std::min(a.entries.size(), b.entries.size());
    for (size_t i = 0; i < n; ++i) {
        const regtext::Entry& x = a.entries[i];
        const regtext::Entry& y = b.entries[i];
        if (x.kind != y.kind || x.root != y.root || x.keyPath != y.keyPath || x.name != y.name ||
            x.type != y.type || x.data != y.data)
            return static_cast<long>(i);
    }
    return a.entries.size() == b.entries.size() ? -1 : static_cast<long>(n);
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "\nPROPERTY FAILED: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace qm::fuzz
