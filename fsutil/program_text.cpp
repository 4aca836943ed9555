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
