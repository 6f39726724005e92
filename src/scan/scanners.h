// The eight category scanners. Each reads its part of the registry through
// the context's RegistryService, tests what the entries point at through its
// FileProbe, and appends one counted FoundItem per invalid entry. Each polls
// the stop flag right after every entry its enumeration loops fetch and then
// leaves the loop; a stopped scanner still makes its preparatory reads, so
// it ends after at most one more fetch per remaining loop.
#pragma once

#include "scan/scan_context.h"

namespace qm {

void ScanComActiveX(ScanContext& ctx);      // category 1
void ScanUninstall(ScanContext& ctx);       // category 2
void ScanFonts(ScanContext& ctx);           // category 3
void ScanSharedDlls(ScanContext& ctx);      // category 4
void ScanAppPaths(ScanContext& ctx);        // category 5
void ScanHelpFiles(ScanContext& ctx);       // category 6
void ScanWindowsStartup(ScanContext& ctx);  // category 7
void ScanFilePaths(ScanContext& ctx);       // category 8

}  // namespace qm
