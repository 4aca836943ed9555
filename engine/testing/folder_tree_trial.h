// Generated export trees for tests and fuzzing: a mailbox folder tree with a few tiny messages per folder,
// with or without the names the folder rules treat specially (Inbox, Sent, Calendar, ... at any depth), is
// written to disk, converted by the whole engine (Conversion, one mailbox of a list), and the store's folders
// and message counts, read back from the file, are compared with what the rules give for the source.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace velmora::engine::testing {

struct ExportTree {
  // Folder paths relative to the mailbox folder (names joined by "/"), parents before children, and the
  // number of messages in each; "" is the mailbox folder itself.
  std::vector<std::pair<std::string, int>> folders;
};

// A random tree of up to `max_folders` folders, up to 5 levels deep; `special_names` mixes the rules' names
// into the ordinary ones.
ExportTree RandomTree(std::mt19937& rng, bool special_names, int max_folders = 12);
// A tree spelled by arbitrary bytes (the fuzz target's input): each pair of bytes picks a parent among the
// folders so far and a name.
ExportTree TreeFromBytes(std::span<const uint8_t> bytes);

// The store's folders (below its top folder, names joined by "/"; "" is the top folder) and their message
// counts that the rules give for `tree`.
std::map<std::string, int> ExpectedStore(const ExportTree& tree);

// Writes `tree` below `work` (which it empties first), converts it and compares. "" when the store is what
// ExpectedStore says and the report names no failure; otherwise what differs.
std::string ConvertAndCompare(const ExportTree& tree, const std::string& work);

}  // namespace velmora::engine::testing
