// A registry held in memory with the Win32 registry's meaning: names are
// compared without regard to case but keep the case they were created with,
// subkeys enumerate in case-insensitive name order, values in the order they
// were first set, short buffers give kMoreData, the default value has the
// empty name, a key with subkeys cannot be deleted by DeleteKey, a handle to
// a deleted key gives kKeyDeleted, and HKEY_CLASSES_ROOT is a view of
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes. HKEY_CURRENT_USER is a root of its
// own. Keys can be marked read-only or unreadable to exercise the
// access-denied paths that a real registry has.
//
// Its names and text are in one code page, Windows-1252 unless it is given
// another: key paths split at backslash characters and names compare by
// that code page's characters. It is filled from and saved to registry
// editor text files. All calls are safe from several threads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/registry_service.h"
#include "platform/regtext/reg_text.h"

namespace qm {

class MemoryRegistry : public RegistryService {
  public:
    enum class Protection {
        kNone,
        kReadOnly,    // opens that ask for more than reading give kAccessDenied
        kUnreadable,  // every open gives kAccessDenied
    };

    // Names and text in `codePage`, which must outlive the registry.
    explicit MemoryRegistry(const CodePage& codePage = CodePage::Windows1252());
    ~MemoryRegistry() override;

    // RegistryService
    QM_REGISTRY_SERVICE_OVERRIDES;

    // Whether the registry is a 64-bit Windows one, with the 32-bit view.
    void SetTwoViews(bool twoViews);

    // Marks an existing key. False when there is no such key.
    bool SetProtection(HKey root, const std::string& path, Protection protection);

    // Applies a parsed registry text file: creates keys, sets values, carries
    // out [-key] and "name"=- deletions. Protection marks are ignored.
    void Apply(const regtext::Document& doc);

    // Reads, parses and applies a registry text file from the host file
    // system. On a read or parse error nothing is applied and `error` says
    // "<file>: line N: <what>" (or "<file>: <what>").
    bool LoadFile(const std::string& hostPath, std::string* error);

    // The tree below `path` of `root` (all of the root when empty) as a
    // document: one kKey entry per key in enumeration order, each followed by
    // its values in order. A missing key gives an empty document.
    regtext::Document Export(HKey root, const std::string& path = "") const;

    // Writes the given roots (HKEY_CLASSES_ROOT is never written: it is part
    // of HKEY_LOCAL_MACHINE) to a host file. False with `error` on failure.
    bool SaveFile(const std::string& hostPath, regtext::Format format,
                  const std::vector<HKey>& roots, std::string* error) const;

    // How many handles are open (tests use it to find leaks).
    size_t OpenHandleCount() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm
