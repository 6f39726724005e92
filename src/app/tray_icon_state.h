// The notification-area icon's bookkeeping, free of the window system: what
// the program wants (shown or hidden) and what the shell has (the icon added
// or not, an add to retry). The shell calls themselves are injected, so the
// rules can be driven by a stand-in that fails on demand.
#pragma once

namespace qm {

// Adding and deleting the one icon in the shell's notification area.
class TrayShell {
  public:
    virtual ~TrayShell() = default;
    // Adds the icon with its message, icon and tip; false when the shell
    // refused (no notification area yet, or the shell is busy).
    virtual bool AddIcon() = 0;
    virtual bool DeleteIcon() = 0;
};

class TrayIconState {
  public:
    explicit TrayIconState(TrayShell& shell) : shell_(shell) {}

    // Notification-area icons need Windows 95 or later (major version 4).
    // A hidden start adds nothing; a visible one adds the icon and returns
    // whether that worked (a failure leaves an add pending). False as well
    // when the system is too old.
    bool Create(unsigned majorVersion, bool startHidden);

    // Wants the icon shown and adds it if the shell does not have it. A
    // failed add stays pending and is retried when the shell comes back.
    void Show();
    // Wants the icon hidden and deletes it from the shell.
    void Hide();

    // The shell's taskbar was made anew (it had gone, or it has just
    // started): a wanted icon is added again.
    void OnTaskbarCreated();
    // The work area changed; the shell may have dropped the icon.
    void OnWorkAreaChanged();

    // Removes the icon from the shell if it is there (at the end).
    void Remove();

    bool Enabled() const { return enabled_; }
    bool Hidden() const { return hidden_; }
    bool Removed() const { return removed_; }
    bool Pending() const { return pending_; }

  private:
    // Deletes an icon the shell may still hold, then adds it.
    void AddAgain();

    TrayShell& shell_;
    bool enabled_ = false;
    bool hidden_ = true;
    bool removed_ = true;
    bool pending_ = false;
};

}  // namespace qm
