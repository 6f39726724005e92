#include "app/about_page.h"

#include "resource.h"

namespace qm {

CAbout::CAbout(HINSTANCE instance) : ui::Page(instance, IDD_ABOUT) {}

bool CAbout::OnInit() {
    ApplyLayout();
    title_.Bind(hwnd_, IDC_ABOUT_TITLE);
    title_.ApplyStyle(true, "Arial", 15, ui::kTitleColour, ui::kPageColour);
    title_.SetLabelText("About");
    version_.Bind(hwnd_, IDC_ABOUT_VERSION);
    version_.ApplyStyle(true, "Arial", 10, RGB(0, 0, 0), ui::kPageColour);
    version_.SetLabelText(kAboutVersionText);
    return true;
}

}  // namespace qm
