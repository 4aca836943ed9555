// How a message store keeps PidTagSubject: two control characters before the subject the user sees, U+0001
// and then U+0001 + the length of the subject's prefix ("RE: " gives U+0005), as every Outlook-made message
// in our samples stores it. Readers strip the pair; some of them mangle the first character of a subject that
// lacks it (a first UTF-16 unit whose low byte is below 0x20, such as Cyrillic "К" U+041A), so the pair is
// always written.
#pragma once

#include "pst/ltp/property_context.h"

namespace velmora::pst {

// The stored form of `subject` (a PtypString value); `prefix` is PidTagSubjectPrefix when known. A value that
// already starts with U+0001, or that is not a Unicode string, is returned unchanged.
PropValue EncodeStoredSubject(const PropValue& subject, const PropValue* prefix);

// The subject without the control pair, as the user sees it.
PropValue DecodeStoredSubject(const PropValue& stored);

}  // namespace velmora::pst
