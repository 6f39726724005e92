#include "ui/dialog_layout_scaler.h"

#include <string>

#include "ui/device_context.h"

namespace qm::ui {
namespace {

std::optional<DialogTemplate> LoadTemplate(HINSTANCE instance, int id) {
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /*RT_DIALOG*/);
    if (!found) return std::nullopt;
    HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return std::nullopt;
    return ParseDialogTemplate(static_cast<const uint8_t*>(bytes), SizeofResource(instance, found));
}

}  // namespace

template <typename Each>
int CDialogLayoutScaler::WalkItems(Each each) const {
    int found = 0;
    HWND next = GetWindow(dialog_, GW_CHILD);
    for (const TemplateItem& item : template_.items) {
        // The controls follow the template's order; one that is not further
        // down the sibling list ends the walk, and later items stay as they are.
        while (next && GetDlgCtrlID(next) != item.id) next = GetWindow(next, GW_HWNDNEXT);
        if (!next) break;
        each(next, item);
        ++found;
        next = GetWindow(next, GW_HWNDNEXT);
    }
    return found;
}

bool CDialogLayoutScaler::Apply(HINSTANCE instance, HWND dialog, int templateId,
                                double dotsPerInch) {
    if (dialog_) Restore();
    std::optional<DialogTemplate> parsed = LoadTemplate(instance, templateId);
    if (!parsed || !dialog) return false;

    const TemplateFont& f = parsed->font;
    const std::wstring face(f.face.begin(), f.face.end());
    font_.Reset(CreateFontW(FontHeightForPoints(f.points, dotsPerInch), 0, 0, 0, f.weight,
                            f.italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
    if (!font_) return false;

    templateId_ = templateId;
    instance_ = instance;
    dialog_ = dialog;
    template_ = std::move(*parsed);
    previousFont_ = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), TRUE);

    // The base units of the new font. A window DC measures the same as a
    // paint DC without validating what is waiting to be painted.
    {
        WindowDc dc(dialog);
        Selection selected(dc.Get(), font_.Get());
        SIZE extent{};
        GetTextExtentPoint32A(dc.Get(), kBaseUnitLetters, 52, &extent);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc.Get(), &metrics);
        unitX_ = HorizontalBaseUnit(extent.cx);
        unitY_ = metrics.tmHeight;
    }

    // The client area keeps its top-left corner and takes the template's size.
    RECT client{};
    GetClientRect(dialog, &client);
    client.right = client.left + DialogUnitsToPixels(template_.cx, unitX_, 4);
    client.bottom = client.top + DialogUnitsToPixels(template_.cy, unitY_, 8);
    MapWindowPoints(dialog, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    AdjustWindowRectEx(&client, template_.style, template_.hasMenu ? TRUE : FALSE,
                       template_.exStyle);
    // A child dialog (a page) is placed in its parent's client coordinates.
    HWND parent = GetParent(dialog);
    if (parent && (GetWindowLongPtrA(dialog, GWL_STYLE) & WS_CHILD)) {
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&client), 2);
    }
    MoveWindow(dialog, client.left, client.top, client.right - client.left,
               client.bottom - client.top, TRUE);

    itemsLaidOut_ = WalkItems([this](HWND control, const TemplateItem& item) {
        MoveWindow(control, DialogUnitsToPixels(item.x, unitX_, 4),
                   DialogUnitsToPixels(item.y, unitY_, 8), DialogUnitsToPixels(item.cx, unitX_, 4),
                   DialogUnitsToPixels(item.cy, unitY_, 8), TRUE);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), TRUE);
    });
    return true;
}

void CDialogLayoutScaler::Restore() {
    if (dialog_ && IsWindow(dialog_)) {
        const WPARAM previous = reinterpret_cast<WPARAM>(previousFont_);
        SendMessageA(dialog_, WM_SETFONT, previous, TRUE);
        WalkItems([previous](HWND control, const TemplateItem&) {
            SendMessageA(control, WM_SETFONT, previous, TRUE);
        });
    }
    dialog_ = nullptr;
    previousFont_ = nullptr;
    font_.Reset();
}

}  // namespace qm::ui
