// A message's node made ahead, apart from the store (on a worker thread, say), and placed into the store
// later in the order the messages are stored.
//
// PrepareMessage runs the message writer against a BlockRecorder (prepared_blocks.h): the PC, the recipient
// table and the values kept in subnodes are laid out, and every data block is encoded and its CRC taken.
// What only the store can give is left open: the BIDs, the NIDs of the subnodes (whose NIDs the message PC
// names; the recorder marks where), and the search key when the writer draws one (drawn at placement, so
// that the store's random sequence is drawn in the order of the saves). PlacePreparedMessage then writes
// the same node the writer would have written into the store at that moment, byte for byte.
//
// A message is made ahead only when every NID it takes is one that its PC names, so messages with
// attachments, or with recipient-table values large enough for subnodes, are not (Unsupported: the caller
// writes them through WriteMessage). Named properties are resolved by `names` without registering: an
// unknown name is Unsupported too.
#pragma once

#include <optional>
#include <span>

#include "pst/messaging/message/message_writer.h"
#include "pst/ndb/prepared_blocks.h"

namespace velmora::pst {

struct PreparedMessage {
  BlockRecorder blocks;
  WrittenMessage written;  // local BIDs; row_props for any contents table's columns
  bool fills_search_key = false;
  uint64_t held_bytes = 0;              // what it holds in memory
  std::optional<CryptMethod> encoding;  // of the sealed blocks
};

// `options.search_key` is not used: a drawn key is left for PlacePreparedMessage. `encoding` is the store's
// AheadEncoding(): with nullopt the blocks are left for the store to encode.
Result<PreparedMessage> PrepareMessage(const MessageContent& content, const NamedIdResolver& names,
                                       const MessageWriteOptions& options, TableScratch* scratch,
                                       std::optional<CryptMethod> encoding);

// Whether `store` takes the prepared blocks as they are (they were encoded the way it encodes).
bool PreparedFits(const NodeStore& store, const PreparedMessage& prepared);

// Writes the prepared node's blocks and trees into `store` (the references of WrittenMessage::data and sub
// are the caller's, as from WriteMessage), drawing the search key as the writer would (options.search_key,
// or the random source). PreparedFits(store, prepared) must hold.
// `row_columns`, when given, are the columns of the contents table the row goes to: row_props then holds only
// what they take.
Result<WrittenMessage> PlacePreparedMessage(NodeStore& store, const PreparedMessage& prepared,
                                            const MessageWriteOptions& options = {},
                                            std::span<const PropTag> row_columns = {});

}  // namespace velmora::pst
