// CAbout: the About page (template 139): the product's name and version
// beside its picture. It has no commands.
#pragma once

#include <windows.h>

#include "ui/link_label.h"
#include "ui/page.h"

namespace qm {

// The version label's three lines.
inline constexpr const char* kAboutVersionText =
    "Quillmend Version 1.0.0.1\n\nAll rights reserved.";

class CAbout : public ui::Page {
  public:
    explicit CAbout(HINSTANCE instance);

  private:
    bool OnInit() override;

    ui::CLinkLabel title_;
    ui::CLinkLabel version_;
};

}  // namespace qm
