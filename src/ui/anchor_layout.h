// CAnchorLayout: keeps controls of a resizable dialog attached to its right
// and bottom edges. The owner calls Resize on every WM_SIZE; the controls
// follow the change of the client size, but never below the size the
// dialog had when the layout was set up.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/anchor_math.h"

namespace qm::ui {

class CAnchorLayout {
  public:
    CAnchorLayout() = default;
    virtual ~CAnchorLayout() = default;
    CAnchorLayout(const CAnchorLayout&) = delete;
    CAnchorLayout& operator=(const CAnchorLayout&) = delete;

    // Resizes the registered controls for the owner's current client size.
    virtual void Resize();
    // Takes the owner's current client size as the size of the last resize.
    virtual void RecordSize();

    // Remembers the owner; its present client size becomes the minimum.
    void SetUp(HWND owner);
    // Registers a control with its AnchorFlags. 0 when there is no such
    // control or no owner, 1 otherwise.
    int AddControl(HWND control, unsigned flags);
    int AddControl(int id, unsigned flags);
    void Clear() { entries_.clear(); }

    void SetFollowWithoutMinimum(bool on) { followWithoutMinimum_ = on; }

  private:
    struct Entry {
        HWND control;
        unsigned flags;
    };

    HWND owner_ = nullptr;
    AnchorSizes sizes_{0, 0, 0, 0};
    bool followWithoutMinimum_ = false;
    std::vector<Entry> entries_;
};

}  // namespace qm::ui
