#include "startup/run_places.h"

#include "platform/registry_names.h"
#include "startup/startup_item.h"

namespace qm {

namespace {

constexpr uint32_t kReadSetCreate = access::kRead | access::kSetValue | access::kCreateSubKey;

constexpr const char* kApprovedRun =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
constexpr const char* kApprovedRun32 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";

}  // namespace

const std::vector<RunPlace>& AllRunPlaces() {
    static const std::vector<RunPlace> places{
        {hkey::kCurrentUser, startupkey::kRun, location::kUserRun, "HKCU", "Run", kReadSetCreate,
         kApprovedRun, false},
        {hkey::kLocalMachine, startupkey::kRun, location::kMachineRun, "HKLM", "Run",
         access::kAllAccess, kApprovedRun, false},
        {hkey::kLocalMachine, startupkey::kRun32, location::kMachineRun32, "HKLM",
         startupkey::kRun32, access::kAllAccess, kApprovedRun32, true},
        {hkey::kCurrentUser, startupkey::kRunOnce, location::kUserRunOnce, "HKCU", "RunOnce",
         kReadSetCreate, nullptr, false},
        {hkey::kLocalMachine, startupkey::kRunOnce, location::kMachineRunOnce, "HKLM", "RunOnce",
         kReadSetCreate, nullptr, false},
        {hkey::kLocalMachine, startupkey::kRunOnce32, location::kMachineRunOnce32, "HKLM",
         startupkey::kRunOnce32, kReadSetCreate, nullptr, true},
    };
    return places;
}

std::vector<const RunPlace*> RunPlaces(RegistryService& registry) {
    const bool twoViews = HasTwoViews(registry);
    std::vector<const RunPlace*> places;
    for (const RunPlace& place : AllRunPlaces())
        if (!place.thirtyTwoBit || twoViews) places.push_back(&place);
    return places;
}

const RunPlace* RunPlaceOfLocation(const std::string& where) {
    for (const RunPlace& place : AllRunPlaces())
        if (where == place.location) return &place;
    return nullptr;
}

const RunPlace* RunPlaceOfRecord(const std::string& hkeyText, const std::string& keyText) {
    for (const RunPlace& place : AllRunPlaces()) {
        if (hkeyText != place.recordHkey) continue;
        if (keyText == place.recordKey || NamesEqual(keyText, place.path)) return &place;
    }
    return nullptr;
}

bool HasTwoViews(RegistryService& registry) {
    std::string path;
    return registry.Wow64Path(hkey::kLocalMachine, "SOFTWARE", &path) == status::kSuccess;
}

}  // namespace qm
