// A Windows installation seen from another system: the folder that is the
// root of its partition, its hive files found and mounted where Windows
// mounts them, and a file probe that sees that folder as drive C: with the
// installation's own environment.
//
//  - HKLM\SOFTWARE and HKLM\SYSTEM from Windows\System32\config, with
//    HKLM\SYSTEM\CurrentControlSet the control set that Select\Current names;
//  - HKEY_USERS: .DEFAULT from config\DEFAULT, and each profile's NTUSER.DAT
//    and UsrClass.dat as <sid> and <sid>_Classes (profiles under Users\ from
//    Vista on, Documents and Settings\ before);
//  - HKEY_CURRENT_USER: the chosen profile, with its UsrClass.dat at
//    HKCU\Software\Classes; HKEY_CLASSES_ROOT: the machine's classes
//    (HKLM\SOFTWARE\Classes);
//  - the environment (SystemRoot, windir, ProgramFiles, the search path and
//    the rest of the system environment) and the special folders from the
//    hives; drive C: is the folder, other drives are unmapped, and paths on
//    them are taken to exist, so they are never reported.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/hive/hive_registry.h"
#include "platform/memory/mapped_file_probe.h"

namespace qm::hive {

struct Profile {
    std::string
        name;         // the profile folder's name (UTF-8, as the host names it), which --user takes
    std::string key;  // its key below HKEY_USERS (the account's SID)
    std::string ntUser;    // host path of NTUSER.DAT
    std::string usrClass;  // host path of UsrClass.dat, empty when it has none
};

struct Installation {
    std::unique_ptr<HiveRegistry> registry;
    MappedFilesConfig files;
    std::vector<Profile> profiles;
    std::string user;  // the profile that is HKEY_CURRENT_USER
    // Windows XP or older (NT 5.x): backups are written as REGEDIT4 files,
    // which its registry editor imports.
    bool xpEra = false;
    // Hives that are only read, and why (see HiveFile).
    std::vector<std::string> warnings;
    // Hives read as recovered from their logs, and how far (see HiveFile).
    std::vector<std::string> notices;
    // Why nothing may be written while the partition is so, when it is:
    // its Windows is hibernated (see Hibernated). Reading is not affected.
    std::string hibernated;
};

// Whether the partition whose root is `root` holds a hibernated Windows
// (hibernation or Fast Startup): its hiberfil.sys begins with the signature
// of a saved memory image ("hibr", or "rstr" while one is being restored,
// in either case). A Windows that resumes writes its memory image back over
// whatever was changed meanwhile. An absent, empty or zeroed file, or one
// marked as resumed ("wake"), holds no such image. The message when it does.
std::string Hibernated(const std::string& root);

// The entry `name` (a Windows name, in the code page) in the host folder
// `folder`, found as NTFS finds it: by its characters, without regard to
// case. Empty when there is none, or when `name` is no single name (empty,
// "." or "..", or holding a slash).
std::string FindEntry(const std::string& folder, const std::string& name);

// Opens the installation whose partition root is `root`. `user` picks the
// profile for HKEY_CURRENT_USER by folder name (compared as NTFS compares
// names); empty takes the only one. Every hive opened lies inside `root`
// once links are followed (a profile whose folder or hive does not is left
// out), and each file is opened once. On failure returns false with `error`
// (a damaged or missing hive named with its path, or the profiles to choose
// from).
bool OpenInstallation(const std::string& root, const std::string& user, bool writable,
                      Installation* out, std::string* error);

// The keys Windows derives from SOFTWARE and SYSTEM (either may be null):
// HKEY_CLASSES_ROOT as SOFTWARE's Classes, HKLM\SYSTEM\CurrentControlSet as
// the control set Select\Current names. The hives must be mounted at
// HKLM\SOFTWARE and HKLM\SYSTEM already. False when Select\Current names a
// control set the hive lacks.
bool MountDerivedKeys(HiveRegistry& registry, const std::shared_ptr<HiveFile>& software,
                      const std::shared_ptr<HiveFile>& system, std::string* error);

// The environment, special folders and Windows folders that the mounted
// hives give, over MappedFilesConfig::Defaults() with drive C: at `root`;
// the profile variables from `user` when given.
MappedFilesConfig InstallationFiles(RegistryService& registry, const std::string& root,
                                    const Profile* user);

}  // namespace qm::hive
