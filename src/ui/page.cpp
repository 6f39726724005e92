#include "ui/page.h"

namespace qm::ui {

Page::Page(HINSTANCE instance, int templateId, Colour background)
    : Dialog(instance, templateId), background_(background), brush_(CreateSolidBrush(background)) {
    BindBackground([this](HDC dc) {
        const RECT client = ClientRect();
        FillRect(dc, &client, brush_.Get());
        return true;
    });
    for (UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN, WM_CTLCOLORDLG}) {
        BindMessage(message,
                    [this](WPARAM w, LPARAM) { return ControlColour(reinterpret_cast<HDC>(w)); });
    }
}

bool Page::ApplyLayout() {
    return scaler_.Apply(Instance(), hwnd_, TemplateId(), 96.0);
}

LRESULT Page::ControlColour(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(brush_.Get());
}

}  // namespace qm::ui
