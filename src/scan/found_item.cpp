#include "scan/found_item.h"

#include <initializer_list>
#include <string_view>
#include <utility>

namespace qm {

namespace {

struct CategoryTexts {
    const char* row;
    const char* status;
    const char* fixing;
    const char* header;
    const char* description;
};

// Indexed by category number; entry 0 stands for any unknown number.
constexpr CategoryTexts kTexts[kCategoryCount + 1] = {
    {"", "", "", "", ""},
    {"COM/ActiveX Entries", "Finding COM/ActiveX Entries...", "Fixing COM/ActiveX Entries...",
     "The COM/ActiveX Section of the Windows registry contains some invalid entries. This may "
     "cause some applications fail to run, system crash or document opening error.",
     "The COM/ActiveX Section of the Windows registry contains some invalid entries. This may "
     "cause some applications fail to run, system crash or document opening error."},
    {"Uninstall Entries", "Finding Uninstall Entries...", "Fixing uninstall Entries...",
     "The Uninstall section of Windows registry contains some invalid entries, or referrs to one "
     "or more missing files. this may due to an application was installed or ununstalled "
     "incorrectly.",
     "The Uninstall section of Windows registry contains some invalid entries, or referrs to one "
     "or more missing files. This may due to an application was installed or ununstalled "
     "incorrectly."},
    {"Font Entries", "Finding Font entries...", "Fixing Font Entries...",
     "The Fonts section of Windows registry refers to one or more missing font files. This may "
     "cause errors in application that uses fonts(like Word processing application)",
     "The Fonts section of Windows registry refers to one or more missing font files. This may "
     "cause errors in application that uses fonts (like Word processing application)"},
    {"Shared DLLs", "Finding SharedDlls...", "Fixing Shared dlls Entries...",
     "The SharedDLLs section of Windows registry contais some invalid entries. This may cause some "
     "application failure due to DLL conflict(DLL hell) problem.",
     "The Shared DLLs section of Windows registry contains some invalid entries. This may cause "
     "some application failure due to DLL conflict (DLL hell) problem."},
    {"Application Paths", "Finding AppPaths Entries...", "Fixing AppPath Entries...",
     "The Application Paths section of Windows registry refers to one or more invalid disk "
     "directories. This may cause the application fail to run.",
     "The Application Paths section of Windows registry refers to one or more invalid disk "
     "directories. This may cause the application fail to run."},
    {"Help Files Information", "Finding helpFileInfo...", "Fixing HelpFile Entries...",
     "The Help section of the Windows registry points to one or more invalid help file. This mat "
     "cause the help file of some applicaion to open correctly.",
     "The Help section of the Windows registry points to one or more invalid help file. This may "
     "cause the help file of some applicaion to open incorrectly."},
    {"Windows Startup Items", "Finding Windows Startup...", "Fixing WinStatrtup Entries...",
     "The Run section of the Windows registy refers to one or more missing programs. This may due "
     "to an application was installed or uninstalled incorrectly.",
     "The Run section of the Windows registy refers to one or more missing programs. This may due "
     "to an application was installed or uninstalled incorrectly."},
    {"File/Path Reference", "Finding Filepath Entries...", "Fixing Filepath Entries...",
     "Some registry items refer to some non-existing folders and files. Please not e that although "
     "some of these entries are invalid, it doesn't necessary mean all such registry entries are "
     "invalid even they refer to non-existing folders or files. Only remove such entries if u "
     "really know what you are doing.",
     "Some registry items refer to some non-existing folders and files. Please note that although "
     "some of these entries are invalid, it doesn't necessary mean all such registry entries are "
     "invalid, even they refer to non-existing folders or files. Only remove such entries if you "
     "really know what you are doing."},
};

const CategoryTexts& TextsOf(int32_t category) {
    if (category < 1 || category > kCategoryCount) return kTexts[0];
    return kTexts[category];
}

// Fills the '%s' placeholders of `pattern` in order; the texts are taken
// whole, so no field is ever cut or overruns anything.
std::string Format(const char* pattern, std::initializer_list<const std::string*> fields) {
    std::string text;
    auto next = fields.begin();
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's' && next != fields.end()) {
            text += **next++;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

}  // namespace

const char* const kInitialDescription =
    "COM/ActiveX Section of the Windows registry contains some invalid entries. This may cause "
    "some applications fail to run, system crash or document opening error.";

const char* CategoryRowText(int32_t category) {
    return TextsOf(category).row;
}
const char* CategoryStatusText(int32_t category) {
    return TextsOf(category).status;
}
const char* CategoryFixingText(int32_t category) {
    return TextsOf(category).fixing;
}
const char* CategoryDetailsHeader(int32_t category) {
    return TextsOf(category).header;
}
const char* CategoryDescription(int32_t category) {
    return TextsOf(category).description;
}

bool ItemIsKey(const FoundItem& item) {
    return ItemIsKey(item.category, item.keyPath);
}

bool ItemIsKey(int32_t category, const std::string& keyPath) {
    switch (static_cast<ScanCategory>(category)) {
        case ScanCategory::ComActiveX:
        case ScanCategory::Uninstall:
        case ScanCategory::AppPaths:
            return true;
        case ScanCategory::WindowsStartup:
            // Start Menu order entries are subkeys; Run entries are values.
            return keyPath.find("MenuOrder\\") != std::string::npos;
        default:
            return false;
    }
}

HKey ItemRoot(const FoundItem& item) {
    const std::string_view prefix = std::string_view(item.keyPath).substr(0, 4);
    if (prefix == "HKCR") return hkey::kClassesRoot;
    if (prefix == "HKCU") return hkey::kCurrentUser;
    if (prefix == "HKLM") return hkey::kLocalMachine;
    if (prefix == "HKUS") return hkey::kUsers;
    return hkey::kNull;
}

std::string ItemSubKey(const FoundItem& item) {
    return item.keyPath.size() > 5 ? item.keyPath.substr(5) : std::string();
}

std::string ItemKey(int32_t category, const std::string& keyPath, const std::string& valueName) {
    // A COM/ActiveX item is its key; its value name is only a label.
    if (category == static_cast<int32_t>(ScanCategory::ComActiveX) || !ItemIsKey(category, keyPath))
        return keyPath;
    return keyPath + "\\" + valueName;
}

std::string DetailText(const FoundItem& item) {
    const std::string& key = item.keyPath;
    const std::string& value = item.valueName;
    const std::string& data = item.data;
    switch (static_cast<ScanCategory>(item.category)) {
        case ScanCategory::Uninstall:
            return Format(
                "The uninstall key is invalid. The file referenced (%s) doesn't exist.\n"
                "Key: %s\nValue: %s\nData: %s",
                {&data, &key, &value, &data});
        case ScanCategory::SharedDlls:
            // The value name is the missing file itself; there is no data.
            return Format("The file (%s) doesn't exist.\nKey: %s\nValue: %s",
                          {&value, &key, &value});
        case ScanCategory::HelpFiles:
            // Folder and file are always joined by one backslash, even when
            // the folder already ends in one.
            return Format(
                "The help file referenced (%s\\%s) doesn't exist.\n"
                "Key: %s\nValue: %s\nData: %s",
                {&data, &value, &key, &value, &data});
        case ScanCategory::WindowsStartup:
            return Format("The program referenced doesn't exist.\nKey: %s\nValue: %s\nData: %s",
                          {&key, &value, &data});
        default:
            return Format("The file referenced (%s) doesn't exist.\nKey: %s\nValue: %s\nData: %s",
                          {&data, &key, &value, &data});
    }
}

const char* AnswerName(Existence answer) {
    switch (answer) {
        case Existence::kExists:
            return "exists";
        case Existence::kMissing:
            return "missing";
        case Existence::kCannotTell:
            break;
    }
    return "cannot tell";
}

std::string CheckedLine(const CheckedTarget& checked) {
    return checked.target + " (" + AnswerName(checked.answer) + ")";
}

void FoundItemList::Append(std::unique_ptr<FoundItem> item) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(item));
}

void FoundItemList::Clear() {
    std::vector<std::unique_ptr<FoundItem>> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone.swap(items_);
    }
    // The items are destroyed outside the lock.
}

std::vector<std::unique_ptr<FoundItem>> FoundItemList::Take(
    const std::function<bool(const FoundItem&)>& taken) {
    std::vector<std::unique_ptr<FoundItem>> out;
    std::lock_guard<std::mutex> lock(mutex_);
    auto kept = items_.begin();
    for (auto& item : items_) {
        if (taken(*item))
            out.push_back(std::move(item));
        else
            *kept++ = std::move(item);
    }
    items_.erase(kept, items_.end());
    return out;
}

size_t FoundItemList::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
}

void FoundItemList::ForEach(const std::function<void(FoundItem&)>& visit) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& item : items_) visit(*item);
}

void FoundItemList::ForEach(const std::function<void(const FoundItem&)>& visit) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& item : items_) visit(*item);
}

}  // namespace qm
