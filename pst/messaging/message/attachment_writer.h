// The attachments of one message: one attachment PC subnode each and the attachment table (subnode 0x671)
// that lists them. The node layout is drawn in message_writer.h.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "pst/ltp/table_context.h"
#include "pst/messaging/message_content.h"

namespace velmora::pst {

extern const std::array<PropTag, 6> kAttachmentTemplateColumns;

// An embedded message written as a node's trees, and its PidTagMessageSize.
struct EmbeddedWritten {
  Bid data = 0;
  Bid sub = 0;
  uint32_t size = 0;
};
using EmbeddedWriter = std::function<Result<EmbeddedWritten>(const MessageContent&)>;

struct WrittenAttachments {
  std::vector<SubnodeEntry> entries;  // the attachment PCs and the 0x671 table; none without attachments
  uint64_t total_size = 0;            // sum of their PidTagAttachSize
};

// Writes the attachments in order; `embedded` writes the message of a method-5 attachment.
Result<WrittenAttachments> WriteAttachments(NodeStore& store,
                                            const std::vector<AttachmentContent>& attachments,
                                            const EmbeddedWriter& embedded);

}  // namespace velmora::pst
