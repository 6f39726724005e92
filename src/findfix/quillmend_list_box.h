// CQuillmendListBox: the details dialog's list of found items. Owner-drawn
// with variable heights: each entry shows a tick box and the item's key,
// data and value name; a click inside the tick box flips the item's
// selected flag. The entries' data are pointers to the FoundItems, which
// the list never owns.
#pragma once

#include <windows.h>

#include "scan/found_item.h"
#include "ui/control.h"
#include "ui/gdi_object.h"

namespace qm {

class CQuillmendListBox : public ui::Control {
  public:
    // Appends an entry for `item` (its text is the item's detail text);
    // returns its index or -1.
    int AddItem(FoundItem* item);
    FoundItem* ItemAt(int index) const;
    int Count() const;
    void RemoveAll();
    void Select(int index);
    // The selected entry's index, or -1.
    int Selected() const;

    // The parent's WM_MEASUREITEM for this list.
    void Measure(MEASUREITEMSTRUCT* measure);
    bool OnReflected(UINT message, WPARAM w, LPARAM l, LRESULT* result) override;

  protected:
    void OnBound() override;
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override;

  private:
    void Draw(const DRAWITEMSTRUCT& draw);
    void OnButtonDown(POINT point);

    ui::Font entryFont_;
    // The item being added while the list measures it.
    FoundItem* adding_ = nullptr;
};

}  // namespace qm
