#include "ui/anchor_layout.h"

namespace qm::ui {

void CAnchorLayout::SetUp(HWND owner) {
    owner_ = owner;
    RECT client{};
    GetClientRect(owner, &client);
    sizes_.minWidth = client.right - client.left;
    sizes_.minHeight = client.bottom - client.top;
    RecordSize();
}

void CAnchorLayout::RecordSize() {
    if (!owner_) return;
    RECT client{};
    GetClientRect(owner_, &client);
    sizes_.width = client.right - client.left;
    sizes_.height = client.bottom - client.top;
}

int CAnchorLayout::AddControl(HWND control, unsigned flags) {
    if (!owner_ || !control || !IsWindow(control)) return 0;
    entries_.push_back({control, flags});
    return 1;
}

int CAnchorLayout::AddControl(int id, unsigned flags) {
    if (!owner_) return 0;
    return AddControl(GetDlgItem(owner_, id), flags);
}

void CAnchorLayout::Resize() {
    if (!owner_) return;
    RECT client{};
    GetClientRect(owner_, &client);
    const AnchorDelta delta = ComputeAnchorDelta(sizes_, client.right - client.left,
                                                 client.bottom - client.top, followWithoutMinimum_);
    for (const Entry& e : entries_) {
        RECT r{};
        GetWindowRect(e.control, &r);
        const AnchorRect moved = ApplyAnchor({r.left, r.top, r.right, r.bottom}, e.flags, delta);
        RECT placed{moved.left, moved.top, moved.right, moved.bottom};
        MapWindowPoints(HWND_DESKTOP, owner_, reinterpret_cast<POINT*>(&placed), 2);
        MoveWindow(e.control, placed.left, placed.top, placed.right - placed.left,
                   placed.bottom - placed.top, TRUE);
    }
    RecordSize();
}

}  // namespace qm::ui
