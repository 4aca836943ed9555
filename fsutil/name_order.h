// How NTFS orders and matches the names of one folder, for the directory search of the platform shim.
//
// NTFS keeps a folder's index sorted by the upper-cased UTF-16 code units of each name (its $UpCase table),
// and FindFirstFile/FindNextFile deliver the names in that order. Wildcard patterns match names without
// regard to case. We upper-case with the simple mappings of the scripts that mail folder names use (Latin,
// Greek, Cyrillic, Armenian, full-width Latin); other characters compare as they are.
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

// Whether `name` matches `pattern`: "*" and "*.*" match every name, including names without a dot; otherwise
// "?" matches exactly one character, "*" any run of characters, and everything else one character without
// regard to case.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// Whether `pattern` holds a wildcard character.
bool HasWildcard(std::string_view pattern);

}  // namespace velmora::fsutil
