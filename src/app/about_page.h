// CAbout: the About page (template 139): the product's name and version
// beside its picture. It has no commands.
#pragma once

#include <windows.h>

#include "quillmend_version.h"
#include "ui/link_label.h"
#include "ui/page.h"

namespace qm {

// The version label's three lines, with the version this program was built
// as: the same number as its version resource and the installer's.
inline constexpr const char* kAboutVersionText =
    "Quillmend Version " QM_VERSION_TEXT "\n\nAll rights reserved.";

class CAbout : public ui::Page {
  public:
    explicit CAbout(HINSTANCE instance);

  private:
    bool OnInit() override;

    ui::CLinkLabel title_;
    ui::CLinkLabel version_;
};

}  // namespace qm
