// File/Path references (category 8). The walk is a KeyWalk: iterative, so a
// key chain of any depth costs heap, not call stack, and values are examined
// once a key's subkeys are done with. Each key is read in one pass
// (ListKey) as soon as it is opened: its subkeys, and its values when they
// will be examined, so nothing of it is read twice.
//
// Handles. Each key on the stack normally keeps its handle open while its
// subkeys are walked, so that the next subkey is found and opened relative to
// it with one call, as a recursive walk would. Windows does not let keys nest
// deeper than 512 levels, so on a live registry that is all there is. Deeper
// than that (an in-memory registry, or Wine, which has no such limit) only
// every 32nd level keeps its handle; the levels between close theirs while
// they walk a subkey and reopen it only to open their next subkey, relative
// to the nearest open level above, through at most 31 names. The walk so holds at most about
// 512 + depth / 32 handles, and a reopen resolves at most 31 names.
//
// Each key is opened once: with read and change access when the account may
// change it (its values are examined, since the repair could delete them),
// and otherwise read-only (its subkeys are walked, its values are not).
//
// The display path is one string for the whole walk, like the subkey path;
// each level keeps only its length.
#include "scan/file_path_scanner.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/c_text.h"
#include "platform/key_walk.h"
#include "platform/text_answers.h"
#include "scan/extract_path.h"
#include "scan/scanners.h"
#include "scan/user_environment.h"

namespace qm {

namespace {

constexpr uint32_t kNameReadSize = 299;  // a longer subkey name ends its key's enumeration
constexpr uint32_t kValueBufferSize = 1024;
constexpr size_t kKeepAllLevels = 512;
constexpr size_t kKeepEvery = 32;

// Only a value at least this long (its zero byte included) is examined.
constexpr uint32_t kShortestExamined = 3;

// Whether the key at `depth` below the start key keeps its handle open while
// its subkeys are walked.
bool KeepsHandle(size_t depth) {
    return depth < kKeepAllLevels || (depth - kKeepAllLevels) % kKeepEvery == 0;
}

class FileReferenceWalk : public KeyWalk {
  public:
    explicit FileReferenceWalk(ScanContext& ctx)
        : KeyWalk(ctx.registry, kNameReadSize, kNameReadSize), ctx_(ctx) {}

    void Run(HKey root, const std::string& subKeyPath, const std::string& displayPath);

  protected:
    Status List(Level& level, std::string_view& name) override;
    bool Enter(Level& parent, std::string_view name, Level& child) override;
    bool Leave(Level& level, Status listed) override;

  private:
    // Level::flags; Level::tag is the display path's length at the level.
    static constexpr uint32_t kWritable = 1;
    static constexpr uint32_t kKeepsHandle = 2;

    // Opens a key to walk: for change when allowed, else read-only. False
    // when it cannot even be read.
    bool OpenLevel(HKey parent, const char* subKey, Level& level) {
        const Status result = level.key.Open(parent, subKey, access::kReadWrite);
        if (result == status::kSuccess) {
            level.flags |= kWritable;
            return true;
        }
        if (result == status::kFileNotFound) return false;
        return level.key.Open(parent, subKey, access::kRead) == status::kSuccess;
    }

    // Opens the last level's key again, relative to the nearest level above
    // that holds its handle (the start key always does), in steps when the
    // way down is longer than the ANSI open takes.
    bool Reopen() {
        std::vector<Level>& way = levels();
        Level& level = way.back();
        size_t above = way.size() - 1;
        while (above > 0 && !way[--above].key.IsOpen()) {
        }
        const Level& open = way[above];
        const size_t from = open.pathLength == 0 ? 0 : open.pathLength + 1;
        relative_.assign(path(), from, level.pathLength - from);
        RegKey step(registry_);
        return OpenKeyPath(registry_, open.key.get(), relative_,
                           (level.flags & kWritable) != 0 ? access::kReadWrite : access::kRead,
                           step, level.key) == status::kSuccess;
    }

