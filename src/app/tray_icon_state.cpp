#include "app/tray_icon_state.h"

namespace qm {

bool TrayIconState::Create(unsigned majorVersion, bool startHidden) {
    enabled_ = majorVersion >= 4;
    hidden_ = true;
    removed_ = true;
    pending_ = false;
    if (!enabled_) return false;
    if (startHidden) return true;
    hidden_ = false;
    AddAgain();
    return !removed_;
}

void TrayIconState::AddAgain() {
    if (!removed_) {
        shell_.DeleteIcon();
        removed_ = true;
    }
    if (shell_.AddIcon()) {
        removed_ = false;
        pending_ = false;
    } else {
        // Whether the icon is wanted stays as it was, so that the shell's
        // return brings back a wanted icon that could not be added.
        pending_ = true;
    }
}

void TrayIconState::Show() {
    if (!enabled_) return;
    const bool wasHidden = hidden_;
    hidden_ = false;
    if (removed_ || wasHidden) AddAgain();
}

void TrayIconState::Hide() {
    if (!enabled_) return;
    hidden_ = true;
    pending_ = false;
    if (removed_) return;
    if (shell_.DeleteIcon()) removed_ = true;
}

void TrayIconState::OnTaskbarCreated() {
    if (!enabled_ || hidden_) return;
    // The new taskbar holds no icons: the old one went with its shell.
    removed_ = true;
    AddAgain();
}

void TrayIconState::OnWorkAreaChanged() {
    if (!enabled_ || hidden_) return;
    AddAgain();
}

void TrayIconState::Remove() {
    if (!enabled_ || removed_) return;
    if (shell_.DeleteIcon()) removed_ = true;
}

}  // namespace qm
