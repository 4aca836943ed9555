// What a verification compares for one message, kept small: hashes, sizes and counts, never content.
//
// A fingerprint is a list of named fields taken from a message's content the same way on both sides: from
// what the importer produced while converting, and from the message read back out of the .pst. Two contents
// that agree in every field are the same message as far as a user can see:
//   subject, sender (name and address), recipients (their count, then types and addresses in order), sent and
//   received times, Internet Message-ID, plain and HTML body (size and hash), the attachment count, and for
//   each attachment its size and SHA-256, or for an attached message the same fields again, prefixed
//   "attachment N > ".
// Text and bodies are kept as the first 8 bytes of their SHA-256 (a chance difference goes unseen with odds
// of 1 in 2^64); attachments keep the whole SHA-256 so that it can be compared with other tools' output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pst/content/message_content.h"

namespace velmora::verify {

struct Field {
  std::string name;
  std::string value;
  bool hashed = false;  // `value` is a digest: a difference is reported as such, without the two values
};

struct Fingerprint {
  std::string source;  // the source-file text kept on the message on import ("2048 m0001.eml"), the match key
  std::string file;    // the source file's path, for reports
  std::string folder;  // the store folder below the top of the store, names joined by "\" ("" for the top)
  std::vector<Field> fields;
  uint32_t attachments = 0;  // attachments at every depth, for the summary
};

// The fields of `content`. Attachment data that cannot be read gives the field the value "unreadable: why".
Fingerprint Take(const pst::MessageContent& content);

// The value of field `name`, or "" when the fingerprint has no such field.
std::string ValueOf(const Fingerprint& f, const std::string& name);

// A byte string that Parse turns back into the same fingerprint; Parse fails (false) on anything else.
std::string Serialize(const Fingerprint& f);
bool Parse(std::string_view bytes, Fingerprint& f);

}  // namespace velmora::verify
