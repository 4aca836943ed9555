// An Internet mail file (.eml, RFC 5322 + MIME) to the whole content of an Outlook message: envelope
// properties, recipients, bodies and attachments, mapped as [MS-OXCMAIL] reads mail ("MIME readers").
//
//   Result<MessageContent> m = ImportEml("/mail/x.eml", {});
//
// A file that cannot be read is an error (kIoError, "the file cannot be read: ..."). A malformed file is not:
// it is converted as far as its content makes sense, never with a crash or unbounded work. Attachment data is
// not loaded whole: each attachment's PidTagAttachDataBinary is a ByteSource, kept in memory when small and
// in an unlinked temporary file when large.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "pst/content/message_content.h"

namespace velmora::mime {

struct ImportOptions {
  std::string temp_dir;               // for large decoded contents; "" = $TMPDIR or /tmp
  uint64_t memory_limit = 4u << 20;   // a decoded content larger than this goes to the temporary file
  size_t max_body_bytes = 32u << 20;  // text read for PidTagBody; longer bodies are cut
  int max_embedded_depth = 16;        // message/rfc822 deeper than this stays a by-value .eml file
  int max_mime_depth = 64;            // multipart nesting walked
  // Per message; a message with more is refused, with an error naming the limit, rather than converted
  // without some of them. A message node's subnodes (two levels of 340 and 510 entries, 173,400 in all) hold
  // each attachment's object and the attachment table, so the file format allows far more: this bound keeps
  // one message's memory (about 7 KB an attachment while it is written) near 75 MB.
  size_t max_attachments = 10000;
  std::optional<uint64_t> fallback_time;   // FILETIME when the mail has no readable date; default: the
                                           // file's modification time (ImportEml), else the current time
  bool internet_header_properties = true;  // other headers as PS_INTERNET_HEADERS named properties
};

pst::Result<pst::MessageContent> ImportEml(const std::string& path, const ImportOptions& options = {});

// The same from bytes in memory (tests, the fuzz target).
pst::Result<pst::MessageContent> ImportEmlBytes(std::span<const uint8_t> bytes,
                                                const ImportOptions& options = {});

}  // namespace velmora::mime
