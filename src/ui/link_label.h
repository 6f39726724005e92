// CLinkLabel: a static control that paints its own text in its own font and
// colour, optionally transparent so that the page's background shows
// through. The pages use it for titles and explanatory lines.
#pragma once

#include <string>

#include "ui/control.h"
#include "ui/gdi_object.h"

namespace qm::ui {

class CLinkLabel : public Control {
  public:
    // The notification code sent to the parent on a click.
    static constexpr UINT kClickNotification = WM_APP + 0x200;

    // Replaces the painted text and redraws; nothing before the control exists.
    void SetLabelText(const std::string& text);
    const std::string& LabelText() const { return text_; }
    void SetTextColour(COLORREF colour);
    void SetTransparent(bool on);
    void SetFontName(const char* face, BYTE charset);
    void SetFontSize(int points);
    // What the pages call: transparency, face, size, text and background colour.
    void ApplyStyle(bool transparent, const char* face, int points, COLORREF text,
                    COLORREF background);
    void SetBackgroundColour(COLORREF colour) { background_ = colour; }

    bool IsTransparent() const { return transparent_; }
    HFONT LabelFont() const { return font_.Get(); }
    const LOGFONTA& FontDescription() const { return description_; }

  protected:
    void OnBound() override;
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override;

  private:
    void RebuildFont();
    void Redraw();
    void Paint();

    std::string text_;
    LOGFONTA description_{};
    Font font_;
    COLORREF textColour_ = GetSysColor(COLOR_WINDOWTEXT);
    COLORREF background_ = GetSysColor(COLOR_BTNFACE);
    bool transparent_ = false;
    bool notifyParent_ = true;
    bool hover_ = false;
};

}  // namespace qm::ui
