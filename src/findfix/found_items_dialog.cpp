#include "findfix/found_items_dialog.h"

#include <string>
#include <utility>

#include "resource.h"
#include "ui/anchor_math.h"

namespace qm {
namespace {

constexpr COLORREF kHeaderBackground = RGB(255, 206, 91);

}  // namespace

FoundItemsDialog::FoundItemsDialog(HINSTANCE instance, DetailsSelection& selection,
                                   IgnoreHandler ignore)
    : Dialog(instance, IDD_FOUND_ITEMS), selection_(selection), ignore_(std::move(ignore)) {
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
    BindCommand(
        IDC_DETAILS_LIST, [this](int) { ShowChecked(); }, LBN_SELCHANGE);
    BindCommand(
        IDC_DETAILS_IGNORE, [this](int) { IgnoreSelected(false); }, BN_CLICKED);
    BindCommand(
        IDC_DETAILS_IGNORE_KEY, [this](int) { IgnoreSelected(true); }, BN_CLICKED);
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
    anchors_.AddControl(IDC_DETAILS_CHECKED_LABEL, ui::kMoveDown);
    anchors_.AddControl(IDC_DETAILS_CHECKED, ui::kStretchWidth | ui::kMoveDown);
    for (int id : {IDC_DETAILS_SELECT_ALL, IDC_DETAILS_UNSELECT_ALL, IDOK, IDCANCEL,
                   IDC_DETAILS_IGNORE, IDC_DETAILS_IGNORE_KEY})
        anchors_.AddControl(id, ui::kMoveRight | ui::kMoveDown);

    header_.Bind(hwnd_, IDC_DETAILS_HEADER);
    header_.ApplyStyle(false, "arial", 10, RGB(0, 0, 0), kHeaderBackground);
    header_.SetLabelText(selection_.header());
    EnableWindow(GetDlgItem(hwnd_, IDC_DETAILS_IGNORE), ignore_ ? TRUE : FALSE);
    EnableWindow(GetDlgItem(hwnd_, IDC_DETAILS_IGNORE_KEY), ignore_ ? TRUE : FALSE);
    list_.Select(0);
    ShowChecked();
    return true;
}

void FoundItemsDialog::ShowChecked() {
    const FoundItem* item = list_.ItemAt(list_.Selected());
    const std::string text = item != nullptr ? CheckedPanelText(*item) : std::string();
    SetDlgItemTextA(hwnd_, IDC_DETAILS_CHECKED, text.c_str());
}

void FoundItemsDialog::IgnoreSelected(bool wholeKey) {
    const int index = list_.Selected();
    const FoundItem* item = list_.ItemAt(index);
    if (!ignore_ || item == nullptr) return;
    const IgnoreEntry entry = wholeKey ? KeyEntry(*item) : ItemEntry(*item);
    // Let go of the items first: the handler takes them out of the scan's
    // list, which frees them.
    selection_.Forget(IgnoreList({entry}));
    list_.RemoveAll();
    ignore_(entry);
    FillList();
    const int count = list_.Count();
    list_.Select(index < count ? index : count - 1);
    ShowChecked();
    list_.Invalidate(true);
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
