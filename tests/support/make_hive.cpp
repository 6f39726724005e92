// make_hive BASE REGFILE KEY OUT: writes the hive OUT, which is the hive BASE
// with the keys of the registry text file REGFILE at and below KEY
// ("HKLM\SOFTWARE", "HKCU") added, KEY becoming its root. The tests build
// their hive files with it.
#include <fstream>
#include <iostream>
#include <iterator>

#include "platform/hive/hive_builder.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: make_hive BASE REGFILE KEY OUT\n";
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    qm::regtext::Document doc;
    qm::regtext::ParseError parseError;
    if (!in.good() && !in.eof()) {
        std::cerr << argv[2] << ": cannot be read\n";
        return 1;
    }
    if (!qm::regtext::Parse(bytes, doc, parseError)) {
        std::cerr << argv[2] << ": line " << parseError.line << ": " << parseError.message << '\n';
        return 1;
    }
    const std::string key = argv[3];
    const size_t slash = key.find('\\');
    const qm::HKey root = qm::ParseRootKeyName(key.substr(0, slash));
    std::string error;
    if (root == qm::hkey::kNull ||
        !qm::hive::BuildHive(argv[1], doc, root,
                             slash == std::string::npos ? "" : key.substr(slash + 1), argv[4],
                             &error)) {
        std::cerr << (error.empty() ? "bad KEY " + key : error) << '\n';
        return 1;
    }
    return 0;
}
