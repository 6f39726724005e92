#include "platform/settings_store.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "platform/c_text.h"
#include "platform/value_text.h"

namespace qm {

namespace {

std::string KeyPath(const std::string& appName) {
    return "SOFTWARE\\" + appName;
}

// The program's own key is where a 32-bit program keeps it, in the 32-bit
// view on 64-bit Windows (below Wow6432Node), where the installer writes
// the version and earlier versions kept the settings.
constexpr uint32_t kOwnView = access::kWow64_32Key;

}  // namespace

std::string SettingsStore::Read(const std::string& appName, const std::string& valueName,
                                uint32_t limit) const {
    RegKey key(registry_);
    if (key.Create(hkey::kLocalMachine, KeyPath(appName).c_str(), access::kRead | kOwnView) !=
        status::kSuccess)
        return {};
    // The stored text may or may not carry a terminating zero; it ends at
    // whichever comes first.
    std::vector<uint8_t> buffer(limit, 0);
    std::string text;
    if (QueryValueText(registry_, key.get(), valueName.c_str(), buffer.data(), limit, text) !=
        status::kSuccess)
        return {};
    return text;
}

std::string SettingsStore::ReadText(const std::string& appName,
                                    const std::string& valueName) const {
    return Read(appName, valueName, kTextLimit);
}

void SettingsStore::WriteText(const std::string& appName, const std::string& valueName,
                              const std::string& text) const {
    RegKey key(registry_);
    if (key.Create(hkey::kLocalMachine, KeyPath(appName).c_str(), access::kWrite | kOwnView) !=
        status::kSuccess)
        return;
    // Stored without a terminating zero.
    registry_.SetValue(key.get(), valueName.c_str(), regtype::kSz,
                       reinterpret_cast<const uint8_t*>(text.data()),
                       static_cast<uint32_t>(text.size()));
}

int32_t SettingsStore::ReadNumber(const std::string& appName, const std::string& valueName) const {
    return ParseSettingNumber(Read(appName, valueName, kNumberLimit));
}

void SettingsStore::WriteNumber(const std::string& appName, const std::string& valueName,
                                int32_t number) const {
    WriteText(appName, valueName, std::to_string(number));
}

std::vector<std::string> SettingsStore::ReadList(const std::string& appName,
                                                 const std::string& listName) const {
    RegKey key(registry_);
    if (key.Open(hkey::kLocalMachine, (KeyPath(appName) + "\\" + listName).c_str(),
                 access::kRead | kOwnView) != status::kSuccess)
        return {};
    KeyListing listing;
    registry_.ListKey(key.get(), listing::kValues, listing);
    // By number; a name that is no number is not the list's.
    std::vector<std::pair<int32_t, std::string>> numbered;
    for (const KeyListing::Value& value : listing.values) {
        if (!value.usable || value.type != regtype::kSz || value.name.empty() ||
            value.name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        numbered.emplace_back(ParseSettingNumber(value.name), std::string(CText(value.data)));
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> texts;
    for (auto& [number, text] : numbered) texts.push_back(std::move(text));
    return texts;
}

void SettingsStore::WriteList(const std::string& appName, const std::string& listName,
                              const std::vector<std::string>& texts) const {
    RegKey key(registry_);
    if (key.Create(hkey::kLocalMachine, (KeyPath(appName) + "\\" + listName).c_str(),
                   access::kReadWrite | kOwnView) != status::kSuccess)
        return;
    for (size_t i = 0; i < texts.size(); ++i) {
        registry_.SetValue(key.get(), std::to_string(i + 1).c_str(), regtype::kSz,
                           reinterpret_cast<const uint8_t*>(texts[i].data()),
                           static_cast<uint32_t>(texts[i].size()));
    }
    KeyListing listing;
    registry_.ListKey(key.get(), listing::kValues, listing);
    for (const KeyListing::Value& value : listing.values) {
        if (!value.usable || value.name.empty() ||
            value.name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int32_t number = ParseSettingNumber(value.name);
        if (number < 1 || static_cast<size_t>(number) > texts.size() ||
            value.name != std::to_string(number))
            registry_.DeleteValue(key.get(), value.name.c_str());
    }
}

int32_t ParseSettingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace qm
