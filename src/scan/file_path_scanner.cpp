// File/Path references (category 8). The walk is iterative: it keeps its own
// stack of the keys between the start key and the key being visited, so a
// key chain of any depth costs heap, not call stack.
//
// Handles. Each key on the stack normally keeps its handle open while its
// subkeys are walked, so that the next subkey is found and opened relative to
// it with one call, as a recursive walk would. Windows does not let keys nest
// deeper than 512 levels, so on a live registry that is all there is. Deeper
// than that (an in-memory registry, or Wine, which has no such limit) only
// every 32nd level keeps its handle; the levels between close theirs while
// they walk a subkey and reopen it afterwards, relative to the nearest open
// level above, through at most 31 names. The walk so holds at most about
// 512 + depth / 32 handles, and a reopen resolves at most 31 names.
//
// Opening each key relative to its parent also keeps every open within the
// 260 bytes of path that the ANSI open functions take, so keys whose full
// path is longer than that are walked too.
//
// Each key is opened once: with read and change access when the account may
// change it (its values are examined, since the repair could delete them),
// and otherwise read-only (its subkeys are walked, its values are not).
//
// Paths. The subkey path and the display path of the key being visited are
// two strings shared by the whole walk; each stack entry keeps only their
// lengths at its level, so a deep chain does not copy its path per level.
#include "scan/file_path_scanner.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/extract_path.h"
#include "scan/scanners.h"

namespace qm {

namespace {

constexpr uint32_t kNameBufferSize = 300;
constexpr uint32_t kNameReadSize = 299;  // a longer subkey name ends its key's enumeration
constexpr uint32_t kValueBufferSize = 1024;
constexpr size_t kKeepAllLevels = 512;
constexpr size_t kKeepEvery = 32;

// Only a value at least this long (its zero byte included) is examined.
constexpr uint32_t kShortestExamined = 3;

size_t TextLength(const char* bytes, uint32_t size) {
    const void* zero = std::memchr(bytes, '\0', size);
    return zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
}

// Whether the key at `depth` below the start key keeps its handle open while
// its subkeys are walked.
bool KeepsHandle(size_t depth) {
    return depth < kKeepAllLevels || (depth - kKeepAllLevels) % kKeepEvery == 0;
}

class FileReferenceWalk {
  public:
    explicit FileReferenceWalk(ScanContext& ctx) : ctx_(ctx), registry_(ctx.registry) {}

    void Run(HKey root, const std::string& subKeyPath, const std::string& displayPath);

  private:
    struct Level {
        RegKey key;
        size_t subKeyLength = 0;
        size_t displayLength = 0;
        uint32_t nextSubKey = 0;
        bool writable = false;
        bool keepsHandle = true;
        bool subKeysDone = false;
    };

    // Opens a key to walk: for change when allowed, else read-only. False
    // when it cannot even be read.
    bool OpenLevel(HKey parent, const char* subKey, Level& level) {
        const Status result = level.key.Open(parent, subKey, access::kReadWrite);
        if (result == status::kSuccess) {
            level.writable = true;
            return true;
        }
        level.writable = false;
        if (result == status::kFileNotFound) return false;
        return level.key.Open(parent, subKey, access::kRead) == status::kSuccess;
    }

    // Opens the top level's key again, relative to the nearest level above
    // that holds its handle (the start key always does), in steps when the
    // way down is longer than the ANSI open takes.
    bool Reopen() {
        Level& level = levels_.back();
        size_t above = levels_.size() - 1;
        while (above > 0 && !levels_[--above].key.IsOpen()) {
        }
        const Level& open = levels_[above];
        const size_t from = open.subKeyLength == 0 ? 0 : open.subKeyLength + 1;
        relative_.assign(subKey_, from, level.subKeyLength - from);
        RegKey step(registry_);
        HKey base = hkey::kNull;
        std::string rest;
        return ReachKeyPath(registry_, open.key.get(), relative_, step, base, rest) ==
                   status::kSuccess &&
               level.key.Open(base, rest.c_str(),
                              level.writable ? access::kReadWrite : access::kRead) ==
                   status::kSuccess;
    }

