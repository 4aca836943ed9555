#include "mime/spill_store.h"

#include <cstring>
#include <memory>

#include "fsutil/file_io.h"
#include "mime/base64_filter.h"
#include "mime/byte_sources.h"
#include "mime/gobject_ptr.h"
#include "mime/uuencode.h"

namespace velmora::mime {
namespace {
// Read granularity for decoding: large enough to amortise the filter chain, small enough to be noise.
constexpr size_t kChunk = 64 * 1024;
}  // namespace

SpillStore::SpillStore(std::string temp_dir, uint64_t memory_limit)
    : temp_dir_(std::move(temp_dir)), memory_limit_(memory_limit) {}

pst::Result<std::shared_ptr<FileSource>> CreateUnlinkedTempFile(const std::string& temp_dir) {
  int fd = -1;
  if (const int err = fsutil::OpenUnlinkedTempFile(temp_dir, &fd); err != 0)
    return pst::Status::IoError("cannot create a temporary file in " + fsutil::TempFolder(temp_dir) + ": " +
                                fsutil::ErrorText(err));
  return std::make_shared<FileSource>(fd, 0);
}

pst::Status SpillStore::EnsureFile() {
  if (file_) return pst::Status::Ok();
  PST_ASSIGN_OR_RETURN(file_, CreateUnlinkedTempFile(temp_dir_));
  file_size_ = 0;
  return pst::Status::Ok();
}

pst::Status SpillStore::AppendToFile(const uint8_t* data, size_t n) {
  if (const int err = fsutil::WriteAt(file_->fd(), data, n, file_size_); err != 0)
    return pst::Status::IoError(std::string("cannot write the temporary file: ") + fsutil::ErrorText(err));
  file_size_ += n;
  file_->Grow(file_size_);
  return pst::Status::Ok();
}

pst::Result<std::shared_ptr<const pst::ByteSource>> SpillStore::Store(GMimeStream* decoded) {
  std::vector<uint8_t> memory;
  bool spilled = false;
  uint64_t start = 0;
  // Not zeroed: every read fills what it returns.
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk]);
  while (true) {
    ssize_t n = g_mime_stream_read(decoded, reinterpret_cast<char*>(chunk.get()), kChunk);
    if (n <= 0) break;  // end, or an unreadable rest: keep what was read
    auto un = static_cast<size_t>(n);
    if (!spilled && (memory.size() + un > memory_limit_ || held_ + memory.size() + un > MemoryBudget())) {
      PST_RETURN_IF_ERROR(EnsureFile());
      start = file_size_;
      PST_RETURN_IF_ERROR(AppendToFile(memory.data(), memory.size()));
      std::vector<uint8_t>().swap(memory);
      spilled = true;
    }
    if (spilled) {
      PST_RETURN_IF_ERROR(AppendToFile(chunk.get(), un));
    } else {
      memory.insert(memory.end(), chunk.get(), chunk.get() + un);
    }
  }
  if (!spilled) {
    held_ += memory.size();
    return std::shared_ptr<const pst::ByteSource>(std::make_shared<MemorySource>(std::move(memory)));
  }
  return std::shared_ptr<const pst::ByteSource>(
      std::make_shared<SliceSource>(file_, start, file_size_ - start));
}

