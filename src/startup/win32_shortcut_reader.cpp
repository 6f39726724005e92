#include "startup/win32_shortcut_reader.h"

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>
#include <windows.h>

namespace qm {

namespace {

// Uninitialises COM on every path when the initialisation took.
class ComScope {
  public:
    ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    bool initialised_;
};

// Releases one interface pointer.
template <class Interface>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* operator->() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

  private:
    Interface* pointer_ = nullptr;
};

constexpr int kTextBuffer = 1024;
constexpr int kWidePath = 260;

}  // namespace

std::string ShellLinkObjectReader::CommandLine(const std::string& path) {
    ComScope com;
    ComRef<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.out())))
        return fallback_.CommandLine(path);

    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) return {};

    WCHAR widePath[kWidePath];
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.c_str(), -1, widePath, kWidePath) == 0)
        return {};
    if (FAILED(file->Load(widePath, STGM_READ))) return {};

    char target[kTextBuffer] = {};
    char arguments[kTextBuffer] = {};
    if (FAILED(link->GetPath(target, kTextBuffer, nullptr, SLGP_UNCPRIORITY))) return {};
    if (FAILED(link->GetArguments(arguments, kTextBuffer))) return {};
    target[kTextBuffer - 1] = '\0';
    arguments[kTextBuffer - 1] = '\0';
    return std::string(target) + " " + arguments;
}

}  // namespace qm
