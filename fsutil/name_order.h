// How NTFS orders the names of one folder, for the folder listings of the file queries.
//
// NTFS keeps a folder's index sorted by the upper-cased UTF-16 code units of each name (its $UpCase table),
// and a directory search delivers the names in that order. The table holds the simple upper-case mappings of
// the Basic Multilingual Plane, which GLib's g_unichar_toupper gives; characters beyond that plane, stored as
// two surrogates, are not upper-cased.
#pragma once

#include <string>
#include <string_view>

namespace velmora::fsutil {

// The simple upper-case form of one code point, or the code point itself.
char32_t UpcaseCodePoint(char32_t c);

// The sort key of a name: its upper-cased UTF-16 code units (bytes that are not UTF-8 as U+DC80..U+DCFF).
std::u16string NameKey(std::string_view name);

// Case-insensitive ordinal order; names whose keys are equal (possible on POSIX, never within one NTFS
// folder) fall back to their bytes so that the order is total.
bool NameLess(std::string_view a, std::string_view b);

// Whether `name` matches the file pattern of a scan: "*" and "*.*" match every name, "*" followed by a
// suffix (such as "*.eml") the names that end in it, any other pattern the one name it spells; all without
// regard to case. Only the pattern holds wildcards: "?" and "*" in a name are characters like any other.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace velmora::fsutil
