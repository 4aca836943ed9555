// Small text rules the engine applies to paths and names.
#pragma once

#include <string>

namespace velmora::engine {

// `s` with every occurrence of `from` replaced by `to` (exact, case-sensitive; left to right, no overlap).
std::string ReplaceAll(std::string s, const std::string& from, const std::string& to);

// Whether a file name ends in ".eml", in any case: the files the import takes.
bool HasEmlExtension(const std::string& name);

// `s` as the store keeps a name: bytes that are not UTF-8 become U+FFFD. A folder made from a name is later
// looked up by that name, so both go through this.
std::string AsStoredText(const std::string& s);

// The relative folder that receives the messages of a folder whose relative path holds "!": the text before
// the first "!", without blanks at either end and without a trailing "" (empty: the store's top folder).
// "\Clients!\Acme!" gives "\Clients", "\Projects\Sub!x" gives "\Projects\Sub". `path` holds a "!".
std::string BangTarget(const std::string& path);

}  // namespace velmora::engine
