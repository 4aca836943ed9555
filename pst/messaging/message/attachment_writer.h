// The attachments of one message: one attachment PC subnode each and the attachment table (subnode 0x671)
// that lists them. The node layout is drawn in message_writer.h.
//
// An embedded message (PidTagAttachMethod 5) is PidTagAttachDataObject, 0x3701 of type PtypObject, on the
// attachment PC; its value is an 8-byte heap item ([MS-PST] 2.4.6, as Outlook writes it):
//   offset  size  field
//   0       4     NID of the subnode, in the attachment's own subnode tree, holding the message (type 0x04)
//   4       4     that message's PidTagMessageSize
#pragma once

#include <array>
#include <functional>
#include <span>
#include <vector>

#include "pst/content/message_content.h"
#include "pst/ltp/table_context.h"

namespace velmora::pst {

// Every attachment table has the columns of templates::AttachmentTableColumns().

// The row of an attachment table with `columns` for the attachment PC `props` stored as subnode `nid`: every
// column whose property the PC holds with the same type and in memory.
TableRow MakeAttachmentRow(Nid nid, const PropertyMap& props, std::span<const PropTag> columns);

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
