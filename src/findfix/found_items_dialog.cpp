#include "findfix/found_items_dialog.h"

#include "resource.h"
#include "ui/anchor_math.h"

namespace qm {
namespace {

constexpr COLORREF kHeaderBackground = RGB(255, 206, 91);

}  // namespace

FoundItemsDialog::FoundItemsDialog(HINSTANCE instance, DetailsSelection& selection)
    : Dialog(instance, IDD_FOUND_ITEMS), selection_(selection) {
    BindMessage(WM_MEASUREITEM, [this](WPARAM, LPARAM l) {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
        if (measure->CtlType != ODT_LISTBOX || measure->CtlID != IDC_DETAILS_LIST)
            return LRESULT{0};
        list_.Measure(measure);
        return LRESULT{TRUE};
    });
    BindMessage(WM_SIZE, [this](WPARAM, LPARAM) {
        anchors_.Resize();
        return LRESULT{0};
    });
    BindCommand(
        IDC_DETAILS_SELECT_ALL, [this](int) { SelectAll(); }, BN_CLICKED);
    BindCommand(
        IDC_DETAILS_UNSELECT_ALL, [this](int) { UnselectAll(); }, BN_CLICKED);
    // OK and Cancel both just close: the ticks stay as the user left them.
}

bool FoundItemsDialog::OnInit() {
    scaler_.Apply(Instance(), hwnd_, IDD_FOUND_ITEMS, 96.0);
    list_.Bind(hwnd_, IDC_DETAILS_LIST);
    selection_.Open();
    FillList();

    anchors_.SetUp(hwnd_);
    anchors_.AddControl(IDC_DETAILS_LIST, ui::kStretchWidth | ui::kStretchHeight);
    anchors_.AddControl(IDC_DETAILS_HEADER, ui::kStretchWidth);
    for (int id : {IDC_DETAILS_SELECT_ALL, IDC_DETAILS_UNSELECT_ALL, IDOK, IDCANCEL})
        anchors_.AddControl(id, ui::kMoveRight | ui::kMoveDown);

    header_.Bind(hwnd_, IDC_DETAILS_HEADER);
    header_.ApplyStyle(false, "arial", 10, RGB(0, 0, 0), kHeaderBackground);
    header_.SetLabelText(selection_.header());
    list_.Select(0);
    return true;
}

void FoundItemsDialog::FillList() {
    for (FoundItem* item : selection_.items()) list_.AddItem(item);
}

void FoundItemsDialog::SelectAll() {
    list_.RemoveAll();
    selection_.SelectAll();
    FillList();
    list_.Invalidate(true);
}

void FoundItemsDialog::UnselectAll() {
    selection_.UnselectAll();
    list_.Invalidate(true);
}

void FoundItemsDialog::Abandon() {
    selection_.Abandon();
    list_.RemoveAll();
    if (hwnd_) End(IDCANCEL);
}

}  // namespace qm
