// Reads a stored message back into a MessageContent: the PC, the recipient table, every attachment (its data
// as a lazy stream when large) and embedded messages, recursively. For the dump command, the checks and the
// tests; reads Outlook's messages as well as ours. The node layout is drawn in message_writer.h.
//
// Large values come back as streams that read the store when used: the store must outlive the content.
//
// Nothing read is trusted: a missing subnode, a PtypObject value of the wrong size or pointing nowhere, or
// nesting past the depth limit is a corruption error naming the node.
#pragma once

#include <functional>
#include <optional>

#include "pst/content/message_content.h"

namespace velmora::pst {

struct MessageReadOptions {
  // Values kept in subnodes above this size come back as streams that read the store when used.
  uint64_t inline_limit = 1 << 20;
  int max_embedding_depth = 16;
  // The name-to-ID map backwards: when set, properties 0x8000 and up that it knows move to `named`.
  std::function<std::optional<NamedProperty>(uint16_t id)> named_lookup;
};

// The message stored at top-level node `nid`.
Result<MessageContent> ReadMessage(NodeStore& store, Nid nid, const MessageReadOptions& options = {});

// A message stored as the trees `data` and `sub` (a top-level node's, or an embedded message's subnode
// entry).
Result<MessageContent> ReadMessageTrees(NodeStore& store, Bid data, Bid sub,
                                        const MessageReadOptions& options = {});

}  // namespace velmora::pst
