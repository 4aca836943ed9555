// Attachment file names ([MS-OXCMAIL] 2.2.3.4.1.1): the long name as the sender gave it, cleaned of
// characters a file system rejects, the 8.3 form Outlook keeps beside it, and a made-up name when the sender
// gave none.
#pragma once

#include <map>
#include <set>
#include <string>

namespace velmora::mime {

// The last path component with U+0000-U+001F and " * / : < > ? \ | replaced by '_', surrounding blanks and
// trailing dots removed. "" when nothing is left.
std::string SanitizeFileName(const std::string& name);

// The extension with its dot (".png"), "" when the name has none.
std::string FileExtension(const std::string& name);

// The 8.3 names already given on one message (upper-cased), and the next "~N" to try for each stem, so
// that thousands of attachments with one name cost linear time.
struct ShortNames {
  std::set<std::string> taken;
  std::map<std::string, int> next;
};

// Outlook's 8.3 form: a name that already fits is kept; otherwise the first six usable characters, "~N", and
// the first three of the extension ("leah_thumper.jpg" -> "leah_t~1.jpg"), unique within `names`.
std::string ShortFileName(const std::string& long_name, ShortNames& names);

// A name for a part that has none, from its MIME type: "ATT00001.txt", "ATT00002.png", winmail.dat,
// smime.p7m.
std::string GeneratedFileName(const std::string& mime_type, int sequence);

}  // namespace velmora::mime
