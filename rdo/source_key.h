// Where an imported message came from, exactly enough for a resumed run to tell the files of a mailbox apart:
// the named property kSourceKeyProperty (PS_PUBLIC_STRINGS) holds "<size> <XXH3-128 of the bytes in hex>
// <path relative to the mailbox folder, '/' between names>". Two files with the same Message-ID (a list copy
// and a direct copy, a draft and its sent copy) or with the same name and size in two folders that feed one
// store folder differ in it.
#pragma once

#include <cstdint>
#include <string>

#include "pst/content/message_content.h"

namespace velmora::rdo {

inline constexpr const char* kSourceKeyProperty = "x-velmora-source-key";

// XXH3-128 of the file's bytes (libxxhash; fast enough to cost nothing beside the parse, and 128 bits make
// two different files of one path and size sharing it out of reach) in lowercase hex; empty when the file
// cannot be read.
std::string SourceDigest(const std::string& path);

// The key text of `path` below the folder `root` (the file name alone when `path` is not below it).
std::string SourceKeyText(const std::string& path, const std::string& root, uint64_t size,
                          const std::string& digest);

// The key stored in `content`, or empty (messages of older versions and of other programs have none).
std::string SourceKeyOf(const pst::MessageContent& content);

}  // namespace velmora::rdo
