// TNEF (winmail.dat, application/ms-tnef; [MS-OXTNEF]): Outlook's wrapper for the attachments and the rich
// body of a message sent through some servers. Decoded with libytnef; what it holds becomes the message's
// own attachments, and its RTF body and message class when the MIME message has no body of its own.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mime/attachment_builder.h"
#include "mime/spill_store.h"
#include "pst/content/message_content.h"

namespace velmora::mime {

struct TnefFile {
  std::string name;  // long file name as sent, "" when the TNEF gives none
  std::string mime_type;
  std::string content_id;
  std::vector<uint8_t> data;
};

struct TnefContent {
  std::vector<TnefFile> files;
  std::vector<uint8_t> rtf_compressed;  // PidTagRtfCompressed as stored, checked to decompress; may be empty
  std::string body;                     // plain text (UTF-8), may be empty
  std::string message_class;            // Outlook's class of the wrapped message, "" when none
};

// application/ms-tnef, application/vnd.ms-tnef, or a part named winmail.dat.
bool IsTnefPart(GMimeObject* object);

// The content of the TNEF part; nullopt (with a line in `notes`) when it cannot be decoded, and the part
// then stays the file it is.
std::optional<TnefContent> DecodeTnef(GMimePart* part, std::vector<std::string>& notes);

// Adds the decoded content to `out`: the files as by-value attachments (at most `max_attachments` on the
// message), the body and class when `out` has no body.
pst::Status AddTnefContent(TnefContent content, AttachmentNamer& namer, SpillStore& spill, uint64_t when,
                           size_t max_attachments, pst::MessageContent& out);

}  // namespace velmora::mime
