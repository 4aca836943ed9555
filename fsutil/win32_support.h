// What the Win32 implementations of the platform layer share: UTF-8 paths made wide for the ...W calls, and
// Win32 error codes as the errno values the layers above expect. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::fsutil {

// The wide form of a UTF-8 path for a ...W call: "/" becomes "\", and an absolute path too long for MAX_PATH
// gets the long-path prefix ("\\?\C:\..." or "\\?\UNC\server\...").
std::wstring WidePath(const std::string& path);
// The wide form of UTF-8 text, as it stands.
std::wstring WideText(const std::string& utf8);
// UTF-8 of a wide name from a Win32 call.
std::string NarrowName(const wchar_t* name);

// The errno value that stands for a Win32 error code.
int ErrnoFromWin32(DWORD code);
// ErrnoFromWin32(GetLastError()).
int LastErrno();

}  // namespace velmora::fsutil
