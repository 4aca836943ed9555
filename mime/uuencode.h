// uuencoded data: attachments sent as Content-Transfer-Encoding x-uuencode, and "begin 644 name" ... "end"
// blocks pasted into plain text, which Outlook shows as attachments.
//
// Layout of a block:
//   begin MODE NAME          MODE three or four octal digits
//   <L><data>                L = ' ' + byte count (0..45); data = groups of 4 characters, each ' ' + 6 bits
//   ...                      ('`' stands for ' '); a line with count 0 ends the data
//   end
// Transports strip trailing blanks, and a blank is a zero digit: a data line shorter than its count says is
// padded with zeros before decoding, never read as the start of the next line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::mime {

struct UuFile {
  std::string name;
  std::string data;
};

// The decoded data of x-uuencode content (begin line optional; stops at the "end" line).
std::string DecodeUuencoded(std::string_view content);

// Takes every complete begin ... end block out of `text` (its lines removed) and returns the files, in order.
std::vector<UuFile> TakeUuencodedBlocks(std::string& text);

}  // namespace velmora::mime
