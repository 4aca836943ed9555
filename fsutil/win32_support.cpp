#include "fsutil/win32_support.h"

#include <cerrno>
#include <cwchar>

#include "fsutil/utf8.h"

namespace velmora::fsutil {
namespace {

// Paths of this length or more need the long-path prefix: MAX_PATH (260) less room for a file name of 8.3
// that CreateDirectoryW keeps in reserve (12).
constexpr size_t kLongPathFrom = 248;

}  // namespace

std::wstring WideText(const std::string& utf8) {
  const std::u16string units = Utf16FromUtf8(utf8);
  return std::wstring(units.begin(), units.end());
}

std::wstring WidePath(const std::string& path) {
  std::wstring wide = WideText(path);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  if (wide.size() < kLongPathFrom || wide.starts_with(L"\\\\?\\")) return wide;
  if (wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  if (wide.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + wide.substr(2);
  return wide;  // a relative path cannot carry the prefix
}

std::string NarrowName(const wchar_t* name) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");
  return Utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(name), std::wcslen(name)));
}

int ErrnoFromWin32(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_IO_PENDING:
      return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
      return ENOSYS;
    default:
      return EIO;
  }
}

int LastErrno() {
  return ErrnoFromWin32(GetLastError());
}

}  // namespace velmora::fsutil
