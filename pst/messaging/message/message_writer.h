// Writes a whole message (its PC, recipient table, attachments and embedded messages) as the data and subnode
// trees of one node. The caller puts the node into the NBT with the message NID and the parent folder, and
// adds the folder's contents-table row (contents_row.h) from WrittenMessage::row_props.
//
// Node layout ([MS-PST] 2.4.5, 2.4.6), as Outlook writes it:
//
//   message node          data = message PC (HN client signature 0xBC)      sub = subnode tree:
//     0x692               recipient TC, on every message, even without recipients (recipient_table.h)
//     0x671               attachment TC, only when the message has attachments; row id = attachment NID;
//                         columns: the template's (size, file name, method, rendering position) and the
//                         others Outlook 2010 writes (attachment_writer.h), copied from the attachment PCs
//     type 0x05 (each)    attachment PC                                       sub = its own subnode tree:
//                           type 0x1F   values of more than 3,580 bytes (the attachment data, streamed)
//                           type 0x04   method 5 only: the embedded message, laid out like this node
//     type 0x1F (each)    message PC values of more than 3,580 bytes (bodies, headers)
//
//   An embedded message is PidTagAttachDataObject (0x3701, PtypObject) on its attachment PC; the value is a
//   heap item of 8 bytes: subnode NID (4) | the embedded message's PidTagMessageSize (4), little-endian.
//
// What the writer computes itself and never takes from the caller: PidTagMessageSize and PidTagAttachSize
// (message_size.h), the MSGFLAG_HASATTACH bit of PidTagMessageFlags (set exactly when attachments are
// written), row ids and versions. What it fills in only when the caller gave none: PidTagMessageClass
// "IPM.Note", PidTagMessageFlags (options.default_flags), PidTagMessageStatus 0, creation and
// last-modification time (now), PidTagSearchKey (16 random bytes), PidTagDisplayTo / Cc / Bcc (from the
// recipients), PidTagAttachMethod (1, or 5 with an embedded message), PidTagRenderingPosition 0xFFFFFFFF, and
// the recipient defaults.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "pst/content/message_content.h"
#include "pst/ltp/table_context.h"

namespace velmora::pst {

// The store's name-to-ID map: the property ID (0x8000 and up) of a named property, created when new.
using NamedIdResolver = std::function<Result<uint16_t>(const NamedProperty&)>;

struct MessageWriteOptions {
  // PidTagMessageFlags when the content has none. MSGFLAG_HASATTACH is computed either way.
  uint32_t default_flags = 0x01;  // MSGFLAG_READ: imported mail is mail the user has seen
  // FILETIME for creation and last-modification time when the content has none; 0 = the system clock.
  uint64_t now_filetime = 0;
  // Embedded messages nest at most this deep (the top message is depth 0); deeper is an error.
  int max_embedding_depth = 16;
  // Fill in the recipient values Outlook always writes (recipient_table.h) when a row lacks them.
  bool fill_recipient_defaults = true;
  // Source of PidTagSearchKey; empty = a random generator seeded from the system.
  std::function<std::array<uint8_t, 16>()> search_key;
};

struct WrittenMessage {
  Bid data = 0;  // the message PC; one reference, the caller's (PutNode takes it over)
  Bid sub = 0;   // the subnode tree; one reference, the caller's
  // The final PC values a contents-table row may copy: every template column the PC holds (streams loaded)
  // and every other value that is in memory and at most 4 KB.
  PropertyMap row_props;
  int32_t size = 0;    // PidTagMessageSize as written
  uint32_t flags = 0;  // PidTagMessageFlags as written
  bool has_attachments = false;
  bool read = false;
};

// `scratch`, when given, is kept by the caller from message to message (TableScratch). `row_columns`, when
// given, are the columns of the contents table the row goes to: row_props then holds only what they take.
Result<WrittenMessage> WriteMessage(NodeStore& store, const MessageContent& content,
                                    const NamedIdResolver& names, const MessageWriteOptions& options = {},
                                    TableScratch* scratch = nullptr,
                                    std::span<const PropTag> row_columns = {});

// Gives back the references of a written message that will not be stored after all.
Status ReleaseWrittenMessage(NodeStore& store, const WrittenMessage& message);

}  // namespace velmora::pst
