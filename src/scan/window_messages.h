// The private window messages between the workers and the windows. Each is
// sent synchronously (SendMessage), so a worker waits until the window has
// handled it. None takes parameters except the progress text's.
#pragma once

namespace qm {

// Repair engine -> main window: a repair has finished (also after an
// automatic repair at the end of a scan).
inline constexpr unsigned kRepairFinishedMessage = 1580;  // 0x62C
// Scan worker -> main window: the scan result is on screen; repaint.
inline constexpr unsigned kScanFinishedMessage = 1581;  // 0x62D
// Scanner -> Find & Fix page: the key or path being examined.
inline constexpr unsigned kScanProgressMessage = 1582;  // 0x62E

// The notification-area icon's callback message (WM_APP + 10).
inline constexpr unsigned kTrayCallbackMessage = 0x800A;

// The main window's side buttons, which a running scan disables.
inline constexpr int kSideButtonIds[] = {1099, 1001, 1002, 1020, 1005};

}  // namespace qm
