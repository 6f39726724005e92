#include "app/alert_text.h"

namespace qm {

std::string AlertText(int32_t count) {
    return "Quillmend has found " + std::to_string(count) +
           " of errors,\nclick here for more information";
}

ScreenPoint AlertPosition(const ScreenRect& workArea, int width, int height) {
    return {(workArea.right - workArea.left) - width, (workArea.bottom - workArea.top) - height};
}

ScreenRect AlertTextRect(const ScreenRect& client) {
    return {client.left + kAlertTextInset, client.top + kAlertTextInset, client.right,
            client.bottom};
}

}  // namespace qm