    // The listing of the last level, read when its first subkey is asked.
    KeyListing& Listed() { return listed_[levels().size() - 1]; }
    void ExamineValues(const KeyListing& listed);
    // The path to test that a value's text holds, if any.
    bool Candidate(std::string& text);
    // CheckPathReference, asked once per candidate text in a walk: many
    // values name the same file, a candidate takes several file questions
    // (one per blank in it, and each with ".exe"), and within one scan the
    // answers to those do not change.
    Existence Reference(const std::string& candidate) {
        const uint64_t hash = TextAnswers::Hash(candidate);
        if (const std::optional<Existence> kept = references_.Find(candidate, hash)) return *kept;
        const Existence answer = CheckPathReference(candidate, ctx_.files);
        references_.Insert(candidate, hash, answer);
        return answer;
    }

    // Below HKEY_USERS each hive is a user's, and its values are expanded
    // with that user's variables: `user_` is the hive's being walked,
    // `nobody_` serves values above the hives. Both are unset elsewhere.
    std::vector<std::string> personal_;
    std::optional<UserEnvironment> user_;
    std::optional<UserEnvironment> nobody_;
    size_t hiveDepth_ = 0;                        // the level of the walk that the hives are
    const UserEnvironment* expandFor_ = nullptr;  // for the values being examined

