// What velmora-pst does, apart from its argument handling: list a store's folder tree, check a file as far as
// our reader knows the format, and print messages. Output goes to the given streams so tests can read it.
#pragma once

#include <ostream>
#include <string>

namespace velmora::cli {

// Exit codes: 0 sound / done, 1 problems found, 2 the file cannot be opened or read at all.
// The file is read under a shared lock: while a conversion writes it, each waits for the writer to finish
// with `wait`, else ends with status 2 saying the file is being written.
int ListFolders(const std::string& path, std::ostream& out, std::ostream& err, bool wait = false);
int CheckStore(const std::string& path, std::ostream& out, std::ostream& err, bool wait = false);
// Messages of every folder, or of the folders whose path (names below the top folder joined with "/") equals
// `folder` or starts with `folder` + "/".
int DumpMessages(const std::string& path, const std::string& folder, std::ostream& out, std::ostream& err,
                 bool wait = false);

}  // namespace velmora::cli
