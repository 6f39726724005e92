// File/Path references (category 8): a walk over whole hives that looks at
// every text value that begins with a drive path and reports the value when
// every prefix of that path is missing.
#pragma once

#include <string>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "scan/checked_target.h"
#include "scan/scan_context.h"

namespace qm {

// Visits the key `subKeyPath` below `root` and everything below it, depth
// first: each key is reported as status by its display path (`displayPath`
// for the first key, then the parent's display path, a backslash and the
// name), its subkeys are walked in enumeration order, and then its text
// values are examined. An item's key path is the display path of the key
// holding the value. Stops entering keys and examining values once the stop
// flag is set.
void WalkFileReferences(ScanContext& ctx, HKey root, const std::string& subKeyPath,
                        const std::string& displayPath);

// Whether `text`, or a prefix of it that ends before a blank or at its end,
// names an existing file or folder, with or without ".exe" added; kExists
// also for any text with a wildcard. kMissing only when every one of those
// tests says missing (and for a text that holds no path at all). The text is
// cut at the first quote, comma or semicolon after its first character, and
// after a last folder named like a program or library ("...\app.exe\2" is
// tested as "...\app.exe"); prefixes that hold a character no file name
// holds are not tried. With `log`, each path tested is noted in it with its
// answer.
Existence CheckPathReference(const std::string& text, FileProbe& files, CheckLog* log = nullptr);

}  // namespace qm
