#include "tests/gui/app_driver.h"

#include <commctrl.h>

#include <vector>

namespace qm::gui_test {

bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(50);
    }
}

bool Send(HWND hwnd, UINT message, WPARAM w, LPARAM l, LRESULT* result, DWORD milliseconds) {
    DWORD_PTR answer = 0;
    const bool ok = SendMessageTimeoutA(hwnd, message, w, l, SMTO_NORMAL, milliseconds, &answer);
    if (result) *result = static_cast<LRESULT>(answer);
    return ok;
}

std::string WindowText(HWND hwnd) {
    if (!hwnd) return {};
    LRESULT length = 0;
    if (!Send(hwnd, WM_GETTEXTLENGTH, 0, 0, &length, 5000) || length < 0) return {};
    // The program may change the text between the two messages (a page
    // title going from "Installing" to "Installation Complete"), so a text
    // that fills the buffer is read again with a larger one.
    std::vector<char> text(static_cast<size_t>(length) + 64);
    for (;;) {
        LRESULT copied = 0;
        if (!Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied,
                  5000))
            return {};
        if (copied <= 0) return {};
        if (static_cast<size_t>(copied) + 1 < text.size())
            return std::string(text.data(), static_cast<size_t>(copied));
        text.resize(text.size() * 2);
    }
}

std::string ClassName(HWND hwnd) {
    char name[256] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

void PostCommand(HWND control) {
    PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

void PostClick(HWND hwnd, POINT client) {
    POINT screen = client;
    ClientToScreen(hwnd, &screen);
    SetCursorPos(screen.x, screen.y);
    const LPARAM at = MAKELPARAM(client.x, client.y);
    PostMessageA(hwnd, WM_MOUSEMOVE, 0, at);
    PostMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(hwnd, WM_LBUTTONUP, 0, at);
}

// --- memory of another process ---------------------------------------------

RemoteMemory::RemoteMemory(HANDLE process, size_t size) : process_(process) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteMemory::~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteMemory::Write(const void* data, size_t size, size_t offset) {
    SIZE_T done = 0;
    return address_ &&
           WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) &&
           done == size;
}

bool RemoteMemory::Read(void* data, size_t size, size_t offset) const {
    SIZE_T done = 0;
    return address_ &&
           ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) &&
           done == size;
}

// --- list views of another process -----------------------------------------

int RemoteListView::Count() const {
    LRESULT n = 0;
    return Send(list_, LVM_GETITEMCOUNT, 0, 0, &n) ? static_cast<int>(n) : -1;
}

std::string RemoteListView::Text(int row, int column) const {
    constexpr size_t kTextSize = 2048;
    RemoteMemory memory(process_, sizeof(LVITEMA) + kTextSize);
    if (!memory.Ok()) return "<no remote memory>";
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<LPSTR>(memory.Address(sizeof(LVITEMA)));
    item.cchTextMax = kTextSize;
    char empty = 0;
    memory.Write(&empty, 1, sizeof(LVITEMA));
    if (!memory.Write(&item, sizeof item)) return "<write failed>";
    LRESULT length = 0;
    if (!Send(list_, LVM_GETITEMTEXTA, row, memory.Address(), &length)) return "<no answer>";
    std::vector<char> text(kTextSize);
    memory.Read(text.data(), kTextSize, sizeof(LVITEMA));
    text.back() = 0;
    return text.data();
}

int RemoteListView::Find(int column, const std::string& text) const {
    const int n = Count();
    for (int row = 0; row < n; ++row) {
        if (Text(row, column) == text) return row;
    }
    return -1;
}

