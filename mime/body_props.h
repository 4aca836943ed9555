// Body properties from the chosen body leaves ([MS-OXCMAIL] 2.2.3.3.2.1): PidTagHtml as the HTML bytes in
// their own charset, PidTagBody as Unicode text (derived from the HTML when the mail has no plain text),
// and the code pages of the body.
#pragma once

#include "mime/attachment_builder.h"
#include "mime/body_choice.h"
#include "mime/spill_store.h"
#include "pst/content/message_content.h"

namespace velmora::mime {

// Sets the body properties; returns what the HTML shows inline, for the attachments.
pst::Result<InlineContext> SetBodyProperties(const BodyChoice& choice, size_t max_body_bytes,
                                             SpillStore& spill, pst::PropertyMap& props);

// Text of an HTML part's charset: its charset parameter, else a <meta> charset in the first bytes, else "".
std::string HtmlCharset(GMimePart* html, const std::string& head);

// Plain text of text/enriched (RFC 1896): formatting commands removed, "<<" read as "<".
std::string EnrichedToText(const std::string& enriched);

// Line ends made CRLF (bare LF and bare CR both become CRLF).
std::string ToCrlf(const std::string& text);

}  // namespace velmora::mime