GMimeStream* OpenDecodedStream(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return nullptr;
  GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
  if (!raw) return nullptr;
  g_mime_stream_reset(raw);
  GMimeContentEncoding enc = g_mime_data_wrapper_get_encoding(content);
  if (enc == GMIME_CONTENT_ENCODING_UUENCODE) {
    // Decoded here rather than by GMime, which misreads lines whose trailing blanks were stripped. Larger
    // contents (rare for this legacy encoding) keep GMime's decoder so that memory stays bounded.
    constexpr gint64 kMaxInMemory = 16 << 20;
    gint64 length = g_mime_stream_length(raw);
    if (length >= 0 && length <= kMaxInMemory) {
      std::string encoded(static_cast<size_t>(length), '\0');
      ssize_t got = encoded.empty() ? 0 : g_mime_stream_read(raw, encoded.data(), encoded.size());
      encoded.resize(got > 0 ? static_cast<size_t>(got) : 0);
      g_mime_stream_reset(raw);
      std::string decoded = DecodeUuencoded(encoded);
      GByteArray* bytes = g_byte_array_new();
      g_byte_array_append(bytes, reinterpret_cast<const guint8*>(decoded.data()),
                          static_cast<guint>(decoded.size()));
      return g_mime_stream_mem_new_with_byte_array(bytes);  // the stream owns the array
    }
  }
  if (enc != GMIME_CONTENT_ENCODING_BASE64 && enc != GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE &&
      enc != GMIME_CONTENT_ENCODING_UUENCODE) {
    // Nothing to decode: the content stream itself (a filter stream without filters would only copy).
    // GMime ends a part before the LF of the CRLF that precedes the next boundary; that CR belongs to the
    // delimiter (RFC 2046 5.1.1), not to the content. Decoders skip it; unencoded content must drop it.
    gint64 length = g_mime_stream_length(raw);
    char last = 0;
    GMimeStream* content_stream = nullptr;
    if (length > 0 && g_mime_stream_seek(raw, raw->bound_start + length - 1, GMIME_STREAM_SEEK_SET) >= 0 &&
        g_mime_stream_read(raw, &last, 1) == 1 && last == '\r') {
      content_stream = g_mime_stream_substream(raw, raw->bound_start, raw->bound_start + length - 1);
    }
    g_mime_stream_reset(raw);
    return content_stream ? content_stream : GMIME_STREAM(g_object_ref(raw));
  }
  GMimeStream* filtered = g_mime_stream_filter_new(raw);
  // Base64, the bulk of attachment bytes, through our faster decoder with GMime's rules.
  GMimeFilter* decoder =
      enc == GMIME_CONTENT_ENCODING_BASE64 ? NewBase64DecodeFilter() : g_mime_filter_basic_new(enc, FALSE);
  g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered), decoder);
  g_object_unref(decoder);
  return filtered;
}

pst::Result<std::shared_ptr<const pst::ByteSource>> SpillStore::StorePartContent(GMimePart* part) {
  GObjectPtr<GMimeStream> stream(OpenDecodedStream(part));
  if (!stream)
    return std::shared_ptr<const pst::ByteSource>(std::make_shared<MemorySource>(std::vector<uint8_t>{}));
  return Store(stream.get());
}

pst::Result<std::shared_ptr<const pst::ByteSource>> SpillStore::StoreObject(GMimeObject* object) {
  PST_RETURN_IF_ERROR(EnsureFile());
  uint64_t start = file_size_;
  // GMime writes through its own descriptor. A duplicate shares the file offset with ours, so the offset is
  // set before GMime takes it: the stream then starts exactly at the end of what is stored.
  int fd = -1;
  if (const int err = fsutil::DuplicateAt(file_->fd(), start, &fd); err != 0)
    return pst::Status::IoError(std::string("cannot write the temporary file: ") + fsutil::ErrorText(err));
  GObjectPtr<GMimeStream> out(g_mime_stream_fs_new(fd));
  ssize_t n = g_mime_object_write_to_stream(object, nullptr, out.get());
  if (n < 0 || g_mime_stream_flush(out.get()) != 0)
    return pst::Status::IoError("cannot write the temporary file");
  // The count GMime returns can exceed what it wrote (seen with nested messages); the file's size is the
  // truth.
  fsutil::FileFacts facts;
  if (const int err = fsutil::FactsOfFile(file_->fd(), &facts); err != 0 || facts.size < start) {
    return pst::Status::IoError(std::string("cannot read back the temporary file: ") +
                                (err != 0 ? fsutil::ErrorText(err) : "it shrank"));
  }
  file_size_ = facts.size;
  file_->Grow(file_size_);
  return std::shared_ptr<const pst::ByteSource>(
      std::make_shared<SliceSource>(file_, start, file_size_ - start));
}

std::string ReadPartContent(GMimePart* part, size_t limit, bool* truncated) {
  std::string out;
  if (truncated) *truncated = false;
  GObjectPtr<GMimeStream> stream(OpenDecodedStream(part));
  if (!stream) return out;
  char buf[kChunk];
  while (true) {
    ssize_t n = g_mime_stream_read(stream.get(), buf, sizeof buf);
    if (n <= 0) break;
    size_t take = std::min(static_cast<size_t>(n), limit - out.size());
    out.append(buf, take);
    if (out.size() >= limit) {
      if (truncated)
        *truncated = take < static_cast<size_t>(n) || g_mime_stream_read(stream.get(), buf, 1) > 0;
      break;
    }
  }
  return out;
}

}  // namespace velmora::mime
