#include "platform/hive/hive_builder.h"

#include <map>
#include <vector>

#include "platform/hive/hive_file.h"
#include "platform/memory/memory_registry_tree.h"

namespace qm::hive {

namespace {

// The part of `path` below `prefix`, if it lies there.
bool Below(const std::string& path, const std::string& prefix, std::string* rest) {
    if (prefix.empty()) {
        *rest = path;
        return true;
    }
    if (path.size() < prefix.size() ||
        !memreg::NamesEqual(std::string_view(path).substr(0, prefix.size()), prefix))
        return false;
    if (path.size() == prefix.size()) {
        rest->clear();
        return true;
    }
    if (path[prefix.size()] != '\\') return false;
    *rest = path.substr(prefix.size() + 1);
    return true;
}

}  // namespace

bool BuildHive(const std::string& base, const regtext::Document& doc, HKey root,
               const std::string& prefix, const std::string& out, std::string* error) {
    std::unique_ptr<HiveFile> hive = HiveFile::Open(base, true, error);
    if (hive == nullptr) return false;
    // Keys in the order first met, each with its values in order.
    std::vector<std::pair<hive_node_h, std::vector<HiveFile::NewValue>>> keys;
    std::map<std::string, size_t> byPath;  // folded path -> index in keys
    // Keys made here are found again by their folded path, without asking
    // the hive; only keys of the base hive are looked up in it.
    std::map<std::string, hive_node_h> nodes;
    auto keyFor = [&](const std::string& path, size_t* index) {
        const std::string folded = memreg::FoldName(path);
        auto found = byPath.find(folded);
        if (found != byPath.end()) {
            *index = found->second;
            return true;
        }
        hive_node_h node = hive->root();
        bool made = false;  // whether `node` was made here
        std::string prefix;
        size_t pos = 0;
        while (pos < path.size()) {
            const size_t end = std::min(path.find('\\', pos), path.size());
            const std::string name = path.substr(pos, end - pos);
            pos = end + 1;
            if (name.empty()) continue;
            if (!prefix.empty()) prefix += '\\';
            prefix += memreg::FoldName(name);
            auto known = nodes.find(prefix);
            if (known != nodes.end()) {
                node = known->second;
                made = true;
                continue;
            }
            hive_node_h child = made ? 0 : hive->FindChild(node, name);
            if (child == 0) {
                if (hive->AddChild(node, name, &child) != status::kSuccess) return false;
                nodes[prefix] = child;
                made = true;
            }
            node = child;
        }
        keys.emplace_back(node, std::vector<HiveFile::NewValue>{});
        *index = byPath[folded] = keys.size() - 1;
        return true;
    };
    for (const regtext::Entry& entry : doc.entries) {
        std::string path;
        if (entry.root != root || !Below(entry.keyPath, prefix, &path)) continue;
        if (entry.kind != regtext::Entry::Kind::kKey && entry.kind != regtext::Entry::Kind::kValue)
            continue;
        size_t index = 0;
        if (!keyFor(path, &index)) {
            *error = out + ": cannot add the key " + entry.keyPath + " (" + hive->damage() + ")";
            return false;
        }
        if (entry.kind != regtext::Entry::Kind::kValue) continue;
        auto& values = keys[index].second;
        HiveFile::NewValue value{entry.name, entry.type,
                                 std::string(entry.data.begin(), entry.data.end())};
        bool replaced = false;
        for (auto& existing : values) {
            if (memreg::NamesEqual(existing.name, value.name)) {
                existing = value;
                replaced = true;
            }
        }
        if (!replaced) values.push_back(std::move(value));
    }
    for (const auto& [node, values] : keys) {
        if (values.empty()) continue;
        if (hive->ReplaceValues(node, values) != status::kSuccess) {
            *error = out + ": " + hive->damage();
            return false;
        }
    }
    return hive->SaveAs(out, error);
}

}  // namespace qm::hive
