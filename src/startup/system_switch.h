// The system's own startup switch of Windows 8 and later. The Task Manager
// switches a startup item off without moving it: its Run value or shortcut
// stays, and a binary value of the same name (the shortcut's file name for
// a Startup-folder item) below an ...\Explorer\StartupApproved key says
// whether Windows starts it. An odd first byte means off; the bytes 4 to 11
// hold when it was switched off. The startup manager lists such an item
// switched off, and switching it on clears that flag.
#pragma once

#include <string>

#include "platform/registry_service.h"

namespace qm {

// Whether the value `name` of the StartupApproved key `approvedKey` below
// `root` switches its item off.
bool HeldBySystem(RegistryService& registry, HKey root, const char* approvedKey,
                  const std::string& name);

// Clears the value's off flag and time; every other byte stays as it was.
// True when the item is no longer held off.
bool ReleaseFromSystem(RegistryService& registry, HKey root, const char* approvedKey,
                       const std::string& name);

}  // namespace qm
