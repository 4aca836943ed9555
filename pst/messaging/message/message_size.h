// How big a message and an attachment say they are: PidTagAttachSize and PidTagMessageSize.
//
// Both are computed by the store, not taken from the caller, with one counting rule:
//
//   counted size of a value = its stored byte length: Boolean 1, Int16 2, Int32 4, Int64/FILETIME/Float64 8,
//                             GUID 16, a string its UTF-16LE bytes without terminator, a binary its length,
//                             a multi-valued value its stored bytes; a stream its full length (never read);
//                             a PtypObject (embedded message) the embedded message's PidTagMessageSize.
//
//   PidTagAttachSize  = sum over every property of the attachment PC, PidTagAttachSize itself included (4).
//   PidTagMessageSize = sum over every property of the message PC, PidTagMessageSize itself included (4)
//                     + sum of every recipient row's cells, row id and row version excluded
//                     + sum of the PidTagAttachSize of every attachment.
//
// Why: Outlook's PidTagAttachSize follows the attachment part of this rule exactly in every Outlook-made
// sample (5200, 1013, 96808, and 8078 = 3578 + 4500 for an embedded message). For PidTagMessageSize no rule
// reproduces Outlook's numbers; Outlook's values are this sum plus an overhead of 0.9 to 2 KB for a message
// with at most one recipient, growing with the recipients (about 75 bytes each), which MAPI calls
// "approximate". We count what the message holds, the same way at every level (embedded messages too), and
// add no invented overhead, so the value is reproducible from the stored properties alone.
#pragma once

#include <cstdint>

#include "pst/ltp/property_context.h"

namespace velmora::pst {

// The counted size of one value (the PtypObject case is the caller's: it knows the embedded message).
uint64_t CountedSize(const PropValue& value);

// The sum over a property map; a PtypObject value counts `object_size`.
uint64_t CountedSize(const PropertyMap& props, uint64_t object_size = 0);

// A size for a PtypInteger32 property: sums past 2^31 - 1 are clamped, as the property cannot hold them.
int32_t ClampSize(uint64_t size);

}  // namespace velmora::pst
