// COM/ActiveX (category 1): five passes over HKEY_CLASSES_ROOT looking for
// class registrations whose server file is gone, references to application
// and class keys that do not exist, and type libraries whose 32-bit file is
// gone. Every item stands for the key in its key path, which the repair
// deletes with everything below it.
//
// On 64-bit Windows the classes, application keys and type libraries of
// the 32-bit programs are read too where they are keys of their own
// (HKEY_CLASSES_ROOT\Wow6432Node\CLSID, ...), and their items name them by
// that path. A reference is missing only when neither view has its key, and
// the top-level Wow6432Node key is the 32-bit view's, never a class.
//
// Under Wine every registry call is a round trip to the server, so the passes
// keep their calls few: keys are opened relative to the handle of the key
// that is being enumerated, each value is read with one call into a buffer
// allocated once per scan, a referenced key is tested with one open, and
// only the server kinds that a class key lists are opened (a class has one
// or two of the six).
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/name_case.h"
#include "platform/value_text.h"
#include "scan/extract_path.h"
#include "scan/scanners.h"

namespace qm {

namespace {

// Subkey names are read with room for 298 characters; a longer name ends the
// enumeration of the key that holds it.
constexpr uint32_t kNameBufferSize = 300;
constexpr uint32_t kNameReadSize = 299;
// Value data: passes 1 to 4 offer one byte less than the buffer holds.
constexpr uint32_t kDataBufferSize = 1024;
constexpr uint32_t kClassDataSize = 1023;
constexpr uint32_t kTypeLibDataSize = 1024;

// Keys that are examined are opened with the access a repair would need;
// one that may only be read is not examined.
constexpr uint32_t kExamineAccess = access::kReadWrite;

constexpr const char* kServerKinds[] = {
    "InprocServer32", "InprocServer",    "LocalServer32",
    "LocalServer",    "InprocHandler32", "InprocHandler",
};
constexpr uint32_t kAllKinds = (1u << std::size(kServerKinds)) - 1;

// The key below HKEY_CLASSES_ROOT that holds the 32-bit programs' own
// classes on 64-bit Windows.
bool IsViewKey(const std::string& name) {
    static constexpr char kViewKey[] = "wow6432node";
    if (name.size() != sizeof kViewKey - 1) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != kViewKey[i]) return false;
    return true;
}

class ComScan {
  public:
    explicit ComScan(ScanContext& ctx) : ctx_(ctx), registry_(ctx.registry) {}

    // An item of pass 2, added after every item of pass 1.
    struct HeldItem {
        std::string keyPath;
        std::string appId;
    };

    void Classes(const std::string& classesPath, std::vector<HeldItem>& appIds);
    void AddAppId(HeldItem item) {
        const std::string reference = "AppID\\" + item.appId;
        AddReference(std::move(item.keyPath), "AppID", std::move(item.appId), reference);
    }
    void NamedAppIds(const std::string& appsPath);
    void ClassReferences();
    void TypeLibraries(const std::string& typeLibsPath);

  private:
    // The name of subkey `index` of `key` into `name`; false at the end of
    // the list or on any failure. `index` steps over names that do not
    // convert exactly.
    bool NextSubKey(HKey key, uint32_t& index, std::string& name) {
        uint32_t size = kNameReadSize;
        Status listed;
        while ((listed = registry_.EnumKey(key, index, name_.data(), &size)) ==
               status::kNoUnicodeTranslation) {
            ++index;
            size = kNameReadSize;
        }
        if (listed != status::kSuccess) return false;
        // The whole name, a zero byte in it included: an item that names
        // such a key is left out (ScanContext::Add).
        name.assign(name_.data(), std::min(size, kNameReadSize));
        return true;
    }

    // A value as text, read without regard to its type: the bytes read up
    // to the first zero byte. False when the value is missing or its data is
    // longer than `offered` bytes.
    bool ReadText(HKey key, const char* valueName, uint32_t offered, std::string& text) {
        return QueryValueText(registry_, key, valueName, data_.data(), offered, text) ==
               status::kSuccess;
    }

