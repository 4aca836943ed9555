// A platform shim for tests: passes every call to the system shim unless a test scripts it, and records the
// character width of each call. Scripts: the loader and version answers, a failing attribute query, a fixed
// listing for every search, extra system messages and a failing close.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fsutil/platform_shim.h"

namespace velmora::fsutil::testing {

class FakeKernel final : public Kernel {
 public:
  KernelExports exports{true, true, true};
  std::optional<uint32_t> version_ex_w = kPlatformWin32Nt;
  std::optional<uint32_t> version_ex_a = kPlatformWin32Nt;
  uint32_t version = 0;
  int load_calls = 0;

  std::optional<uint32_t> attribute_failure;     // every attribute query fails with this code
  std::optional<std::vector<FindData>> listing;  // every search delivers these entries (none: fails with 2)
  std::map<uint32_t, std::string> messages;      // system messages beyond the system shim's
  bool close_fails = false;

  std::vector<CallWidth> widths;  // of every file call, in order
  int searches_started = 0;       // FindFirstFile calls that returned a handle
  int closes = 0;                 // FindClose calls

  KernelExports LoadKernel32() override {
    ++load_calls;
    return exports;
  }
  void FreeKernel32() override {}
  std::optional<uint32_t> GetVersionExW() override { return version_ex_w; }
  std::optional<uint32_t> GetVersionExA() override { return version_ex_a; }
  uint32_t GetVersion() override { return version; }
  uint32_t GetLastError() override { return last_error_; }

  uint32_t GetFileAttributes(CallWidth width, const std::string& path) override {
    widths.push_back(width);
    if (attribute_failure) return Fail(*attribute_failure, kInvalidAttributes);
    return Pass(SystemKernel().GetFileAttributes(width, path));
  }
  uint32_t FindFirstFile(CallWidth width, const std::string& search_path, FindData* data) override {
    widths.push_back(width);
    if (!listing) {
      const uint32_t handle = Pass(SystemKernel().FindFirstFile(width, search_path, data));
      if (handle != kInvalidHandle) ++searches_started;
      return handle;
    }
    if (listing->empty()) return Fail(2, kInvalidHandle);
    ++searches_started;
    next_ = 1;
    *data = listing->front();
    last_error_ = 0;
    return kFakeHandle;
  }
  bool FindNextFile(CallWidth width, uint32_t handle, FindData* data) override {
    widths.push_back(width);
    if (handle != kFakeHandle) return Pass(SystemKernel().FindNextFile(width, handle, data));
    if (next_ >= listing->size()) return Fail(18, false);
    *data = (*listing)[next_++];
    last_error_ = 0;
    return true;
  }
  bool FindClose(uint32_t handle) override {
    ++closes;
    if (close_fails) return Fail(6, false);
    if (handle == kFakeHandle) return Fail(0, true);
    return Pass(SystemKernel().FindClose(handle));
  }
  std::optional<FileId> GetFileId(CallWidth width, const std::string& path) override {
    return SystemKernel().GetFileId(width, path);
  }
  std::optional<std::string> FormatMessage(CallWidth width, uint32_t code, size_t buffer_chars) override {
    if (auto it = messages.find(code); it != messages.end()) return Fail(0, std::optional(it->second));
    return Pass(SystemKernel().FormatMessage(width, code, buffer_chars));
  }

 private:
  static constexpr uint32_t kFakeHandle = 0x7777;

  template <class T>
  T Pass(T result) {
    last_error_ = SystemKernel().GetLastError();
    return result;
  }
  template <class T>
  T Fail(uint32_t error, T result) {
    last_error_ = error;
    return result;
  }

  uint32_t last_error_ = 0;
  size_t next_ = 0;
};

}  // namespace velmora::fsutil::testing
