#include "app/options_page.h"

#include <algorithm>
#include <string>
#include <vector>

#include "resource.h"
#include "ui/device_context.h"
#include "ui/list_box.h"

namespace qm {

COptionsPage::COptionsPage(HINSTANCE instance, RegistryService& registry)
    : ui::Page(instance, IDD_OPTIONS), settings_(registry), presenter_(*this, settings_) {
    // Check box 1017 stores its setting at once; 1087 and 1016 only toggle.
    BindCommand(
        IDC_OPTIONS_REPAIR_AFTER_FIND,
        [this](int) { presenter_.OnCheckBoxClicked(Option::kRepairAfterFind); }, BN_CLICKED);
    BindCommand(
        IDC_OPTIONS_APPLY, [this](int) { presenter_.Apply(); }, BN_CLICKED);
    BindCommand(
        IDC_OPTIONS_IGNORED_REMOVE, [this](int) { RemoveIgnored(); }, BN_CLICKED);
    // The details dialog adds to the list while the page exists.
    BindMessage(WM_SHOWWINDOW, [this](WPARAM shown, LPARAM) {
        if (shown) ShowIgnored();
        return LRESULT{0};
    });

    // A click on a label toggles the box on its row. A quick second click
    // arrives as a double click and toggles again, as it does on the box.
    const struct {
        int label;
        Option option;
    } rows[] = {
        {IDC_OPTIONS_SHUTDOWN_LABEL, Option::kShutdownAfterClean},
        {IDC_OPTIONS_REPAIR_LABEL, Option::kRepairAfterFind},
        {IDC_OPTIONS_SPLASH_LABEL, Option::kSplashScreen},
    };
    for (const auto& row : rows) {
        const Option option = row.option;
        for (int code : {STN_CLICKED, STN_DBLCLK}) {
            BindCommand(
                row.label, [this, option](int) { presenter_.OnLabelClicked(option); }, code);
        }
    }
}

bool COptionsPage::OnInit() {
    ApplyLayout();
    title_.Bind(hwnd_, IDC_OPTIONS_TITLE);
    title_.ApplyStyle(true, "arial", 15, ui::kTitleColour, ui::kPageColour);
    title_.SetLabelText("Settings");

    const struct {
        ui::CLinkLabel& label;
        int id;
        const char* text;
    } labels[] = {
        {splashLabel_, IDC_OPTIONS_SPLASH_LABEL, "Show Splash Screen Before loading Cleaner"},
        {shutdownLabel_, IDC_OPTIONS_SHUTDOWN_LABEL, "Shutdown Quillmend after repair"},
        {repairLabel_, IDC_OPTIONS_REPAIR_LABEL, "Repair selected items automatically after find"},
        {ignoredLabel_, IDC_OPTIONS_IGNORED_LABEL, "Entries left out of every scan:"},
    };
    for (const auto& l : labels) {
        l.label.Bind(hwnd_, l.id);
        l.label.ApplyStyle(true, "arial", 10, RGB(0, 0, 0), ui::kPageColour);
        l.label.SetLabelText(l.text);
    }
    presenter_.Load();
    ShowIgnored();
    return true;
}

void COptionsPage::ShowIgnored() {
    ignored_ = LoadIgnoreList(settings_);
    ui::ListBox list(Item(IDC_OPTIONS_IGNORED));
    list.ResetContent();
    // Wide enough to scroll to the end of the longest entry.
    ui::WindowDc dc(list.Handle());
    ui::Selection font(dc.Get(), list.CurrentFont());
    LONG widest = 0;
    for (const IgnoreEntry& entry : ignored_.entries()) {
        const std::string text = EntryDisplayText(entry);
        list.AddString(text.c_str());
        SIZE size{};
        GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
        if (size.cx > widest) widest = size.cx;
    }
    list.Send(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8));
    EnableWindow(Item(IDC_OPTIONS_IGNORED_REMOVE), ignored_.Empty() ? FALSE : TRUE);
}

void COptionsPage::RemoveIgnored() {
    ui::ListBox list(Item(IDC_OPTIONS_IGNORED));
    std::vector<IgnoreEntry> removed;
    const std::vector<IgnoreEntry>& shown = ignored_.entries();
    for (size_t row = 0; row < shown.size(); ++row)
        if (list.Send(LB_GETSEL, static_cast<WPARAM>(row)) > 0) removed.push_back(shown[row]);
    if (removed.empty()) return;
    // Taken out of what is stored now, so that an entry added since the
    // page was shown stays.
    const IgnoreList stored = LoadIgnoreList(settings_);
    IgnoreList left;
    for (const IgnoreEntry& entry : stored.entries())
        if (std::find(removed.begin(), removed.end(), entry) == removed.end()) left.Add(entry);
    StoreIgnoreList(settings_, left);
    ShowIgnored();
}

int COptionsPage::BoxId(Option option) {
    switch (option) {
        case Option::kShutdownAfterClean:
            return IDC_OPTIONS_SHUTDOWN;
        case Option::kRepairAfterFind:
            return IDC_OPTIONS_REPAIR_AFTER_FIND;
        case Option::kSplashScreen:
            return IDC_OPTIONS_SPLASH;
    }
    return IDC_OPTIONS_REPAIR_AFTER_FIND;
}

bool COptionsPage::IsChecked(Option option) const {
    return ui::Button(Item(BoxId(option))).IsChecked();
}

void COptionsPage::SetChecked(Option option, bool checked) {
    ui::Button(Item(BoxId(option))).SetChecked(checked);
}

}  // namespace qm
