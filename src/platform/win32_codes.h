// Win32 numbers used by the portable code: status codes, registry access
// masks, value types and shell folder ids. They carry exactly the values of
// the Windows headers so that a status from either backend means the same
// thing, and so that the Windows backend can pass them through unchanged.
#pragma once

#include <cstdint>

namespace qm {

// A Win32 error code (what the registry functions return and GetLastError
// reports). 0 is success.
using Status = long;

namespace status {
inline constexpr Status kSuccess = 0;                 // ERROR_SUCCESS
inline constexpr Status kFileNotFound = 2;            // ERROR_FILE_NOT_FOUND
inline constexpr Status kPathNotFound = 3;            // ERROR_PATH_NOT_FOUND
inline constexpr Status kAccessDenied = 5;            // ERROR_ACCESS_DENIED
inline constexpr Status kInvalidHandle = 6;           // ERROR_INVALID_HANDLE
inline constexpr Status kNotEnoughMemory = 8;         // ERROR_NOT_ENOUGH_MEMORY
inline constexpr Status kWriteFault = 29;             // ERROR_WRITE_FAULT
inline constexpr Status kFileExists = 80;             // ERROR_FILE_EXISTS
inline constexpr Status kInvalidParameter = 87;       // ERROR_INVALID_PARAMETER
inline constexpr Status kCallNotImplemented = 120;    // ERROR_CALL_NOT_IMPLEMENTED
inline constexpr Status kInvalidName = 123;           // ERROR_INVALID_NAME
inline constexpr Status kBadPathname = 161;           // ERROR_BAD_PATHNAME
inline constexpr Status kAlreadyExists = 183;         // ERROR_ALREADY_EXISTS
inline constexpr Status kFilenameExcedRange = 206;    // ERROR_FILENAME_EXCED_RANGE
inline constexpr Status kMoreData = 234;              // ERROR_MORE_DATA
inline constexpr Status kNoMoreItems = 259;           // ERROR_NO_MORE_ITEMS
inline constexpr Status kDirectory = 267;             // ERROR_DIRECTORY (a folder was expected)
inline constexpr Status kNoAccess = 998;              // ERROR_NOACCESS
inline constexpr Status kBadKey = 1010;               // ERROR_BADKEY
inline constexpr Status kCantRead = 1012;             // ERROR_CANTREAD
inline constexpr Status kCantWrite = 1013;            // ERROR_CANTWRITE
inline constexpr Status kKeyDeleted = 1018;           // ERROR_KEY_DELETED
inline constexpr Status kChildMustBeVolatile = 1021;  // ERROR_CHILD_MUST_BE_VOLATILE
// A name or text with no exact form in the code page (see RegistryService).
inline constexpr Status kNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
}  // namespace status

// Registry access rights (REGSAM).
namespace access {
inline constexpr uint32_t kQueryValue = 0x0001;          // KEY_QUERY_VALUE
inline constexpr uint32_t kSetValue = 0x0002;            // KEY_SET_VALUE
inline constexpr uint32_t kCreateSubKey = 0x0004;        // KEY_CREATE_SUB_KEY
inline constexpr uint32_t kEnumerateSubKeys = 0x0008;    // KEY_ENUMERATE_SUB_KEYS
inline constexpr uint32_t kNotify = 0x0010;              // KEY_NOTIFY
inline constexpr uint32_t kCreateLink = 0x0020;          // KEY_CREATE_LINK
inline constexpr uint32_t kDelete = 0x00010000;          // DELETE
inline constexpr uint32_t kReadControl = 0x00020000;     // READ_CONTROL
inline constexpr uint32_t kMaximumAllowed = 0x02000000;  // MAXIMUM_ALLOWED
inline constexpr uint32_t kRead = 0x00020019;            // KEY_READ
inline constexpr uint32_t kWrite = 0x00020006;           // KEY_WRITE
inline constexpr uint32_t kReadWrite = kRead | kWrite;
inline constexpr uint32_t kAllAccess = 0x000F003F;  // KEY_ALL_ACCESS
// The registry view an open or create goes to on 64-bit Windows (see
// RegistryService); nothing where there is one view only.
inline constexpr uint32_t kWow64_64Key = 0x0100;  // KEY_WOW64_64KEY
inline constexpr uint32_t kWow64_32Key = 0x0200;  // KEY_WOW64_32KEY
// What RegOpenKeyA asks for: the system's default access.
inline constexpr uint32_t kDefault = kMaximumAllowed;
}  // namespace access

// Registry value types.
namespace regtype {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kSz = 1;
inline constexpr uint32_t kExpandSz = 2;
inline constexpr uint32_t kBinary = 3;
inline constexpr uint32_t kDword = 4;
inline constexpr uint32_t kDwordBigEndian = 5;
inline constexpr uint32_t kLink = 6;
inline constexpr uint32_t kMultiSz = 7;
inline constexpr uint32_t kResourceList = 8;
inline constexpr uint32_t kQword = 11;

// Types whose data the ANSI functions see as code-page text (and which the
// Unicode text form stores as UTF-16).
constexpr bool IsText(uint32_t type) {
    return type == kSz || type == kExpandSz || type == kMultiSz;
}
}  // namespace regtype

// Shell special folder ids (CSIDL_*).
namespace csidl {
inline constexpr int kPrograms = 0x0002;
inline constexpr int kStartup = 0x0007;
inline constexpr int kFonts = 0x0014;
inline constexpr int kCommonPrograms = 0x0017;
inline constexpr int kCommonStartup = 0x0018;
inline constexpr int kAppData = 0x001a;
inline constexpr int kWindows = 0x0024;
inline constexpr int kSystem = 0x0025;
inline constexpr int kProgramFiles = 0x0026;
}  // namespace csidl

}  // namespace qm
