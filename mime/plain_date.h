// The usual shape of a mail date, read without GMime: "[Www, ]D Mmm YYYY HH:MM:SS +hhmm" (RFC 5322 3.3 with
// a numeric zone). Nearly every Date and Received stamp is written so; GMime's reader builds a GDateTime and a
// time zone object for each, which cost more than the rest of the date handling. Anything else (named zones,
// two-digit years, a missing second, impossible fields) is left to GMime: this reader only answers where
// GMime's answer is plain.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora::mime {

struct PlainDate {
  int64_t unix_seconds;  // the instant, UTC
  int year, month, day;  // as written (in the date's own zone)
};

std::optional<PlainDate> ReadPlainDate(std::string_view text);

}  // namespace velmora::mime
