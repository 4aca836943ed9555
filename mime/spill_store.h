// Where decoded part contents go. Small contents stay in memory; a content that grows past the memory limit
// moves to one unlinked temporary file shared by the whole import, so a 500 MB attachment costs disk, not
// RAM, and a message with thousands of large parts still holds a single descriptor. The contents kept in
// memory together stay within a budget too (10,000 attachments of 3 MB each would otherwise all be held):
// past it every further content goes to the file, whatever its size. The file disappears
// when the last value that reads from it is released.
#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <vector>

#include "pst/ltp/property.h"

namespace velmora::mime {

class FileSource;

class SpillStore {
 public:
  // `temp_dir` "" means $TMPDIR or /tmp. Values up to `memory_limit` bytes stay in memory.
  SpillStore(std::string temp_dir, uint64_t memory_limit);

  // Reads `decoded` to its end and keeps the bytes. Never holds more than `memory_limit` bytes in memory.
  pst::Result<std::shared_ptr<const pst::ByteSource>> Store(GMimeStream* decoded);

  // The contents of a MIME leaf after undoing its Content-Transfer-Encoding.
  pst::Result<std::shared_ptr<const pst::ByteSource>> StorePartContent(GMimePart* part);

  // Everything a GMime object writes when serialised (used for parts kept whole, such as a nested
  // multipart/signed or an embedded message too deep to expand).
  pst::Result<std::shared_ptr<const pst::ByteSource>> StoreObject(GMimeObject* object);

 private:
  pst::Status EnsureFile();
  pst::Status AppendToFile(const uint8_t* data, size_t n);

  // Bytes the contents kept in memory may take together: a few times one content's limit.
  uint64_t MemoryBudget() const { return 4 * memory_limit_; }

  std::string temp_dir_;
  uint64_t memory_limit_;
  uint64_t held_ = 0;                 // bytes of the contents kept in memory so far
  std::shared_ptr<FileSource> file_;  // created on first spill
  uint64_t file_size_ = 0;
};

// A new temporary file in `temp_dir` ("" = $TMPDIR or /tmp), already unlinked: it disappears with the last
// owner of the descriptor. Its size starts at 0 (FileSource::Grow follows what is written).
pst::Result<std::shared_ptr<FileSource>> CreateUnlinkedTempFile(const std::string& temp_dir);

// Opens a stream that yields the decoded content of `part` (transfer encoding undone). Null for a part
// without content.
GMimeStream* OpenDecodedStream(GMimePart* part);

// Reads at most `limit` bytes of the decoded content of `part`; *truncated says whether more was there.
std::string ReadPartContent(GMimePart* part, size_t limit, bool* truncated = nullptr);

}  // namespace velmora::mime