    // Takes the next subkey of the top level and pushes it; false when the
    // top level's subkeys are done.
    bool Descend();
    void ExamineValues(const Level& level);
    // The path to test that a value's text holds, if any.
    bool Candidate(std::string& text);

    ScanContext& ctx_;
    RegistryService& registry_;
    std::vector<Level> levels_;
    std::string subKey_;
    std::string display_;
    std::string relative_;
    std::string valueName_;
    std::string text_;
    std::string expanded_;
    std::string other_;
    std::array<char, kNameBufferSize> nameBuffer_{};
    std::array<char, kValueBufferSize> valueNameBuffer_{};
    std::array<uint8_t, kValueBufferSize> dataBuffer_{};
};

void FileReferenceWalk::Run(HKey root, const std::string& subKeyPath,
                            const std::string& displayPath) {
    subKey_ = subKeyPath;
    display_ = displayPath;
    ctx_.Report(display_);

    Level start;
    start.key = RegKey(registry_);
    if (!OpenLevel(root, subKey_.c_str(), start)) return;
    start.subKeyLength = subKey_.size();
    start.displayLength = display_.size();
    levels_.push_back(std::move(start));

    while (!levels_.empty()) {
        if (!levels_.back().subKeysDone && Descend()) continue;

        Level& level = levels_.back();
        if (level.writable && (level.key.IsOpen() || Reopen())) ExamineValues(level);
        levels_.pop_back();
        if (!levels_.empty()) {
            subKey_.resize(levels_.back().subKeyLength);
            display_.resize(levels_.back().displayLength);
        }
    }
}

bool FileReferenceWalk::Descend() {
    Level& level = levels_.back();
    for (;;) {
        if (!level.key.IsOpen() && !Reopen()) {
            level.writable = false;  // its values cannot be reached either
            level.subKeysDone = true;
            return false;
        }
        uint32_t size = kNameReadSize;
        const Status listed =
            registry_.EnumKey(level.key.get(), level.nextSubKey, nameBuffer_.data(), &size);
        if (!NextIndexUsable(listed) || ctx_.Stopped()) {
            level.subKeysDone = true;
            return false;
        }
        ++level.nextSubKey;
        // A name without an exact code-page form is passed over.
        if (listed != status::kSuccess) continue;
        // The whole name, a zero byte in it included, so that the items
        // below such a key are left out (ScanContext::Add). A name that
        // starts with a zero byte would lead back to this very key.
        const size_t nameLength = std::min(size, kNameReadSize);
        if (nameLength == 0 || nameBuffer_[0] == '\0') continue;

        if (!subKey_.empty()) subKey_.push_back('\\');
        subKey_.append(nameBuffer_.data(), nameLength);
        display_.push_back('\\');
        display_.append(nameBuffer_.data(), nameLength);
        ctx_.Report(display_);

        Level child;
        child.key = RegKey(registry_);
        if (!OpenLevel(level.key.get(), nameBuffer_.data(), child)) {
            subKey_.resize(level.subKeyLength);
            display_.resize(level.displayLength);
            continue;
        }
        child.subKeyLength = subKey_.size();
        child.displayLength = display_.size();
        child.keepsHandle = KeepsHandle(levels_.size());
        if (!level.keepsHandle) level.key.Close();
        levels_.push_back(std::move(child));  // `level` is not used after this
        return true;
    }
}

void FileReferenceWalk::ExamineValues(const Level& level) {
    for (uint32_t index = 0;; ++index) {
        uint32_t nameSize = kValueBufferSize;
        uint32_t dataSize = kValueBufferSize;
        uint32_t type = regtype::kNone;
        const Status listed = registry_.EnumValue(level.key.get(), index, valueNameBuffer_.data(),
                                                  &nameSize, &type, dataBuffer_.data(), &dataSize);
        if (!NextIndexUsable(listed) || ctx_.Stopped()) break;
        if (listed != status::kSuccess) continue;
        if (type != regtype::kSz && type != regtype::kExpandSz) continue;
        if (dataSize < kShortestExamined) continue;

        const char* bytes = reinterpret_cast<const char*>(dataBuffer_.data());
        text_.assign(bytes, TextLength(bytes, std::min(dataSize, kValueBufferSize)));
        // The other reading of a %ProgramFiles% reference on 64-bit Windows
        // counts as much as this program's own.
        other_ = OtherViewText(text_, ctx_.files);
        if (!Candidate(text_)) continue;
        if (PathReferenceExists(text_, ctx_.files)) continue;
        if (!other_.empty() && Candidate(other_) && PathReferenceExists(other_, ctx_.files))
            continue;

        valueName_.assign(valueNameBuffer_.data(), std::min(nameSize, kValueBufferSize));
        ctx_.Add(display_, valueName_, text_, ScanCategory::FilePathReference);
    }
}

bool FileReferenceWalk::Candidate(std::string& text) {
    // Only a text that starts with an environment reference, bare or
    // quoted, is expanded. One whose expansion does not fit cannot be tested
    // and is left alone.
    if (!text.empty() &&
        (text[0] == '%' || (text[0] == '"' && text.size() > 1 && text[1] == '%'))) {
        const uint32_t size = ctx_.files.ExpandEnvironment(text, expanded_, kMaxExpandedPath);
        if (size == 0 || size > kMaxExpandedPath) return false;
        text.swap(expanded_);
    }

    // A drive path, bare or after a quote; the candidate never holds a quote.
    if (text.size() >= 4 && text[0] == '"' && text[2] == ':' && text[3] == '\\') {
        text.erase(0, 1);
    } else if (!(text.size() >= 3 && text[1] == ':' && text[2] == '\\')) {
        return false;
    }
    const size_t quote = text.find('"');
    if (quote != std::string::npos) text.resize(quote);
    return true;
}

}  // namespace

void WalkFileReferences(ScanContext& ctx, HKey root, const std::string& subKeyPath,
                        const std::string& displayPath) {
    FileReferenceWalk walk(ctx);
    walk.Run(root, subKeyPath, displayPath);
}

void ScanFilePaths(ScanContext& ctx) {
    WalkFileReferences(ctx, hkey::kLocalMachine, "", "HKLM");
    WalkFileReferences(ctx, hkey::kUsers, "", "HKUS");
}

bool PathReferenceExists(const std::string& text, FileProbe& files) {
    if (text.find_first_of("*?") != std::string::npos) return true;

    const size_t start = (!text.empty() && text[0] == '"') ? 1 : 0;
    size_t end = text.size();

    // A last folder named like a program or library is an index or argument
    // after the file ("...\shell32.dll\2"). The test is case-sensitive.
    const size_t lastBackslash = text.rfind('\\');
    if (lastBackslash != std::string::npos && lastBackslash >= 3) {
        const std::string_view before(text.data() + lastBackslash - 3, 3);
        if (before == "exe" || before == "dll") end = lastBackslash;
    }
    // A quote, comma or semicolon after the first character ends the path.
    for (const char stop : {'"', ',', ';'}) {
        const size_t at = text.find(stop, start + 1);
        if (at != std::string::npos) end = std::min(end, at);
    }
    if (start >= end) return false;

    // Each blank may end the path: try every prefix that ends before a blank,
    // then the whole text, each as written and with ".exe" added.
    std::string prefix;
    size_t p = start;
    do {
        size_t q = text.find(' ', p + 1);
        if (q == std::string::npos || q > end) q = end;
        prefix.assign(text, start, q - start);
        if (files.PathExists(prefix)) return true;
        prefix.append(".exe");
        if (files.PathExists(prefix)) return true;
        p = q;
    } while (p < end);
    return false;
}

}  // namespace qm
