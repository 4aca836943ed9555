// Header blocks that mail programs leave without the empty line that ends them, found before GMime parses the
// file. GMime takes everything up to an empty line for headers, so without repair the text of a file that
// has no headers at all, or the base64 of a part that starts right after its headers, is lost.
//
// The rule (for the message's own block, each body part's block and each attached message's block): a header
// block ends at the first line that is neither a header ("Name:" with a printable name) nor a continuation
// (leading blank). Repairs, each an edit of the input:
//   - a line that ends the block without being empty gets an empty line inserted before it;
//   - a line of blanks only (" \r\n") ends the block: its blanks are removed;
//   - a line of blanks, or a field whose name holds a blank ("X-Spam Status: No"), is decided by the next
//     line: followed by a continuation or a header field it is inside the block (obsolete folding white
//     space, removed; a bad field among good ones, which GMime skips);
//   - a single token with a colon that is no valid header name ("[x]:") is left alone (GMime skips it);
//   - a delimiter line right after a boundary (an empty part) is left alone;
//   - NUL bytes in header lines are removed (they would end the value for GMime).
// Boundaries come from the Content-Type headers seen on the way. One longer than RFC 2046's 70 characters
// (mail programs write them) is replaced, in the header and in every delimiter line, by a short one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pst/ltp/property.h"

namespace velmora::mime {

struct InputEdit {
  uint64_t offset = 0;  // where in the input
  uint64_t remove = 0;  // bytes removed there
  std::string insert;   // bytes put in their place
};

// The edits that repair the header blocks of `source` read from `start`, in increasing offset order.
// Empty for well-formed mail (and when the input cannot be read).
std::vector<InputEdit> FindHeaderRepairs(const pst::ByteSource& source, uint64_t start);

// `source` from `start` with `edits` applied, without copying the unchanged ranges.
std::shared_ptr<const pst::ByteSource> ApplyEdits(std::shared_ptr<const pst::ByteSource> source,
                                                  uint64_t start, const std::vector<InputEdit>& edits);

}  // namespace velmora::mime
