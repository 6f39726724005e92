#include "app/options_page.h"

#include "resource.h"

namespace qm {

COptionsPage::COptionsPage(HINSTANCE instance, RegistryService& registry)
    : ui::Page(instance, IDD_OPTIONS), settings_(registry), presenter_(*this, settings_) {
    // Check box 1017 stores its setting at once; 1087 and 1016 only toggle.
    BindCommand(
        IDC_OPTIONS_REPAIR_AFTER_FIND,
        [this](int) { presenter_.OnCheckBoxClicked(Option::kRepairAfterFind); }, BN_CLICKED);
    BindCommand(
        IDC_OPTIONS_APPLY, [this](int) { presenter_.Apply(); }, BN_CLICKED);

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
    };
    for (const auto& l : labels) {
        l.label.Bind(hwnd_, l.id);
        l.label.ApplyStyle(true, "arial", 10, RGB(0, 0, 0), ui::kPageColour);
        l.label.SetLabelText(l.text);
    }
    presenter_.Load();
    return true;
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
