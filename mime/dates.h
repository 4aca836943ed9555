// Dates of Internet mail (RFC 5322 3.3, read leniently as 4.3 allows) as FILETIME: 100-ns ticks since
// 1601-01-01 UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora::mime {

// FILETIME of a Date-style value; nullopt when it cannot be read or lies outside 1601..30827.
std::optional<uint64_t> ParseMailDate(const std::string& value);

// The same read by GMime alone, without the fast reading of the usual shape (for comparing the two).
std::optional<uint64_t> ParseMailDateWithGMime(const std::string& value);

// The date stamp of a Received header: the text after its last ';' (RFC 5321 4.4).
std::optional<uint64_t> ParseReceivedDate(const std::string& value);

uint64_t FileTimeNow();

}  // namespace velmora::mime
