// Turning a registry entry's command line or path into the one path that is
// tested for existence, and the existence test itself.
#pragma once

#include <string>

#include "platform/code_page.h"
#include "platform/file_probe.h"
#include "scan/checked_target.h"

namespace qm {

// Shortens `source` in place (leading quotes kept, cut at a closing quote
// and after the first ".EXE", ".DLL" or ".OCX", whichever ends first) and
// puts the expanded path to test into `path`. Returns false when the path
// could not be expanded within kMaxExpandedPath bytes: such an entry could
// not be tested and must not be reported as missing. `other`, when given,
// receives the expansion of OtherViewText (empty when there is none or it
// does not fit).
bool ExtractPath(std::string& source, std::string& path, FileProbe& files,
                 std::string* other = nullptr);

// The text as a 64-bit program on 64-bit Windows reads it, where that
// differs from how this 32-bit program reads it: %ProgramFiles% and
// %CommonProgramFiles% name the 32-bit programs' folders here, and the
// system's own folders (%ProgramW6432%, %CommonProgramW6432%) there. Empty
// when the text names neither or the system has no such folders.
std::string OtherViewText(const std::string& text, FileProbe& files);

// Whether the path an entry names exists, in the three answers of
// FileProbe::CheckPath, except that a bare file name (no drive or folder) is
// looked for on the search path instead of in the current folder, so that a
// program that lives in the system folder is found and the answer never
// depends on the current folder. The empty path names nothing: kMissing.
// With `other` (the other reading of the same entry) the target exists
// when either path does, and is missing only when both are. The paths are
// text in `codePage`.
//
// With `log`, every target tested is appended to it with its answer: the
// path, each candidate of the search for a bare name, and the other
// reading. The answer is the same as without.
Existence CheckTarget(const std::string& path, FileProbe& files, const CodePage& codePage,
                      const std::string& other = {}, CheckLog* log = nullptr);

}  // namespace qm
