// The Win32 implementation of file_io.h and file_names.h: wide paths, positioned ReadFile/WriteFile with
// OVERLAPPED offsets on descriptors that wrap CreateFileW handles.
#include <windows.h>
// bcrypt.h needs the types windows.h declares.
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "fsutil/file_io.h"
#include "fsutil/file_names.h"
#include "fsutil/win32_support.h"

namespace velmora::fsutil {
namespace {

// Share modes that let files behave as POSIX files do: others may read, write, rename and delete them
// while they are open (publishing renames a store this process still holds open).
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile take a DWORD count; larger transfers go in pieces of 1 GiB.
constexpr size_t kMaxTransfer = size_t{1} << 30;
// The byte LockFileEx locks: far past any file's data, so that a lock never keeps others from reading.
constexpr uint64_t kLockOffset = 0x7FFF'FFFF'FFFF'FFFEULL;

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

// A descriptor over `handle`, which it then owns; the handle is closed when that fails.
int AdoptHandle(HANDLE handle, bool read_only, int* fd) {
  *fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | (read_only ? _O_RDONLY : _O_RDWR));
  if (*fd >= 0) return 0;
  CloseHandle(handle);
  return EMFILE;
}

int LockHandle(HANDLE handle, LockKind kind, bool wait) {
  OVERLAPPED ov = At(kLockOffset);
  const DWORD flags =
      (kind == LockKind::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  return LockFileEx(handle, flags, 0, 1, 0, &ov) ? 0 : LastErrno();
}

// FILETIME counts 100 ns since 1601-01-01; the Unix epoch is 11,644,473,600 s later.
constexpr int64_t kUnixEpochAsFiletime = 116444736000000000LL;

int64_t NanosecondsOf(int64_t filetime) {
  return (filetime - kUnixEpochAsFiletime) * 100;
}

int FactsOfHandle(HANDLE handle, FileFacts* out) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return LastErrno();
  const bool reparse = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  out->folder = !reparse && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out->regular = !reparse && !out->folder && GetFileType(handle) == FILE_TYPE_DISK;
  out->size = out->folder ? 0 : (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  out->links = info.nNumberOfLinks;
  out->id = FileId{info.dwVolumeSerialNumber,
                   (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  const int64_t written =
      (static_cast<int64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  out->modified = written > kUnixEpochAsFiletime ? static_cast<uint64_t>(written) : 0;
  out->modified_ns = NanosecondsOf(written);
  FILE_BASIC_INFO basic{};
  const bool has_basic = GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic);
  out->changed_ns = NanosecondsOf(has_basic ? basic.ChangeTime.QuadPart : written);
  return 0;
}

}  // namespace

int OpenFile(const std::string& path, OpenFor how, int* fd) {
  *fd = -1;
  const bool read_only = how == OpenFor::kReading;
  DWORD disposition = OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (how == OpenFor::kCreateNew) disposition = CREATE_NEW;
  if (how == OpenFor::kCreateOrOpen) disposition = OPEN_ALWAYS;
  if (how == OpenFor::kCreateNew || how == OpenFor::kCreateOrOpen) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  const HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ | (read_only ? 0 : GENERIC_WRITE),
                                    kShareAll, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastErrno();
  return AdoptHandle(handle, read_only, fd);
}

void CloseFile(int fd) {
  _close(fd);
}

int ReadAt(int fd, void* out, size_t size, uint64_t offset) {
  auto* p = static_cast<char*>(out);
  for (size_t done = 0; done < size;) {
    OVERLAPPED ov = At(offset + done);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(size - done, kMaxTransfer));
    if (!ReadFile(HandleOf(fd), p + done, want, &got, &ov)) {
      const DWORD code = GetLastError();
      return code == ERROR_HANDLE_EOF ? kEndOfFile : ErrnoFromWin32(code);
    }
    if (got == 0) return kEndOfFile;
    done += got;
  }
  return 0;
}

int WriteAt(int fd, const void* data, size_t size, uint64_t offset) {
  const auto* p = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    OVERLAPPED ov = At(offset + done);
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(size - done, kMaxTransfer));
    if (!WriteFile(HandleOf(fd), p + done, want, &put, &ov)) return LastErrno();
    if (put == 0) return ENOSPC;
    done += put;
  }
  return 0;
}

int SyncFile(int fd) {
  return FlushFileBuffers(HandleOf(fd)) ? 0 : LastErrno();
}

int SetFileSize(int fd, uint64_t size) {
  if (size > static_cast<uint64_t>(INT64_MAX)) return EFBIG;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(size);
  const HANDLE handle = HandleOf(fd);
  if (!SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) return LastErrno();
  return 0;
}

int FactsOfFile(int fd, FileFacts* out) {
  return FactsOfHandle(HandleOf(fd), out);
}

int FactsOfPath(const std::string& path, FileFacts* out, bool follow_links) {
  // FILE_FLAG_BACKUP_SEMANTICS opens folders too; no access is asked for, only the file's facts.
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle =
      CreateFileW(WidePath(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastErrno();
  const int err = FactsOfHandle(handle, out);
  CloseHandle(handle);
  return err;
}

int LockFile(int fd, LockKind kind, bool wait) {
  return LockHandle(HandleOf(fd), kind, wait);
}

int DuplicateAt(int fd, uint64_t offset, int* out) {
  *out = _dup(fd);
  if (*out < 0) return errno;
  if (_lseeki64(*out, static_cast<__int64>(offset), SEEK_SET) < 0) {
    const int err = errno;
    _close(*out);
    return err;
  }
  return 0;
}

std::string TempFolder(const std::string& folder) {
  if (!folder.empty()) return folder;
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return ".";
  std::string path = NarrowName(buffer);
  if (path.size() > 3 && path.back() == '\\') path.pop_back();  // "C:\" keeps its separator
  return path;
}

int OpenUnlinkedTempFile(const std::string& folder, int* fd) {
  *fd = -1;
  const std::string base = TempFolder(folder);
  int err = EEXIST;
  for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
    const std::string path = base + "\\velmora-" + RandomHexName(16) + ".tmp";
    const HANDLE handle =
        CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return AdoptHandle(handle, false, fd);
    err = LastErrno();
  }
  return err;
}

std::string ErrorText(int err) {
  return std::strerror(err);
}

int RemoveName(const std::string& path) {
  return DeleteFileW(WidePath(path).c_str()) ? 0 : LastErrno();
}

int PublishName(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists: nothing is ever overwritten.
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
  return LastErrno();
}

void RemoveUnlockedFiles(const std::string& folder, const std::function<bool(const std::string&)>& wanted) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(WidePath(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    const std::string name = NarrowName(found.cFileName);
    if (!wanted(name)) continue;
    const std::wstring path = WidePath(folder + "\\" + name);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    if (LockHandle(file, LockKind::kExclusive, false) == 0) DeleteFileW(path.c_str());
    CloseHandle(file);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void SystemRandomBytes(std::span<uint8_t> out) {
  if (out.empty()) return;
  if (BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >=
      0)
    return;
  // No random source: the process, the time and a counter still make bytes no other run has.
  static uint64_t counter = 0;
  LARGE_INTEGER ticks;
  QueryPerformanceCounter(&ticks);
  uint64_t mix = (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^
                 static_cast<uint64_t>(ticks.QuadPart) ^ (GetTickCount64() << 20) ^ ++counter;
  for (uint8_t& b : out) b = static_cast<uint8_t>(mix >>= 8) ^ b;
}

}  // namespace velmora::fsutil
