#include "fsutil/file_queries.h"

#include <optional>
#include <string_view>

#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

// FormatMessage writes into a buffer of this many characters.
constexpr size_t kMessageBufferChars = 256;

struct ModuleState {
  Kernel* kernel = nullptr;
  bool initialised = false;
  bool use_wide_calls = false;
  int32_t last_error = 0;
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

void EnsureInitialised() {
  if (!State().initialised) InitFileQueries();
}

CallWidth Width() {
  return State().use_wide_calls ? CallWidth::kWide : CallWidth::kAnsi;
}

uint64_t Join(uint32_t high, uint32_t low) {
  return (static_cast<uint64_t>(high) << 32) | low;
}

// Fills the record from the find data (both calls, both character widths).
void FillFromFindData(FileEntry& e, const FindData& fd) {
  e.name = TrimAtNul(fd.file_name);
  e.attributes = fd.attributes;
  e.is_folder = (fd.attributes & kAttributeDirectory) != 0;
  e.size = e.is_folder ? 0 : Join(fd.size_high, fd.size_low);
}

// A search path that begins with "ftp://", in any case: not a file-system path, never searched.
bool IsFtpPath(const std::string& search_path) {
  static constexpr std::string_view kFtp = "ftp://";
  if (search_path.size() < kFtp.size()) return false;
  for (size_t i = 0; i < kFtp.size(); ++i) {
    char c = search_path[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kFtp[i]) return false;
  }
  return true;
}

// The failed step's code into the record: 18 is the normal end, anything else an error.
void NoteFailure(FileEntry& e) {
  RecordLastError("", "");
  e.found = false;
  const int32_t code = State().last_error;
  e.error = code != static_cast<int32_t>(kErrorNoMoreFiles);
  e.error_code = e.error ? code : 0;
}

}  // namespace

Kernel& CurrentKernel() {
  ModuleState& g = State();
  return g.kernel ? *g.kernel : SystemKernel();
}

void ResetFileQueries(Kernel* kernel) {
  State() = ModuleState{};
  State().kernel = kernel;
}

void InitFileQueries() {
  ModuleState& g = State();
  g.initialised = true;  // before the detection, so that it runs once even if it fails
  Kernel& k = CurrentKernel();
  const KernelExports exports = k.LoadKernel32();
  if (!exports.loaded) return;
  std::optional<uint32_t> platform;
  if (exports.get_version_ex_w) platform = k.GetVersionExW();
  if (!platform && exports.get_version_ex_a) platform = k.GetVersionExA();
  bool nt = false;
  if (platform) {
    nt = *platform == kPlatformWin32Nt;
  } else {
    nt = (k.GetVersion() & 0x8000'0000u) == 0;  // GetVersion: the high bit is set outside the NT family
  }
  k.FreeKernel32();
  g.use_wide_calls = nt;
}

bool UseWideCalls() {
  EnsureInitialised();
  return State().use_wide_calls;
}

int32_t LastError() {
  return State().last_error;
}
void SetLastErrorCode(int32_t code) {
  State().last_error = code;
}

uint32_t PathAttributes(const std::string& path) {
  EnsureInitialised();
  const uint32_t attributes = CurrentKernel().GetFileAttributes(Width(), path);
  if (attributes == kInvalidAttributes) {
    RecordLastError("", "");
  } else {
    State().last_error = 0;
  }
  return attributes;
}

uint32_t FindFirstEntry(const std::string& search_path, FileEntry& entry) {
  EnsureInitialised();
  if (IsFtpPath(search_path)) {
    entry.found = false;
    entry.error = false;
    entry.error_code = 0;
    return 0;
  }
  FindData fd;
  const uint32_t handle = CurrentKernel().FindFirstFile(Width(), search_path, &fd);
  if (handle != kInvalidHandle) {
    FillFromFindData(entry, fd);
    State().last_error = 0;
    entry.found = true;
    entry.error = false;
    entry.error_code = 0;
  } else {
    NoteFailure(entry);
  }
  entry.handle = handle;
  return handle;
}

bool FindNextEntry(FileEntry& entry) {
  EnsureInitialised();
  FindData fd;
  if (CurrentKernel().FindNextFile(Width(), entry.handle, &fd)) {
    FillFromFindData(entry, fd);
    State().last_error = 0;
    entry.found = true;
    return true;
  }
  NoteFailure(entry);
  CloseFind(entry);
  entry.handle = 0;
  return false;
}

bool CloseFind(FileEntry& entry) {
  bool closed = true;
  if (entry.handle != 0 && entry.handle != kInvalidHandle) closed = CurrentKernel().FindClose(entry.handle);
  if (closed) {
    State().last_error = 0;
  } else {
    RecordLastError("", "");
  }
  entry.found = false;
  entry.handle = kInvalidHandle;
  return closed;
}

std::optional<FileId> PathIdentity(const std::string& path) {
  EnsureInitialised();
  return CurrentKernel().GetFileId(Width(), path);
}

std::string RecordLastError(const std::string& context1, const std::string& context2) {
  const auto code = static_cast<int32_t>(CurrentKernel().GetLastError());
  State().last_error = code == 0 ? -1 : code;
  return context1 + " (" + SystemErrorText(State().last_error) + "): " + context2;
}

std::string SystemErrorText(int32_t code) {
  EnsureInitialised();
  Kernel& k = CurrentKernel();
  if (code == 0) {
    code = static_cast<int32_t>(k.GetLastError());
    if (code == 0) return "Error - File Possibly In Use/Locked";
  }
  const std::optional<std::string> message =
      k.FormatMessage(Width(), static_cast<uint32_t>(code), kMessageBufferChars);
  const std::string prefix = "Error " + std::to_string(code) + " - ";
  if (!message) return prefix + "unknown error.";
  std::string text;
  for (char c : *message) {
    if (c != '\0') text.push_back(c);
  }
  std::string cleaned;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      cleaned.push_back(' ');
      ++i;
    } else if (text[i] == '\n') {
      cleaned.push_back(' ');
    } else if (text[i] != '\r') {
      cleaned.push_back(text[i]);
    }
  }
  return prefix + TrimBlanks(cleaned);
}

}  // namespace velmora::fsutil
