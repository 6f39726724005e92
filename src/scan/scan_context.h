// What every category scanner works with: the two platform services, the
// list it appends to with its counters, the stop flag it polls, and where
// it reports the key or path it is looking at.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "scan/checked_target.h"
#include "scan/found_entries.h"
#include "scan/found_item.h"

namespace qm {

class IgnoreList;

// Receives "what is being examined" texts from a scanner. The scan worker
// throttles them before they reach a window.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void Progress(const std::string& text) = 0;
};

struct ScanContext {
    RegistryService& registry;
    FileProbe& files;
    FoundItemList& items;
    ScanCounters& counters;
    const std::atomic<int>& stopRequested;
    ProgressSink* progress = nullptr;
    // The entries found so far, when a second item for one of them under
    // another path of its key is to be left out (the scan driver's scan).
    FoundEntries* entries = nullptr;
    // The entries the user keeps; none when null.
    const IgnoreList* ignore = nullptr;

    // Tests the entry again, noting every target tested with its answer
    // in the log it is given, and returns the answer.
    using Recheck = std::function<Existence(CheckLog&)>;

    // Appends one item of `category` and counts it, as one step, with what
    // `recheck` noted as the targets checked. Scanners test without noting
    // anything, and only an entry found missing is tested again this way:
    // it becomes an item only when that test says missing again. An entry
    // whose key path or name holds a zero byte is left out, and so is one
    // that `entries` already holds; one that the ignore list hides is
    // counted as ignored instead.
    void Add(std::string keyPath, std::string valueName, std::string data, ScanCategory category,
             const Recheck& recheck);
    bool Stopped() const { return stopRequested.load(std::memory_order_relaxed) != 0; }
    void Report(const std::string& text) const {
        if (progress != nullptr) progress->Progress(text);
    }
};

}  // namespace qm
