// A dialog made from a template id, modal or modeless. One dialog procedure
// serves every dialog: it finds the object through the window's user data
// (stored at WM_INITDIALOG) and hands messages to handlers that the derived
// class binds by message number, or by control id for commands and
// notifications. No exception leaves a handler into the window system.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "ui/window.h"

namespace qm::ui {

class Dialog : public Window {
  public:
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    using CommandHandler = std::function<void(int notifyCode)>;
    using NotifyHandler = std::function<LRESULT(NMHDR*)>;

    Dialog(HINSTANCE instance, int templateId) : instance_(instance), templateId_(templateId) {}
    ~Dialog() override;

    // Runs the dialog modally; returns the value given to End, or -1 when
    // the dialog could not be made.
    INT_PTR DoModal(HWND parent);
    // Makes the dialog modeless; it belongs to this object and is destroyed
    // with it.
    bool CreateModeless(HWND parent);
    // Ends a modal dialog with a result; hides a modeless one.
    void End(INT_PTR result) { EndDialog(hwnd_, result); }
    // Destroys the window. The object's user-data link is cleared first, so
    // that no message of the destruction reaches a half-destroyed object.
    void DestroyDialog();

    HINSTANCE Instance() const { return instance_; }
    int TemplateId() const { return templateId_; }

    // The object of a dialog window made by this class, if any.
    static Dialog* FromHandle(HWND hwnd);

  protected:
    // After the controls exist. Return true to let the system set the focus.
    virtual bool OnInit() { return true; }
    // Enter and Escape (IDOK and IDCANCEL without bound handlers).
    virtual void OnOk() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }

    // The handler tables. A later binding for the same key replaces an
    // earlier one. A command bound with notifyCode -1 takes every code.
    void BindMessage(UINT message, MessageHandler handler);
    void BindCommand(int id, CommandHandler handler, int notifyCode = -1);
    void BindNotify(int id, UINT code, NotifyHandler handler);
    // Paints the background on WM_ERASEBKGND; `paint` returns false to leave
    // it to the system.
    void BindBackground(std::function<bool(HDC)> paint) {
        BindMessage(WM_ERASEBKGND, [paint = std::move(paint)](WPARAM w, LPARAM) -> LRESULT {
            return paint(reinterpret_cast<HDC>(w)) ? TRUE : FALSE;
        });
    }

  private:
    struct MessageEntry {
        UINT message;
        MessageHandler handler;
    };
    struct CommandEntry {
        int id;
        int notifyCode;
        CommandHandler handler;
    };
    struct NotifyEntry {
        int id;
        UINT code;
        NotifyHandler handler;
    };

    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    // Returns whether the message was handled, with its result.
    bool Dispatch(UINT message, WPARAM w, LPARAM l, LRESULT* result);
    bool DispatchCommand(int id, int code);

    HINSTANCE instance_;
    int templateId_;
    bool modeless_ = false;
    std::vector<MessageEntry> messages_;
    std::vector<CommandEntry> commands_;
    std::vector<NotifyEntry> notifies_;
};

}  // namespace qm::ui
