// callvane.dll: an NSIS plug-in for ANSI installers. Its one function,
// CallURL, takes a web address, a name and an e-mail address off the
// installer's stack and sends them to the address in one HTTP GET request.
// Nothing is reported back and nothing is pushed onto the stack.
#include <windows.h>
#include <wininet.h>

#include "url_call.h"

namespace {

// The third argument block NSIS 2.42 and later pass to plug-ins. CallURL needs
// none of it; it is declared so that the entry point matches what the
// installer calls.
struct ExecFlags;
using PluginCallback = UINT_PTR (*)(int message);
struct ExtraParameters {
    ExecFlags* exec_flags;
    int(WINAPI* ExecuteCodeSegment)(int position, HWND parent);
    void(WINAPI* validate_filename)(char* file_name);
    int(WINAPI* RegisterPluginCallback)(HMODULE module, PluginCallback callback);
};

// What the installer handed over on the last call. Only the stack is used;
// the installer calls plug-ins one at a time from a single thread.
HINSTANCE g_instance = nullptr;
HWND g_parent = nullptr;
int g_string_size = 0;
char* g_variables = nullptr;
callvane::StackNode** g_stack_top = nullptr;

void FreeStackNode(callvane::StackNode* node) {
    GlobalFree(static_cast<HGLOBAL>(node));
}

// Closes a WinINet handle when it goes out of scope.
class InternetHandle {
  public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) {
            InternetCloseHandle(handle_);
        }
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HINTERNET get() const { return handle_; }

  private:
    HINTERNET handle_;
};

void SendRequest(const char* url) {
    InternetHandle session(
        InternetOpenA("Mozilla 1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.get() == nullptr) {
        return;
    }
    // Opening the address sends the GET and waits for the answer's headers.
    // The body is never read. The request handle is declared after the
    // session so that it is closed first: closing the session invalidates
    // every handle made from it.
    InternetHandle request(InternetOpenUrlA(session.get(), url, nullptr, 0, 0, 0));
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
    }
    return TRUE;
}

// Exported as "CallURL" without decoration through callvane.def.
void __cdecl CallURL(HWND parent, int string_size, char* variables, callvane::StackNode** stack_top,
                     ExtraParameters* /*extra*/) {
    g_parent = parent;
    g_string_size = string_size;
    g_variables = variables;
    g_stack_top = stack_top;

    const callvane::RequestFields fields =
        callvane::PopRequestFields(g_stack_top, g_string_size, FreeStackNode);
    char url[callvane::kRequestSize];
    if (!callvane::BuildRequestUrl(fields, url)) {
        return;
    }
    SendRequest(url);
}

}  // extern "C"
