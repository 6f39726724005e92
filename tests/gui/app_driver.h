// Drives a running Quillmend.exe from another process, the way a user's
// clicks reach it: windows found by caption, class and owner, controls by
// id, clicks posted as commands or mouse messages, texts read with
// WM_GETTEXT, and list views read and ticked through memory in the
// program's own address space.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qm::gui_test {

// Calls `condition` every 50 ms until it holds or `milliseconds` pass.
bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds);

// A window's text (WM_GETTEXT, also across processes); empty when the
// window does not answer within a few seconds.
std::string WindowText(HWND hwnd);
std::string ClassName(HWND hwnd);

// SendMessage that gives up after `milliseconds` (returns false then).
bool Send(HWND hwnd, UINT message, WPARAM w, LPARAM l, LRESULT* result = nullptr,
          DWORD milliseconds = 20000);

// A button press as the dialog sees it: WM_COMMAND/BN_CLICKED posted to
// the control's parent, so that a handler that opens a modal window does not
// block the test.
void PostCommand(HWND control);
// A left click posted to a window at a client point, with the mouse moved
// there first for handlers that ask where it is.
void PostClick(HWND hwnd, POINT client);

// A block of memory inside another process, freed with the object.
class RemoteMemory {
  public:
    RemoteMemory(HANDLE process, size_t size);
    ~RemoteMemory();
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    bool Ok() const { return address_ != nullptr; }
    LPARAM Address(size_t offset = 0) const {
        return reinterpret_cast<LPARAM>(static_cast<char*>(address_) + offset);
    }
    bool Write(const void* data, size_t size, size_t offset = 0);
    bool Read(void* data, size_t size, size_t offset = 0) const;

  private:
    HANDLE process_;
    void* address_ = nullptr;
};

// A report-style list view (with check boxes) of another process.
class RemoteListView {
  public:
    RemoteListView(HANDLE process, HWND list) : process_(process), list_(list) {}
    bool Valid() const { return list_ != nullptr; }
    int Count() const;
    std::string Text(int row, int column) const;
    // The row whose column has exactly this text, or -1.
    int Find(int column, const std::string& text) const;
    bool Checked(int row) const;
    // Sets the row's check box through LVM_SETITEMSTATE, which notifies the
    // page as a click on the box would (LVN_ITEMCHANGED).
    bool SetChecked(int row, bool checked);
    RECT CellRect(int row, int column) const;
    void ClickCell(int row, int column);
    HWND Handle() const { return list_; }

  private:
    HANDLE process_;
    HWND list_;
};

// One run of Quillmend.exe.
class AppProcess {
  public:
    AppProcess() = default;
    ~AppProcess();
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    // Starts the program with these arguments (may be empty) in its folder.
    bool Start(const std::string& exe, const std::string& arguments);
    HANDLE Process() const { return process_; }
    DWORD Id() const { return id_; }
    bool Running() const;
    bool WaitExit(DWORD milliseconds) const;
    // Closes the main window (WM_CLOSE) and waits; ends the process when it
    // does not go within `milliseconds`. Returns whether it ended by itself.
    bool Close(DWORD milliseconds = 20000);

    // Top-level windows of this process, hidden ones included.
    std::vector<HWND> TopLevelWindows() const;
    // The top-level window with exactly this caption, waiting up to
    // `milliseconds` for it.
    HWND WaitWindow(const std::string& caption, DWORD milliseconds) const;
    // A visible dialog of this process ("#32770") holding a control with
    // this id, or none.
    HWND DialogWithControl(int id) const;
    // The visible message box of this process: a dialog with a text static
    // 0xFFFF and a standard button.
    HWND MessageBoxWindow() const;
    HWND WaitMessageBox(DWORD milliseconds) const;

  private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
};

// The text of a message box and its OK press.
std::string MessageBoxText(HWND box);
bool PressOk(HWND box);

// The page (child dialog of the main window) that holds control `id`.
HWND PageWith(HWND main, int id);

}  // namespace qm::gui_test
