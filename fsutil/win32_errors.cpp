#include "fsutil/win32_errors.h"

#include <cerrno>

namespace velmora::fsutil {

uint32_t Win32ErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EROFS:
      return kErrorWriteProtect;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
      return kErrorDiskFull;
    case ENOSYS:
    case ENOTSUP:
      return kErrorCallNotImplemented;
    case EILSEQ:
      return kErrorInvalidName;
    case ENAMETOOLONG:
      return kErrorFilenameExceedsRange;
    case EIO:
      return kErrorIoDevice;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EBADF:
      return kErrorInvalidHandle;
    default:
      return kErrorInvalidFunction;
  }
}

std::optional<std::string> SystemMessage(uint32_t code) {
  const char* text = nullptr;
  switch (code) {
    case kErrorSuccess:
      text = "The operation completed successfully.";
      break;
    case kErrorInvalidFunction:
      text = "Incorrect function.";
      break;
    case kErrorFileNotFound:
      text = "The system cannot find the file specified.";
      break;
    case kErrorPathNotFound:
      text = "The system cannot find the path specified.";
      break;
    case kErrorTooManyOpenFiles:
      text = "The system cannot open the file.";
      break;
    case kErrorAccessDenied:
      text = "Access is denied.";
      break;
    case kErrorInvalidHandle:
      text = "The handle is invalid.";
      break;
    case kErrorNotEnoughMemory:
      text = "Not enough memory resources are available to process this command.";
      break;
    case kErrorNoMoreFiles:
      text = "There are no more files.";
      break;
    case kErrorWriteProtect:
      text = "The media is write protected.";
      break;
    case kErrorSharingViolation:
      text = "The process cannot access the file because it is being used by another process.";
      break;
    case kErrorInvalidParameter:
      text = "The parameter is incorrect.";
      break;
    case kErrorDiskFull:
      text = "There is not enough space on the disk.";
      break;
    case kErrorCallNotImplemented:
      text = "This function is not supported on this system.";
      break;
    case kErrorInvalidName:
      text = "The filename, directory name, or volume label syntax is incorrect.";
      break;
    case kErrorFilenameExceedsRange:
      text = "The filename or extension is too long.";
      break;
    case kErrorDirectory:
      text = "The directory name is invalid.";
      break;
    case kErrorIoDevice:
      text = "The request could not be performed because of an I/O device error.";
      break;
    case kErrorCantResolveFilename:
      text = "The name of the file cannot be resolved by the system.";
      break;
    default:
      return std::nullopt;
  }
  return std::string(text) + "\r\n";
}

}  // namespace velmora::fsutil
