// The POSIX implementation of the platform shim. What it promises is listed in platform_shim.h.
#include "fsutil/platform_shim.h"

#include "fsutil/posix_search.h"
#include "fsutil/posix_stat.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

inline constexpr uint32_t kErrorInsufficientBuffer = 122;  // the message does not fit the caller's buffer
inline constexpr uint32_t kErrorMessageNotFound = 317;     // ERROR_MR_MID_NOT_FOUND: no such message

class PosixKernel final : public Kernel {
 public:
  KernelExports LoadKernel32() override {
    return KernelExports{.loaded = true, .get_version_ex_w = true, .get_version_ex_a = true};
  }
  void FreeKernel32() override {}
  std::optional<uint32_t> GetVersionExW() override { return kPlatformWin32Nt; }
  std::optional<uint32_t> GetVersionExA() override { return kPlatformWin32Nt; }
  uint32_t GetVersion() override { return 0; }  // high bit clear: the NT family

  uint32_t GetLastError() override { return last_error_; }

  uint32_t GetFileAttributes(CallWidth width, const std::string& path) override {
    PathStat st;
    if (!Reachable(width, path) || !Ok(StatPath(path, LastPathComponent(path), &st)))
      return kInvalidAttributes;
    return st.attributes;
  }

  uint32_t FindFirstFile(CallWidth width, const std::string& search_path, FindData* data) override {
    uint32_t error = kErrorSuccess;
    if (!Reachable(width, search_path)) return kInvalidHandle;
    const uint32_t handle = searches_.Start(search_path, data, &error);
    Ok(error);
    return handle;
  }

  bool FindNextFile(CallWidth /*width*/, uint32_t handle, FindData* data) override {
    uint32_t error = kErrorSuccess;
    return Ok(searches_.Step(handle, data, &error) ? kErrorSuccess : error);
  }

  bool FindClose(uint32_t handle) override {
    uint32_t error = kErrorSuccess;
    return Ok(searches_.Close(handle, &error) ? kErrorSuccess : error);
  }

  std::optional<FileId> GetFileId(CallWidth width, const std::string& path) override {
    if (width == CallWidth::kWide && (path.empty() || path[0] != '/')) return std::nullopt;
    return FileIdOf(path);
  }

  std::optional<std::string> FormatMessage(CallWidth /*width*/, uint32_t code, size_t buffer_chars) override {
    std::optional<std::string> message = SystemMessage(code);
    if (!message) {
      last_error_ = kErrorMessageNotFound;
      return std::nullopt;
    }
    if (message->size() + 1 > buffer_chars) {  // the messages are ASCII: one character per byte, plus the NUL
      last_error_ = kErrorInsufficientBuffer;
      return std::nullopt;
    }
    return message;
  }

 private:
  // The long-path form names only full paths: a relative path under "\\?\" is not resolved.
  bool Reachable(CallWidth width, const std::string& path) {
    if (width == CallWidth::kWide && (path.empty() || path[0] != '/')) {
      last_error_ = kErrorPathNotFound;
      return false;
    }
    return true;
  }

  // Notes a failure; as in kernel32, a successful call leaves the last error as it was.
  bool Ok(uint32_t error) {
    if (error != kErrorSuccess) last_error_ = error;
    return error == kErrorSuccess;
  }

  uint32_t last_error_ = kErrorSuccess;
  SearchTable searches_;
};

}  // namespace

Kernel& SystemKernel() {
  static PosixKernel kernel;
  return kernel;
}

}  // namespace velmora::fsutil
