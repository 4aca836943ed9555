// Subject prefix ([MS-OXCMAIL] 2.2.3.2.6.1): "RE: ", "Fwd: ", "AW: " ... split off the subject.
#pragma once

#include <string>

namespace velmora::mime {

struct SplitSubject {
  std::string prefix;      // "" or the 1-3 prefix characters followed by ": "
  std::string normalized;  // the subject without its prefix
};

// A prefix is 1 to 3 characters, none of them a colon, a blank or a digit, then a colon and any number of
// blanks. Only one prefix is removed: "RE: FW: x" gives "RE: " and "FW: x".
SplitSubject SplitSubjectPrefix(const std::string& subject);

}  // namespace velmora::mime
