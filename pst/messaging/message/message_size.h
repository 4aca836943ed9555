// How big a message and an attachment say they are: PidTagMessageSize and PidTagAttachSize. Both are computed
// by the store, never taken from the caller, and both reproduce Outlook's own values exactly on every message
// and attachment of the Outlook-made sample files (the sample test checks this).
//
// PidTagMessageSize = the bytes the store holds for the message (held_bytes.h): the size of the data tree of
//   the message PC plus the data trees of every subnode below the message node, recursively: values kept in
//   their own subnodes, the recipient table, the attachment table, every attachment PC with its data, and
//   embedded messages with everything below them. Block trailers, padding and XBLOCK / SLBLOCK structure are
//   not counted. An embedded message's PidTagMessageSize is the same sum over its own subnode.
//   Outlook's values follow this to the byte for all seven mail messages of the samples (four top-level,
//   three embedded: 21614, 106589, 20929, 22533, 4500, 4465, 7816), where the sum of property sizes misses by
//   0.5 to 2 KB. (Outlook's contacts, distribution lists and FAI items, which have no subnodes, carry the
//   sum of their property sizes instead; this writer stores mail.)
//
// PidTagAttachSize = the sum of the counted sizes of every property of the attachment PC, PidTagAttachSize
//   itself included (4), where the counted size of a value is its stored byte length: Boolean 1, Int16 2,
//   Int32 4, Int64 / FILETIME / Float64 8, GUID 16, a string its UTF-16LE bytes without terminator, a binary
//   its length, a multi-valued value its stored bytes, a stream its full length (never read), and the
//   PtypObject value of an embedded message that message's PidTagMessageSize. Outlook: 5200, 1013, 96808,
//   11494, 8078 = 3578 + 4500, 8043 = 3578 + 4465.
//
// Both are PtypInteger32: sums past 2^31 - 1 are clamped.
#pragma once

#include <cstdint>

#include "pst/ltp/property_context.h"

namespace velmora::pst {

// The counted size of one value (the PtypObject case is the caller's: it knows the embedded message).
uint64_t CountedSize(const PropValue& value);

// The sum over a property map; a PtypObject value counts `object_size`.
uint64_t CountedSize(const PropertyMap& props, uint64_t object_size = 0);

// A size for a PtypInteger32 property.
int32_t ClampSize(uint64_t size);

}  // namespace velmora::pst
