#include "startup/startup_page.h"

#include "resource.h"

namespace qm {

namespace {

constexpr const char* kDescription =
    "This list displays all Applications run on Windows startup. Just Click on the those items "
    "you don't want to run automatically on Windows startup.";
// Gridlines, check boxes and full-row selection.
constexpr DWORD kListStyles = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
static_assert(kListStyles == 0x25);

}  // namespace

CRegstartup::CRegstartup(HINSTANCE instance, const StartupServices& services)
    : Page(instance, IDD_STARTUP),
      remover_(services.registry, services.files),
      presenter_(services, remover_, *this) {
    BindNotify(IDC_STARTUP_LIST, LVN_ITEMCHANGED,
               [this](NMHDR* header) { return OnItemChanged(header); });
}

bool CRegstartup::OnInit() {
    ApplyLayout();
    list_.Attach(Item(IDC_STARTUP_LIST));
    list_.InsertColumn(0, "Program", 120);
    list_.InsertColumn(1, "File Name", 250);
    list_.InsertColumn(2, "Location", 110);
    const COLORREF page = Background();
    title_.Bind(hwnd_, IDC_STARTUP_TITLE);
    title_.ApplyStyle(false, "Arial", 15, ui::kTitleColour, page);
    title_.SetLabelText("Startup Manager");
    description_.Bind(hwnd_, IDC_STARTUP_DESCRIPTION);
    description_.ApplyStyle(false, "Arial", 10, RGB(0, 0, 0), page);
    description_.SetLabelText(kDescription);
    list_.AddExtendedStyle(kListStyles);
    // The rows arrive ticked while the list fills; the presenter switches
    // nothing until it has filled the list.
    presenter_.Initialise();
    return true;
}

void CRegstartup::AddRow(const StartupItem& item) {
    const int row = list_.InsertItem(list_.ItemCount(), item.name.c_str());
    if (row < 0) return;
    list_.SetItemText(row, 1, item.command.c_str());
    list_.SetItemText(row, 2, item.location.c_str());
    list_.SetChecked(row, item.switchedOn);
}

void CRegstartup::UpdateRow(int row, const StartupItem& item) {
    list_.SetItemText(row, 0, item.name.c_str());
    list_.SetItemText(row, 2, item.location.c_str());
    // Changing the box notifies the page again; the presenter then finds
    // the row already in that state and leaves it.
    if (list_.IsChecked(row) != item.switchedOn) list_.SetChecked(row, item.switchedOn);
}

LRESULT CRegstartup::OnItemChanged(NMHDR* header) {
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if (change->iItem >= 0)
        presenter_.OnItemChanged(change->iItem, change->uOldState, change->uNewState);
    return 0;
}

}  // namespace qm
