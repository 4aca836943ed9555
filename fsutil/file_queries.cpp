#include "fsutil/file_queries.h"

#include <optional>

#include "fsutil/file_time.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

// FormatMessage writes into a buffer of this many characters.
constexpr size_t kMessageBufferChars = 256;

struct ModuleState {
  Kernel* kernel = nullptr;
  bool initialised = false;
  bool use_wide_calls = false;
  bool wide_compressed_size = false;  // starts as use_wide_calls; off for good after error 120
  bool ansi_compressed_size = false;  // kernel32 exports GetCompressedFileSizeA
  bool ansi_short_path = false;       // kernel32 exports GetShortPathNameA
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

EntryTime ToEntryTime(FileTime t) {
  EntryTime out;
  out.raw = t.Value();
  const std::optional<SystemTime> st = FileTimeToSystemTime(t);
  const std::optional<double> date = st ? DateSerialPlusTime(*st) : std::nullopt;
  if (date) {
    out.date_time = *date;
  } else {
    out.conversion_failed = true;
  }
  return out;
}

// Fills the record from the find data (both calls, both character widths).
void FillFromFindData(FileEntry& e, const FindData& fd) {
  const ModuleState& g = State();
  e.name = TrimAtNul(fd.file_name);
  e.short_name = TrimAtNul(fd.alternate_name);
  if (e.name.empty()) e.name = NameFromFullPath(e.full_path);
  e.extension = NameExtension(e.name);
  e.full_path = e.folder + e.name;
  if (e.short_name.empty()) {
    if (g.use_wide_calls || !g.ansi_short_path) e.short_name = e.name;
  }
  e.attributes = fd.attributes;
  e.is_folder = (fd.attributes & kAttributeDirectory) != 0;
  e.is_file = !e.is_folder;
  e.created = ToEntryTime(fd.creation);
  e.last_accessed = ToEntryTime(fd.last_access);
  e.last_written = ToEntryTime(fd.last_write);
  if (e.is_folder) {
    e.size = 0;
    e.size_on_disk = 0;
  } else {
    e.size = Join(fd.size_high, fd.size_low);
    e.size_on_disk = (fd.attributes & kAttributeCompressed) != 0 ? SizeOnDisk(e) : e.size;
  }
}

// The failed step's code into the record: 18 is the normal end, anything else an error.
void NoteFailure(FileEntry& e) {
  RecordLastError("", "");
  e.found = false;
  const int32_t code = State().last_error;
  e.error = code != static_cast<int32_t>(kErrorNoMoreFiles);
  e.error_code = e.error ? code : 0;
}

uint64_t AnsiCompressedSize(const FileEntry& e, uint64_t size) {
  Kernel& k = CurrentKernel();
  if (!State().ansi_compressed_size) return size;
  uint32_t high = 0;
  const uint32_t low = k.GetCompressedFileSize(CallWidth::kAnsi, e.full_path, &high);
  if (low == 0xFFFF'FFFF && k.GetLastError() != 0) return size;
  return Join(high, low);
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
  g.ansi_compressed_size = exports.get_compressed_file_size_a;
  g.ansi_short_path = exports.get_short_path_name_a;
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
  if (nt) {
    g.use_wide_calls = true;
    g.wide_compressed_size = true;
  }
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
  entry.search_path = search_path;
  entry.path_kind = ClassifySearchPath(search_path);
  if (entry.path_kind == PathKind::Ftp) {
    entry.found = false;
    entry.error = false;
    entry.error_code = 0;
    return 0;
  }
  entry.folder = SearchFolder(search_path, entry.path_kind);
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

uint64_t SizeOnDisk(const FileEntry& entry) {
  EnsureInitialised();
  ModuleState& g = State();
  if (!g.wide_compressed_size) return AnsiCompressedSize(entry, entry.size);
  Kernel& k = CurrentKernel();
  uint32_t high = 0;
  const uint32_t low = k.GetCompressedFileSize(CallWidth::kWide, entry.full_path, &high);
  if (low == 0xFFFF'FFFF) {
    const uint32_t err = k.GetLastError();
    if (err == kErrorCallNotImplemented) {
      g.wide_compressed_size = false;
      return AnsiCompressedSize(entry, entry.size);
    }
    if (err != 0) return entry.size;
  }
  return Join(high, low);
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
