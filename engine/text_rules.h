// Small text rules the engine applies to paths and names.
#pragma once

#include <string>

namespace velmora::engine {

// `s` with every occurrence of `from` replaced by `to` (exact, case-sensitive; left to right, no overlap).
std::string ReplaceAll(std::string s, const std::string& from, const std::string& to);

// Whether a file name ends in ".eml", in any case: the files the import takes.
bool HasEmlExtension(const std::string& name);

}  // namespace velmora::engine
