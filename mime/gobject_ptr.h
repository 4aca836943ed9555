// Owning pointers for the GObject and GLib values GMime hands out, so that every early return releases them.
#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>

namespace velmora::mime {

struct GObjectUnref {
  void operator()(void* p) const {
    if (p) g_object_unref(p);
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

struct GDateTimeUnref {
  void operator()(GDateTime* p) const {
    if (p) g_date_time_unref(p);
  }
};
using GDateTimePtr = std::unique_ptr<GDateTime, GDateTimeUnref>;

struct ParserOptionsFree {
  void operator()(GMimeParserOptions* p) const {
    if (p) g_mime_parser_options_free(p);
  }
};
using ParserOptionsPtr = std::unique_ptr<GMimeParserOptions, ParserOptionsFree>;

// A string GMime allocated, taken over; "" for null.
inline std::string TakeString(char* s) {
  GCharPtr owned(s);
  return s ? std::string(s) : std::string();
}
inline std::string OrEmpty(const char* s) {
  return s ? std::string(s) : std::string();
}

// Initialises GMime once per process (thread-safe; GMime is never shut down, it owns process-wide tables).
void EnsureGMimeInitialised();

}  // namespace velmora::mime

namespace velmora::mime {
// The parser options every parse and header decode of the importer uses: lenient RFC 2047, RFC 2231 and
// address parsing, and undeclared 8-bit text read as UTF-8 when valid, else windows-1252.
GMimeParserOptions* ImporterParserOptions();
}  // namespace velmora::mime
