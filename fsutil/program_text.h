// Text that enters and leaves the program through the platform, kept UTF-8 inside: the command line, the
// console, and std::filesystem paths (whose narrow form on Windows is the ANSI code page, not UTF-8).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace velmora::fsutil {

// The program's arguments in UTF-8, argv[0] included: argv itself on POSIX; on Windows the wide command
// line (GetCommandLineW), since argv holds them in the ANSI code page and loses what it cannot show.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 the program writes (Windows: the console's output code page); nothing
// on POSIX.
void Utf8Console();

// A std::filesystem path from a UTF-8 path, and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

// The folder of data files shipped beside the program, as a path the C library's narrow fopen() opens: on
// Windows "<the program's folder>\\<name>" (its short form when the long one is not ASCII), "" when it is
// absent or cannot be named so. Always "" on POSIX, where the system provides such data.
std::string BundledDataFolder(const std::string& name);

// Whether the program may list `folder` (POSIX: read and search permission; Windows: a search in it starts).
bool FolderReadable(const std::string& folder);

// Whether the program may make files in `folder` (POSIX: write and search permission; Windows: a temporary
// file can be made there, as permissions there are not bits).
bool FolderWritable(const std::string& folder);

// Whether `stream` is a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace velmora::fsutil
