// Placing top-level windows on the primary screen's work area.
#pragma once

#include <windows.h>

namespace qm {

// The work area (the screen less the taskbar).
RECT WorkArea();
// Moves a window, keeping its size, so that it is centred on the work area.
// The layout scaler changes a dialog's size after the system has centred it
// on its template's size, so the dialogs that should be centred call this
// after their layout.
void CentreOnWorkArea(HWND hwnd);

}  // namespace qm
