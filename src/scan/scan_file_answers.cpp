#include "scan/scan_file_answers.h"

namespace qm {

namespace {

// Far above the distinct names of a whole registry; past it the kept
// answers start again, so that memory stays bounded on any input.
constexpr size_t kMostAnswers = size_t{1} << 18;

}  // namespace

Existence ScanFileAnswers::CheckPath(const std::string& path) {
    const uint64_t hash = TextAnswers::Hash(path);
    if (const std::optional<Existence> kept = exists_.Find(path, hash)) return *kept;
    const Existence found = inner_.CheckPath(path);
    exists_.Insert(path, hash, found);
    return found;
}

Existence ScanFileAnswers::FindOnPath(std::string& name) {
    if (auto it = found_.find(name); it != found_.end()) {
        if (it->second.answer == Existence::kExists) name = it->second.found;
        return it->second.answer;
    }
    std::string searched = name;
    const Existence answer = inner_.FindOnPath(searched);
    if (found_.size() >= kMostAnswers) found_.clear();
    found_.emplace(name, Search{answer, answer == Existence::kExists ? searched : std::string()});
    if (answer == Existence::kExists) name = std::move(searched);
    return answer;
}

Status ScanFileAnswers::CreateFolder(const std::string& path) {
    Forget();
    return inner_.CreateFolder(path);
}

Status ScanFileAnswers::DeleteFile(const std::string& path) {
    Forget();
    return inner_.DeleteFile(path);
}

std::unique_ptr<FileStream> ScanFileAnswers::OpenFile(const std::string& path, FileMode mode,
                                                      Status* status) {
    Forget();
    return inner_.OpenFile(path, mode, status);
}

void ScanFileAnswers::Forget() {
    exists_.Clear();
    found_.clear();
}

}  // namespace qm
