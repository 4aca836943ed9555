// Which MIME entities make the body ([MS-OXCMAIL] 2.2.3.3.2): walking the tree in order, the first entity
// that qualifies gives the body; inside multipart/alternative the HTML alternative is preferred and the plain
// one, when there is one, still fills the plain-text body. Text alternatives not chosen are dropped, not
// attached.
#pragma once

#include <gmime/gmime.h>

#include <set>
#include <string>

namespace velmora::mime {

struct BodyChoice {
  GMimePart* html = nullptr;   // text/html
  GMimePart* plain = nullptr;  // text/plain, or text/enriched when `plain_is_enriched`
  bool plain_is_enriched = false;
  // Leaves that are neither attachments nor body: the body leaves and the dropped alternatives.
  std::set<GMimeObject*> consumed;
};

// `max_depth` bounds how deep the walk goes into nested multiparts.
BodyChoice ChooseBody(GMimeObject* root, int max_depth);

// Lower-case "type/subtype" of an entity ("text/plain" when GMime has none).
std::string MimeTypeOf(GMimeObject* object);

// Content-Disposition: attachment.
bool IsAttachmentDisposition(GMimeObject* object);

}  // namespace velmora::mime
