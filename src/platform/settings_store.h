// The program's persistent settings: named text values below
// HKEY_LOCAL_MACHINE\SOFTWARE\<application>, in the 32-bit view on 64-bit
// Windows (SOFTWARE\Wow6432Node\<application>, where the 32-bit installer
// writes too). Numbers are stored as decimal
// text. There is no cache and no open handle between calls: every call
// creates or opens the key, reads or writes one value and closes it again,
// so any thread may call at any time. Nothing is reported: a value that
// cannot be read reads as the empty text or 0, a write that fails does
// nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry_service.h"

namespace qm {

// The application name every caller passes.
inline constexpr const char* kProductName = "Quillmend";

// The value names the program uses, spelled exactly as stored.
namespace setting {
inline constexpr const char* kRepairAfterFind = "repairafterfind";
inline constexpr const char* kSplashScreen = "splashscreen";
inline constexpr const char* kShutdownAfterClean = "Shutdownafterclean";
inline constexpr const char* kLastFoundErrors = "lastfounderrors";
inline constexpr const char* kFirstTime = "FirstTime";
inline constexpr const char* kPdIsCleanShut = "pdiscleanshut";
inline constexpr const char* kVersion = "Version";
}  // namespace setting

class SettingsStore {
  public:
    // Read buffer sizes: a longer value reads as missing.
    static constexpr uint32_t kTextLimit = 1024;
    static constexpr uint32_t kNumberLimit = 200;

    explicit SettingsStore(RegistryService& registry) : registry_(registry) {}

    std::string ReadText(const std::string& appName, const std::string& valueName) const;
    void WriteText(const std::string& appName, const std::string& valueName,
                   const std::string& text) const;
    int32_t ReadNumber(const std::string& appName, const std::string& valueName) const;
    void WriteNumber(const std::string& appName, const std::string& valueName,
                     int32_t number) const;

    // A list of texts, kept as the text values "1", "2", ... of the subkey
    // `listName` of the program's key, in that order; any length of text.
    // Reads as empty when the subkey cannot be read.
    std::vector<std::string> ReadList(const std::string& appName,
                                      const std::string& listName) const;
    // Replaces the list: the values are written first, then the numbers
    // past its end removed.
    void WriteList(const std::string& appName, const std::string& listName,
                   const std::vector<std::string>& texts) const;

  private:
    std::string Read(const std::string& appName, const std::string& valueName,
                     uint32_t limit) const;

    RegistryService& registry_;
};

// Parses decimal text as the settings store reads numbers: leading white
// space, an optional sign, then digits up to the first non-digit; 0 when
// there are no digits. Values beyond the 32-bit range saturate.
int32_t ParseSettingNumber(const std::string& text);

}  // namespace qm