    // Whether the server or type-library file a value names is gone. Only a
    // path that starts with a drive letter is judged; a bare name, a
    // relative path or a network path is left alone, and so is a path that
    // could not be expanded within the limit. A path with a drive is never
    // found on the search path, so existence is the whole test, and the file
    // is gone only when the probe says it is missing.
    bool FileMissing(const std::string& text, std::string& path) {
        source_ = text;
        if (!ExtractPath(source_, path, ctx_.files, &other_)) return false;
        if (path.size() < 2 || path[1] != ':') return false;
        return CheckTarget(path, ctx_.files, ctx_.registry.codePage(), other_) ==
               Existence::kMissing;
    }

    // Which of kServerKinds (bits by index) the open class key may hold:
    // those its listing names, or every kind when the listing cannot tell
    // exactly (it failed, or a name is not plain ASCII: the registry takes
    // some other letters, such as the dotless i, as the capital of an ASCII
    // one), so that each kind is then opened by name.
    uint32_t ServerKindsHeld(HKey entry) {
        registry_.ListKey(entry, listing::kSubKeys, listed_);
        if (listed_.subKeysEnd != status::kNoMoreItems) return kAllKinds;
        uint32_t held = 0;
        for (const KeyListing::SubKey& subKey : listed_.subKeys) {
            if (!subKey.usable || !IsAscii(subKey.name)) return kAllKinds;
            for (size_t k = 0; k < std::size(kServerKinds); ++k)
                if (EqualAsciiNoCase(subKey.name, kServerKinds[k])) held |= 1u << k;
        }
        return held;
    }

    // Whether the key a reference names may exist below HKEY_CLASSES_ROOT.
    // It is opened for reading only, so a key the account may read but not
    // change exists all the same. Only "not found" makes it missing: the
    // system says "access denied" only for a key that is there, and a
    // reference the ANSI open cannot take (a path longer than it accepts)
    // could not be tested and is left alone.
    //
    // With `log`, the key is noted as "HKCR\<path>" with its answer, and
    // where the 32-bit programs have a key of their own in place of the
    // reference's first key, the 32-bit view's key too.
    bool ReferencedKeyExists(const std::string& path, CheckLog* log = nullptr) {
        RegKey key(registry_);
        const Status native = key.Open(hkey::kClassesRoot, path.c_str(), access::kRead);
        if (log != nullptr) log->push_back({"HKCR\\" + path, KeyAnswer(native)});
        if (native != status::kFileNotFound) return true;
        const Status wow32 =
            key.Open(hkey::kClassesRoot, path.c_str(), access::kRead | access::kWow64_32Key);
        if (log != nullptr) {
            const size_t slash = path.find('\\');
            std::string view;
            if (slash != std::string::npos &&
                registry_.Wow64Path(hkey::kClassesRoot, path.substr(0, slash), &view) ==
                    status::kSuccess)
                log->push_back({"HKCR\\" + view + path.substr(slash), KeyAnswer(wow32)});
        }
        return wow32 != status::kFileNotFound;
    }

    static Existence KeyAnswer(Status opened) {
        if (opened == status::kFileNotFound) return Existence::kMissing;
        if (opened == status::kSuccess || opened == status::kAccessDenied)
            return Existence::kExists;
        return Existence::kCannotTell;
    }

    // An item whose missing file or key `recheck` notes again.
    void Add(std::string keyPath, const char* label, std::string data,
             const ScanContext::Recheck& recheck) {
        ctx_.Add(std::move(keyPath), label, std::move(data), ScanCategory::ComActiveX, recheck);
    }
    // An item for a reference whose key is missing.
    void AddReference(std::string keyPath, const char* label, std::string data,
                      const std::string& reference) {
        Add(std::move(keyPath), label, std::move(data), [&](CheckLog& log) {
            return ReferencedKeyExists(reference, &log) ? Existence::kExists : Existence::kMissing;
        });
    }
    // An item for a server or type-library file that FileMissing found gone.
    void AddFile(std::string keyPath, const std::string& path) {
        Add(std::move(keyPath), "(Default)", path, [&](CheckLog& log) {
            return CheckTarget(path, ctx_.files, ctx_.registry.codePage(), other_, &log);
        });
    }

    ScanContext& ctx_;
    RegistryService& registry_;
    std::array<char, kNameBufferSize> name_{};
    std::array<uint8_t, kDataBufferSize> data_{};
    KeyListing listed_;
    std::string source_;  // ExtractPath shortens its source; this is the copy it works on
    std::string other_;   // the source's other reading on 64-bit Windows
};

// Passes 1 and 2 in one reading of each class key: the file of every server
// kind of every class (pass 1), and the application key that a class's AppID
// value names (pass 2). The server kinds are opened relative to the class
// key; where the class key itself may not be opened for change, through the
// class list as two names, since a subkey may allow what its key does not.
// The items of pass 2 go to `appIds`, for the caller to add once pass 1 has
// gone through every view.
void ComScan::Classes(const std::string& classesPath, std::vector<HeldItem>& appIds) {
    RegKey classes(registry_);
    if (classes.Open(hkey::kClassesRoot, classesPath.c_str(), kExamineAccess) != status::kSuccess)
        return;

    std::string clsid;
    std::string subPath;  // "{class}\kind", below CLSID
    std::string keyText;
    std::string text;
    std::string path;
    std::string appId;
    std::string reference;
    for (uint32_t index = 0; NextSubKey(classes.get(), index, clsid); ++index) {
        if (ctx_.Stopped()) break;
        RegKey entry(registry_);
        const Status opened = entry.Open(classes.get(), clsid.c_str(), kExamineAccess);
        if (opened == status::kFileNotFound) continue;  // gone, and every kind with it
        const uint32_t kinds =
            opened == status::kSuccess ? ServerKindsHeld(entry.get()) : kAllKinds;
        for (size_t k = 0; k < std::size(kServerKinds); ++k) {
            const char* kind = kServerKinds[k];
            subPath.assign(clsid).append("\\").append(kind);
            keyText.assign(classesPath).append("\\").append(subPath);
            ctx_.Report(keyText);
            if ((kinds & (1u << k)) == 0) continue;

            RegKey server(registry_);
            const Status found = opened == status::kSuccess
                                     ? server.Open(entry.get(), kind, kExamineAccess)
                                     : server.Open(classes.get(), subPath.c_str(), kExamineAccess);
            if (found != status::kSuccess) continue;
            if (!ReadText(server.get(), "", kClassDataSize, text)) continue;
            if (FileMissing(text, path)) AddFile("HKCR\\" + keyText, path);
        }

        if (opened != status::kSuccess || ctx_.Stopped()) continue;
        if (!ReadText(entry.get(), "AppID", kClassDataSize, appId)) continue;
        reference.assign("AppID\\").append(appId);
        ctx_.Report(reference);
        if (!ReferencedKeyExists(reference))
            appIds.push_back({"HKCR\\" + classesPath + "\\" + clsid, appId});
    }
}

// Pass 3: the application key that a named application entry's AppID value
// names. Entries named by a GUID are the application keys themselves.
void ComScan::NamedAppIds(const std::string& appsPath) {
    RegKey apps(registry_);
    if (apps.Open(hkey::kClassesRoot, appsPath.c_str(), kExamineAccess) != status::kSuccess) return;

    std::string name;
    std::string keyText;
    std::string appId;
    std::string reference;
    for (uint32_t index = 0; NextSubKey(apps.get(), index, name); ++index) {
        if (ctx_.Stopped()) break;
        if (!name.empty() && name[0] == '{') continue;

        keyText.assign(appsPath).append("\\").append(name);
        ctx_.Report(keyText);
        RegKey entry(registry_);
        if (entry.Open(apps.get(), name.c_str(), kExamineAccess) != status::kSuccess) continue;
        if (!ReadText(entry.get(), "AppID", kClassDataSize, appId)) continue;

        reference.assign("AppID\\").append(appId);
        ctx_.Report(reference);
        if (!ReferencedKeyExists(reference))
            AddReference("HKCR\\" + keyText, "AppID", appId, reference);
    }
}

// Pass 4: the class that the CLSID subkey of any top-level key names.
void ComScan::ClassReferences() {
    RegKey root(registry_);
    if (root.Open(hkey::kClassesRoot, "", kExamineAccess) != status::kSuccess) return;

    std::string name;
    std::string keyText;
    std::string clsid;
    std::string reference;
    for (uint32_t index = 0; NextSubKey(root.get(), index, name); ++index) {
        if (ctx_.Stopped()) break;
        if (IsViewKey(name)) continue;
        keyText.assign(name).append("\\CLSID");
        ctx_.Report(keyText);
        RegKey entry(registry_);
        if (entry.Open(root.get(), keyText.c_str(), kExamineAccess) != status::kSuccess) continue;
        if (!ReadText(entry.get(), "", kClassDataSize, clsid)) continue;

        reference.assign("CLSID\\").append(clsid);
        ctx_.Report(reference);
        if (!ReferencedKeyExists(reference))
            AddReference("HKCR\\" + keyText, "{Default}", clsid, reference);
    }
}

// Pass 5: the 32-bit file of every locale of every version of every type
// library. Only the library loop polls the stop flag.
void ComScan::TypeLibraries(const std::string& typeLibsPath) {
    RegKey typeLibs(registry_);
    if (typeLibs.Open(hkey::kClassesRoot, typeLibsPath.c_str(), access::kRead) != status::kSuccess)
        return;

    std::string library;
    std::string version;
    std::string locale;
    std::string libraryPath;
    std::string versionPath;
    std::string win32Path;
    std::string win32SubKey;
    std::string text;
    std::string path;
    for (uint32_t li = 0; NextSubKey(typeLibs.get(), li, library); ++li) {
        if (ctx_.Stopped()) break;
        libraryPath.assign("HKCR\\").append(typeLibsPath).append("\\").append(library).append("\\");
        ctx_.Report(libraryPath);
        RegKey libraryKey(registry_);
        if (libraryKey.Open(typeLibs.get(), library.c_str(), access::kRead) != status::kSuccess)
            continue;

        for (uint32_t vi = 0; NextSubKey(libraryKey.get(), vi, version); ++vi) {
            versionPath.assign(libraryPath).append(version).append("\\");
            ctx_.Report(versionPath);
            RegKey versionKey(registry_);
            if (versionKey.Open(libraryKey.get(), version.c_str(), access::kRead) !=
                status::kSuccess)
                continue;

            for (uint32_t ci = 0; NextSubKey(versionKey.get(), ci, locale); ++ci) {
                win32SubKey.assign(locale).append("\\win32");
                win32Path.assign(versionPath).append(win32SubKey);
                ctx_.Report(win32Path);
                RegKey win32(registry_);
                if (win32.Open(versionKey.get(), win32SubKey.c_str(), access::kRead) !=
                    status::kSuccess)
                    continue;
                if (!ReadText(win32.get(), "", kTypeLibDataSize, text)) continue;
                if (FileMissing(text, path)) AddFile(win32Path, path);
            }
        }
    }
}

}  // namespace

void ScanComActiveX(ScanContext& ctx) {
    ComScan scan(ctx);
    const std::vector<std::string> classes = KeyViews(ctx.registry, hkey::kClassesRoot, "CLSID");
    std::vector<ComScan::HeldItem> appIds;
    for (const std::string& view : classes) scan.Classes(view, appIds);
    if (!ctx.Stopped())
        for (ComScan::HeldItem& item : appIds) scan.AddAppId(std::move(item));
    for (const std::string& view : KeyViews(ctx.registry, hkey::kClassesRoot, "AppID"))
        scan.NamedAppIds(view);
    scan.ClassReferences();
    for (const std::string& view : KeyViews(ctx.registry, hkey::kClassesRoot, "TypeLib"))
        scan.TypeLibraries(view);
}

}  // namespace qm
