// Win32 error codes as kernel32 reports them, the POSIX errno values that stand for them, and the English
// system messages that FormatMessage gives for them (the message table of an English Windows, each ending in
// a carriage return and line feed as the system's own do).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora::fsutil {

// The codes the query layer and its callers meet (winerror.h).
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorNoMoreFiles = 18;  // the normal end of a directory search
inline constexpr uint32_t kErrorWriteProtect = 19;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorCallNotImplemented = 120;  // ENOSYS
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorFilenameExceedsRange = 206;
inline constexpr uint32_t kErrorDirectory = 267;
inline constexpr uint32_t kErrorIoDevice = 1117;
inline constexpr uint32_t kErrorCantResolveFilename = 1921;

// The Win32 code for a POSIX errno. ENOENT has two answers on Windows (2 when the folder exists but the entry
// does not, 3 when a folder on the way is missing); this gives 2, the caller that knows better refines it.
uint32_t Win32ErrorFromErrno(int error_number);

// The system message for `code`, "\r\n" included, or nothing when the message table holds none.
std::optional<std::string> SystemMessage(uint32_t code);

}  // namespace velmora::fsutil
