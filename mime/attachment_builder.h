// One attachment object from one MIME leaf ([MS-OXCMAIL] 2.2.3.4, [MS-OXCMSG] 2.2.2): by value (method 1)
// with its names, MIME tag, content id and location, inline flags and data; or, for message/rfc822, the
// properties around an embedded message (method 5).
#pragma once

#include <gmime/gmime.h>

#include <set>
#include <string>

#include "mime/file_names.h"
#include "mime/spill_store.h"
#include "mime/uuencode.h"
#include "pst/content/message_content.h"

namespace velmora::mime {

// What the body says about the parts: which Content-IDs and locations the HTML shows.
struct InlineContext {
  std::set<std::string> cids;     // lower-case, from "cid:" URLs
  std::set<std::string> urls;     // lower-case src/background/href values, for Content-Location
  std::vector<UuFile> uuencoded;  // files taken out of the plain-text body
};

class AttachmentNamer {
 public:
  // Long file name of `object`: Content-Disposition filename, Content-Type name, Content-Description,
  // else a generated one. Always sanitised and non-empty.
  std::string LongName(GMimeObject* object, const std::string& mime_type);
  // The 8.3 name, unique on this message.
  std::string ShortName(const std::string& long_name) { return ShortFileName(long_name, short_names_); }

 private:
  ShortNames short_names_;
  int generated_ = 0;
};

// Properties common to every attachment (times, rendering position, hidden flag and MIME tag).
void SetAttachmentBasics(pst::PropertyMap& props, GMimeObject* object, const std::string& mime_type,
                         uint64_t default_time);

// A by-value attachment for `part`; its data goes through `spill`.
pst::Result<pst::AttachmentContent> ByValueAttachment(GMimePart* part, const InlineContext& inline_context,
                                                      AttachmentNamer& namer, SpillStore& spill,
                                                      uint64_t default_time);

// A by-value attachment holding bytes that are already stored (an S/MIME blob, an .eml kept whole).
pst::AttachmentContent BlobAttachment(std::shared_ptr<const pst::ByteSource> data,
                                      const std::string& long_name, const std::string& mime_type,
                                      AttachmentNamer& namer, uint64_t default_time);

// Decoded Content-Description of an entity, "" when absent.
std::string ContentDescription(GMimeObject* object);

}  // namespace velmora::mime