bool RemoteListView::Checked(int row) const {
    LRESULT state = 0;
    Send(list_, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK, &state);
    return ((static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

bool RemoteListView::SetChecked(int row, bool checked) {
    RemoteMemory memory(process_, sizeof(LVITEMA));
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    if (!memory.Write(&item, sizeof item)) return false;
    LRESULT ok = 0;
    return Send(list_, LVM_SETITEMSTATE, row, memory.Address(), &ok) && ok;
}

RECT RemoteListView::CellRect(int row, int column) const {
    RECT r{};
    RemoteMemory memory(process_, sizeof(RECT));
    RECT ask{};
    ask.top = column;
    ask.left = LVIR_BOUNDS;
    memory.Write(&ask, sizeof ask);
    LRESULT ok = 0;
    if (Send(list_, LVM_GETSUBITEMRECT, row, memory.Address(), &ok) && ok)
        memory.Read(&r, sizeof r);
    return r;
}

void RemoteListView::ClickCell(int row, int column) {
    const RECT r = CellRect(row, column);
    PostClick(list_, POINT{r.left + 12, (r.top + r.bottom) / 2});
}

// --- the program's process -------------------------------------------------

AppProcess::~AppProcess() {
    if (process_) {
        if (Running()) Close(10000);
        CloseHandle(process_);
    }
    if (thread_) CloseHandle(thread_);
}

bool AppProcess::Start(const std::string& exe, const std::string& arguments) {
    std::string command = "\"" + exe + "\"";
    if (!arguments.empty()) command += " " + arguments;
    std::string folder = exe.substr(0, exe.find_last_of('\\'));
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info))
        return false;
    process_ = info.hProcess;
    thread_ = info.hThread;
    id_ = info.dwProcessId;
    return true;
}

bool AppProcess::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool AppProcess::WaitExit(DWORD milliseconds) const {
    return !process_ || WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
}

bool AppProcess::Close(DWORD milliseconds) {
    if (!Running()) return true;
    for (HWND w : TopLevelWindows()) {
        // Only the main window has the minimise box; the others (message
        // boxes, popups) would take WM_CLOSE as Cancel.
        if (GetWindowLongA(w, GWL_STYLE) & WS_MINIMIZEBOX) PostMessageA(w, WM_CLOSE, 0, 0);
    }
    if (WaitExit(milliseconds)) return true;
    TerminateProcess(process_, 99);
    WaitExit(10000);
    return false;
}

namespace {

struct Collect {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM data) {
    auto* c = reinterpret_cast<Collect*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == c->pid) c->windows.push_back(hwnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> AppProcess::TopLevelWindows() const {
    Collect c{id_, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&c));
    return c.windows;
}

HWND AppProcess::WaitWindow(const std::string& caption, DWORD milliseconds) const {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND w : TopLevelWindows()) {
                if (WindowText(w) == caption) {
                    found = w;
                    return true;
                }
            }
            return !Running();
        },
        milliseconds);
    return found;
}

HWND AppProcess::DialogWithControl(int id) const {
    for (HWND w : TopLevelWindows()) {
        if (IsWindowVisible(w) && ClassName(w) == "#32770" && GetDlgItem(w, id)) return w;
    }
    return nullptr;
}

HWND AppProcess::MessageBoxWindow() const {
    // A message box is a dialog whose text is a static of id 0xFFFF with at
    // least one of the standard buttons. Other dialogs use 0xFFFF for their
    // unnamed statics too: the progress window an installer shows while it
    // checks itself (shown only when that takes over a second, so under
    // load) has an icon of that id and no button.
    for (HWND w : TopLevelWindows()) {
        if (!IsWindowVisible(w) || ClassName(w) != "#32770") continue;
        HWND text = GetDlgItem(w, 0xFFFF);
        if (!text || ClassName(text) != "Static" ||
            (GetWindowLongA(text, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            continue;
        for (int button : {IDOK, IDCANCEL, IDYES, IDNO, IDABORT, IDRETRY, IDIGNORE}) {
            if (GetDlgItem(w, button)) return w;
        }
    }
    return nullptr;
}

HWND AppProcess::WaitMessageBox(DWORD milliseconds) const {
    HWND box = nullptr;
    WaitFor([&] { return (box = MessageBoxWindow()) != nullptr || !Running(); }, milliseconds);
    return box;
}

std::string MessageBoxText(HWND box) {
    return WindowText(GetDlgItem(box, 0xFFFF));
}

bool PressOk(HWND box) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
}

HWND PageWith(HWND main, int id) {
    for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == "#32770" && GetDlgItem(child, id)) return child;
    }
    return nullptr;
}

}  // namespace qm::gui_test
