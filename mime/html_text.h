// What the importer needs to know about an HTML body: a plain-text rendering for PidTagBody when the mail has
// no text/plain alternative, and which Content-IDs it shows inline.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace velmora::mime {

// Readable text of an HTML document (UTF-8 in, UTF-8 out, CRLF line ends): tags dropped, block elements end
// lines, script/style/head skipped, character references decoded, blank runs collapsed. Linear time.
std::string HtmlToText(std::string_view html);

// The Content-IDs the HTML refers to with "cid:" URLs, lower-cased and %-decoded.
std::set<std::string> CidReferences(std::string_view html);

// The URLs of src, background and href attributes, lower-cased (Content-Location references). Collected
// once, so that matching thousands of parts against a large body stays linear.
std::set<std::string> UrlReferences(std::string_view html);

// Decodes one character reference body ("amp", "#233", "#x20AC"); "" when unknown.
std::string DecodeCharacterReference(std::string_view name);

}  // namespace velmora::mime
