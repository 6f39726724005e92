#include "platform/memory/mapped_file_probe.h"

namespace qm {

MappedFilesConfig MappedFilesConfig::Defaults() {
    MappedFilesConfig config;
    const std::string windows = config.windowsFolder;
    const std::string system = config.systemFolder;
    const std::string profiles = "C:\\Documents and Settings";
    const std::string user = profiles + "\\User";
    const std::string allUsers = profiles + "\\All Users";
    const std::string programFiles = "C:\\Program Files";
    config.environment = {
        {"ALLUSERSPROFILE", allUsers},
        {"APPDATA", user + "\\Application Data"},
        {"CommonProgramFiles", programFiles + "\\Common Files"},
        {"ComSpec", system + "\\cmd.exe"},
        {"HOMEDRIVE", "C:"},
        {"HOMEPATH", "\\Documents and Settings\\User"},
        {"OS", "Windows_NT"},
        {"Path", system + ";" + windows + ";" + system + "\\Wbem"},
        {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH"},
        {"ProgramFiles", programFiles},
        {"SystemDrive", "C:"},
        {"SystemRoot", windows},
        {"TEMP", user + "\\Local Settings\\Temp"},
        {"TMP", user + "\\Local Settings\\Temp"},
        {"USERNAME", "User"},
        {"USERPROFILE", user},
        {"windir", windows},
    };
    config.specialFolders = {
        {csidl::kPrograms, user + "\\Start Menu\\Programs"},
        {csidl::kStartup, user + "\\Start Menu\\Programs\\Startup"},
        {csidl::kFonts, windows + "\\Fonts"},
        {csidl::kCommonPrograms, allUsers + "\\Start Menu\\Programs"},
        {csidl::kCommonStartup, allUsers + "\\Start Menu\\Programs\\Startup"},
        {csidl::kAppData, user + "\\Application Data"},
        {csidl::kWindows, windows},
        {csidl::kSystem, system},
        {csidl::kProgramFiles, programFiles},
    };
    return config;
}

}  // namespace qm