    ScanContext& ctx_;
    std::string display_;
    std::string relative_;
    std::string text_;
    std::string expanded_;
    std::string other_;
    std::vector<KeyListing> listed_;  // by depth
    TextAnswers references_;
};

void FileReferenceWalk::Run(HKey root, const std::string& subKeyPath,
                            const std::string& displayPath) {
    display_ = displayPath;
    ctx_.Report(display_);
    if (root == hkey::kUsers) {
        personal_ = PersonalVariableNames(registry_);
        nobody_.emplace(ctx_.files, personal_);
        // A walk that starts inside a hive is that hive's user's throughout.
        const std::string hive = subKeyPath.substr(0, subKeyPath.find('\\'));
        hiveDepth_ = hive.empty() ? 1 : 0;
        if (!hive.empty()) user_.emplace(registry_, ctx_.files, personal_, hive);
    }

    Level start;
    start.key = RegKey(registry_);
    if (!OpenLevel(root, subKeyPath.c_str(), start)) return;
    start.flags |= kKeepsHandle;
    start.tag = display_.size();
    Walk(std::move(start), subKeyPath);
}

Status FileReferenceWalk::List(Level& level, std::string_view& name) {
    if (listed_.size() < levels().size()) listed_.resize(levels().size());
    KeyListing& listed = Listed();
    // The key was opened just before its first subkey is asked for (Enter
    // or Run), so it is read whole then; its values wait for Leave.
    if (level.next == 0) {
        const uint32_t parts =
            listing::kSubKeys | ((level.flags & kWritable) != 0 ? listing::kValues : 0);
        registry_.ListKey(level.key.get(), parts, listed);
    }
    for (;; ++level.next) {
        if (level.next >= listed.subKeys.size() || ctx_.Stopped()) return status::kNoMoreItems;
        const KeyListing::SubKey& subKey = listed.subKeys[level.next];
        // A name without an exact code-page form is passed over; one too
        // long for the name buffer ends the listing. The whole name, a zero
        // byte in it included, goes into the paths, so that the items below
        // such a key are left out (ScanContext::Add). A name that starts
        // with a zero byte would lead back to this very key.
        if (!subKey.usable) continue;
        if (subKey.name.size() >= kNameReadSize) return status::kNoMoreItems;
        if (subKey.name.empty() || subKey.name[0] == '\0') continue;
        // The subkey is opened relative to this key.
        if (!level.key.IsOpen() && !Reopen()) {
            level.flags &= ~kWritable;  // it may be gone: its values are passed over
            return status::kNoMoreItems;
        }
        name = subKey.name;
        return status::kSuccess;
    }
}

bool FileReferenceWalk::Enter(Level& parent, std::string_view name, Level& child) {
    display_.push_back('\\');
    display_.append(name);
    ctx_.Report(display_);
    if (!OpenLevel(parent.key.get(), name.data(), child)) {
        display_.resize(parent.tag);
        return false;
    }
    child.tag = display_.size();
    if (nobody_ && hiveDepth_ == 1 && levels().size() == 1)  // a hive below HKEY_USERS
        user_.emplace(registry_, ctx_.files, personal_, std::string(name));
    if (KeepsHandle(levels().size())) child.flags |= kKeepsHandle;
    if ((parent.flags & kKeepsHandle) == 0) parent.key.Close();
    return true;
}

bool FileReferenceWalk::Leave(Level& level, Status) {
    if ((level.flags & kWritable) != 0) ExamineValues(Listed());
    const std::vector<Level>& way = levels();
    if (way.size() > 1) display_.resize(way[way.size() - 2].tag);
    return false;
}

void FileReferenceWalk::ExamineValues(const KeyListing& listed) {
    // The key being left is levels().back(), at depth levels().size() - 1.
    expandFor_ = nullptr;
    if (nobody_) expandFor_ = levels().size() <= hiveDepth_ ? &*nobody_ : &*user_;
    for (const KeyListing::Value& value : listed.values) {
        if (ctx_.Stopped()) break;
        if (!value.usable) continue;
        // What the value buffers of 1024 bytes take: a longer name or data
        // ends the key's values.
        if (value.name.size() >= kValueBufferSize || value.data.size() > kValueBufferSize) break;
        if (value.type != regtype::kSz && value.type != regtype::kExpandSz) continue;
        if (value.data.size() < kShortestExamined) continue;

        text_.assign(CText(value.data));
        // The other reading of a %ProgramFiles% reference on 64-bit Windows
        // counts as much as this program's own.
        other_ = OtherViewText(text_, ctx_.files);
        if (!Candidate(text_)) continue;
        Existence answer = Reference(text_);
        // The other reading is asked only while this one leaves the value
        // missing; one that cannot be made says nothing.
        const bool otherAsked =
            answer == Existence::kMissing && !other_.empty() && Candidate(other_);
        if (otherAsked) answer = Reference(other_);
        if (answer != Existence::kMissing) continue;

        ctx_.Add(display_, value.name, text_, ScanCategory::FilePathReference, [&](CheckLog& log) {
            Existence again = CheckPathReference(text_, ctx_.files, &log);
            if (otherAsked) again = EitherOf(again, CheckPathReference(other_, ctx_.files, &log));
            return again;
        });
    }
}

bool FileReferenceWalk::Candidate(std::string& text) {
    // Only a text that starts with an environment reference, bare or
    // quoted, is expanded, below HKEY_USERS with the hive's user's values.
    // One whose expansion does not fit, or names a variable whose value for
    // that user is not known, cannot be tested and is left alone.
    if (!text.empty() &&
        (text[0] == '%' || (text[0] == '"' && text.size() > 1 && text[1] == '%'))) {
        if (expandFor_ != nullptr) {
            if (!expandFor_->Expand(text, expanded_)) return false;
        } else {
            const uint32_t size = ctx_.files.ExpandEnvironment(text, expanded_, kMaxExpandedPath);
            if (size == 0 || size > kMaxExpandedPath) return false;
        }
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

Existence CheckPathReference(const std::string& text, FileProbe& files, CheckLog* log) {
    if (text.find_first_of("*?") != std::string::npos) return Existence::kExists;

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
    if (start >= end) {
        if (log != nullptr) log->push_back({text, Existence::kMissing});
        return Existence::kMissing;
    }

    // A character that no file name holds (':' past the drive's, '<', '>',
    // a control character) is where the arguments have begun: no prefix
    // that holds one can name a file, so the walk ends before the first
    // such prefix ("C:\x\setup.exe C:\x\setup.log"). Only characters below
    // 0x40 are taken, which are never the second byte of a double-byte
    // character.
    size_t refused = end;
    const size_t first = end - start >= 2 && text[start + 1] == ':' ? start + 2 : start;
    for (size_t i = first; i < end && refused == end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == ':' || c == '<' || c == '>') refused = i;
    }

    // Each blank may end the path: try every prefix that ends before a blank,
    // then the whole text, each as written and with ".exe" added. The text
    // is missing only when every one of them is; when none could be tried it
    // cannot be told of.
    Existence answer = Existence::kMissing;
    bool tried = false;
    std::string prefix;
    const auto test = [&] {
        const Existence found = files.CheckPath(prefix);
        if (log != nullptr) log->push_back({prefix, found});
        answer = EitherOf(answer, found);
        return answer == Existence::kExists;
    };
    size_t p = start;
    do {
        size_t q = text.find(' ', p + 1);
        if (q == std::string::npos || q > end) q = end;
        if (refused < q) break;
        tried = true;
        prefix.assign(text, start, q - start);
        if (test()) return answer;
        prefix.append(".exe");
        if (test()) return answer;
        p = q;
    } while (p < end);
    return tried ? answer : Existence::kCannotTell;
}

}  // namespace qm
