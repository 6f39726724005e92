#include "ui/dialog.h"

#include "ui/control.h"

namespace qm::ui {
namespace {

// Messages whose answer is the dialog procedure's return value itself;
// every other answer goes through DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

// Gives the entry that `same` picks the new entry's handler, or appends the
// new entry when there is none.
template <typename Entry, typename Same>
void Bind(std::vector<Entry>& entries, Entry entry, Same same) {
    for (Entry& e : entries) {
        if (same(e)) {
            e.handler = std::move(entry.handler);
            return;
        }
    }
    entries.push_back(std::move(entry));
}

}  // namespace

Dialog::~Dialog() {
    if (modeless_) DestroyDialog();
    if (hwnd_ && FromHandle(hwnd_) == this) SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    Detach();
}

INT_PTR Dialog::DoModal(HWND parent) {
    modeless_ = false;
    return DialogBoxParamA(instance_, MAKEINTRESOURCEA(templateId_), parent, &Procedure,
                           reinterpret_cast<LPARAM>(this));
}

bool Dialog::CreateModeless(HWND parent) {
    if (hwnd_ != nullptr) return false;
    modeless_ = true;
    HWND hwnd = CreateDialogParamA(instance_, MAKEINTRESOURCEA(templateId_), parent, &Procedure,
                                   reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) modeless_ = false;
    return hwnd != nullptr;
}

void Dialog::DestroyDialog() {
    if (hwnd_ == nullptr) return;
    HWND hwnd = hwnd_;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    Detach();
    modeless_ = false;
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

Dialog* Dialog::FromHandle(HWND hwnd) {
    return hwnd ? reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)) : nullptr;
}

void Dialog::BindMessage(UINT message, MessageHandler handler) {
    Bind(messages_, {message, std::move(handler)},
         [&](const MessageEntry& e) { return e.message == message; });
}

void Dialog::BindCommand(int id, CommandHandler handler, int notifyCode) {
    Bind(commands_, {id, notifyCode, std::move(handler)},
         [&](const CommandEntry& e) { return e.id == id && e.notifyCode == notifyCode; });
}

void Dialog::BindNotify(int id, UINT code, NotifyHandler handler) {
    Bind(notifies_, {id, code, std::move(handler)},
         [&](const NotifyEntry& e) { return e.id == id && e.code == code; });
}

bool Dialog::DispatchCommand(int id, int code) {
    for (const CommandEntry& e : commands_) {
        if (e.id == id && (e.notifyCode == -1 || e.notifyCode == code)) {
            e.handler(code);
            return true;
        }
    }
    if (id == IDOK && code == BN_CLICKED) {
        OnOk();
        return true;
    }
    if (id == IDCANCEL && code == BN_CLICKED) {
        OnCancel();
        return true;
    }
    return false;
}

bool Dialog::Dispatch(UINT message, WPARAM w, LPARAM l, LRESULT* result) {
    *result = 0;
    switch (message) {
        case WM_COMMAND:
            return DispatchCommand(LOWORD(w), HIWORD(w));
        case WM_NOTIFY: {
            NMHDR* header = reinterpret_cast<NMHDR*>(l);
            if (Control* control = Control::FromHandle(header->hwndFrom)) {
                if (control->OnReflected(message, w, l, result)) return true;
            }
            for (const NotifyEntry& e : notifies_) {
                if (e.id == static_cast<int>(header->idFrom) && e.code == header->code) {
                    *result = e.handler(header);
                    return true;
                }
            }
            break;
        }
        case WM_DRAWITEM: {
            const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
            if (item->CtlType != ODT_MENU) {
                if (Control* control = Control::FromHandle(item->hwndItem)) {
                    if (control->OnReflected(message, w, l, result)) return true;
                }
            }
            break;
        }
        default:
            break;
    }
    for (const MessageEntry& e : messages_) {
        if (e.message == message) {
            *result = e.handler(w, l);
            return true;
        }
    }
    return false;
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(l);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->Attach(hwnd);
        try {
            return self->OnInit() ? TRUE : FALSE;
        } catch (...) {
            return TRUE;
        }
    }
    self = FromHandle(hwnd);
    if (self == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        // Destroyed by the system (a modal dialog's end, or its owner going).
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->Detach();
        self->modeless_ = false;
        return FALSE;
    }
    LRESULT result = 0;
    bool handled = false;
    try {
        handled = self->Dispatch(message, w, l, &result);
    } catch (...) {
        handled = false;
    }
    if (!handled) return FALSE;
    if (AnswersDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace qm::ui
