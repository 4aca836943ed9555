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

#include "pst/ltp/table_context.h"
#include "pst/messaging/message_content.h"

namespace velmora::pst {

// The columns of the attachment table template ([MS-PST] 2.4.5.3): size, file name, method, rendering
// position, row id and version.
extern const std::array<PropTag, 6> kAttachmentTemplateColumns;

// The columns this writer gives every attachment table: the template's and the others Outlook 2010 writes
// into its attachment tables (observed in the Outlook-made samples), each copying the attachment PC's value:
//   370A0102 AttachTag · 370D001F AttachLongPathname · 3708001F AttachPathname · 3707001F AttachLongFilename
//   · 3703001F AttachExtension · 3001001F DisplayName · 370F0102 AttachAdditionalInformation · 3711001F
//   AttachContentBase · 3713001F AttachContentLocation · 3712001F AttachContentId · 370E001F AttachMimeTag ·
//   69090003 (undocumented) · 7FFD0003 AttachmentFlags · 7FFB0040 / 7FFC0040 ExceptionStartTime / EndTime ·
//   7FFA0003 AttachmentLinkId · 7FFE000B AttachmentHidden · 7FFF000B AttachmentContactPhoto · 7FF90040
//   ExceptionReplaceTime · 3719001F AttachPayloadProviderGuidString · 371A001F AttachPayloadClass · 37140003
//   AttachFlags
// A reader that lists attachments from the table (as Outlook does) finds names, MIME types and the inline
// flags there without opening every attachment.
extern const std::array<PropTag, 28> kAttachmentTableColumns;

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
