// What a start of the program decides from its command line and settings:
// whether it starts silently, and the name that makes it a single instance.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The only command-line option: start hidden with the notification-area
// icon and the alert popups.
inline constexpr std::string_view kSilentOption = "-s";

// The text after the program name of a whole command line (as the system
// gives it): a name in double quotes ends at its closing quote, any other
// at the first blank or tab; blanks and tabs after the name are skipped.
std::string_view CommandLineTail(std::string_view commandLine);

// True when the two characters "-s" stand anywhere in `tail`, also inside a
// longer word ("-silent"). Case matters: "-S" and "/s" are not the option.
bool IsSilentStart(std::string_view tail);

// "Quillmend", a space and the stored version text; the name of the
// single-instance mutex and the main window's caption, so that a second
// start finds the running window by it.
std::string InstanceName(std::string_view version);

}  // namespace qm
