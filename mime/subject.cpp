#include "mime/subject.h"

#include <glib.h>

namespace velmora::mime {

SplitSubject SplitSubjectPrefix(const std::string& subject) {
  SplitSubject out{"", subject};
  if (!g_utf8_validate(subject.data(), static_cast<gssize>(subject.size()), nullptr)) return out;
  const char* p = subject.c_str();
  const char* end = p + subject.size();
  int count = 0;
  const char* q = p;
  while (q < end && count <= 3) {
    gunichar c = g_utf8_get_char(q);
    if (c == ':') break;
    if (c == ' ' || (c >= '0' && c <= '9')) return out;
    q = g_utf8_next_char(q);
    ++count;
  }
  if (q >= end || *q != ':' || count < 1 || count > 3) return out;
  const char* rest = q + 1;
  while (rest < end && *rest == ' ') ++rest;
  out.prefix = std::string(p, q) + ": ";
  out.normalized = std::string(rest, end);
  return out;
}

}  // namespace velmora::mime
