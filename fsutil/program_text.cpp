#include "fsutil/program_text.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types windows.h declares.
#include <io.h>
#include <shellapi.h>

#include "fsutil/file_io.h"
#include "fsutil/utf8.h"
#include "fsutil/win32_support.h"
#else
#include <unistd.h>
#endif

namespace velmora::fsutil {

#ifdef _WIN32

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  for (int i = 0; i < count; ++i) out.push_back(NarrowName(wide[i]));
  LocalFree(wide);
  return out;
}

void Utf8Console() {
  SetConsoleOutputCP(CP_UTF8);
}

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(WideText(utf8));
}

std::string Utf8Path(const std::filesystem::path& path) {
  return NarrowName(path.c_str());
}

std::string BundledDataFolder(const std::string& name) {
  wchar_t module[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  std::wstring folder(module, n);
  folder = folder.substr(0, folder.find_last_of(L'\\') + 1) + WideText(name);
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "";
  auto ascii = [](const std::wstring& w) {
    for (wchar_t c : w) {
      if (c >= 0x80) return false;
    }
    return true;
  };
  if (!ascii(folder)) {
    wchar_t short_name[MAX_PATH];
    DWORD m = GetShortPathNameW(folder.c_str(), short_name, MAX_PATH);
    if (m == 0 || m >= MAX_PATH || !ascii(short_name)) return "";
    folder.assign(short_name, m);
  }
  return NarrowName(folder.c_str());
}

bool FolderReadable(const std::string& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(WidePath(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // empty, but listable
  FindClose(search);
  return true;
}

bool IsTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

bool FolderWritable(const std::string& folder) {
  int fd = -1;
  if (OpenUnlinkedTempFile(folder, &fd) != 0) return false;
  CloseFile(fd);
  return true;
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void Utf8Console() {}

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(utf8);
}

std::string Utf8Path(const std::filesystem::path& path) {
  return path.string();
}

std::string BundledDataFolder(const std::string&) {
  return "";
}

bool FolderReadable(const std::string& folder) {
  return ::access(folder.c_str(), R_OK | X_OK) == 0;
}

bool FolderWritable(const std::string& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool IsTerminal(std::FILE* stream) {
  return ::isatty(::fileno(stream)) != 0;
}

#endif

}  // namespace velmora::fsutil
