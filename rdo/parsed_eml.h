// A message file parsed apart from the store, so that the parsing of later files can run on another thread
// while the store writes the current one. MAPIMessage::Import takes such a parse only when the file is still
// the one that was parsed (same identity, size and change times) and the options match; otherwise, and
// whenever the parse failed, it parses the file again itself, so the outcome is always what a parse at
// import time gives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pst/content/message_content.h"

namespace velmora::rdo {

// What tells whether a file changed: device and inode (a file renamed over it), size, and the modification
// and status-change times to the nanosecond (a write that keeps the size).
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

// One look at a path (one stat): whether it could be looked at, whether it is a regular file, and then its
// stamp. An import asks all three, so it looks once.
struct PathLook {
  bool looked = false;   // false when the path cannot be looked at (missing, no permission, ...)
  bool regular = false;  // a regular file: `stamp` is set
  FileStamp stamp;
};
PathLook LookAt(const std::string& path);

// The stamp of the regular file at `path`; nullopt when it cannot be looked at or is not a regular file.
std::optional<FileStamp> StampOf(const std::string& path);

struct ParsedEml {
  std::string path;
  FileStamp stamp;  // taken before the parse
  bool internet_header_properties = true;
  pst::MessageContent content;
  uint64_t held_bytes = 0;  // HeldBytes(content)
  std::string digest;       // SourceDigest of the file, taken with the parse (empty when it could not be)
};

// Parses the .eml file at `path` as Import would, without touching any store: safe on any thread. nullopt
// when the file is not a regular file, is larger than `max_file_bytes` (a parse that long is left to the
// import, so that stopping never waits for it) or cannot be parsed (the import then says why).
std::optional<ParsedEml> ParseEmlFile(const std::string& path, bool internet_header_properties,
                                      uint64_t max_file_bytes);

// The content of the .eml file at `path` as Import makes it with default options, or why it cannot be read.
pst::Result<pst::MessageContent> ReadEmlFile(const std::string& path);

// The memory `content` holds: values kept in memory and about what each property costs in its map. Values
// streamed from a file (the message file itself, a spilled attachment) hold no memory and count nothing.
uint64_t HeldBytes(const pst::MessageContent& content);

}  // namespace velmora::rdo
