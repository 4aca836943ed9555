#include "engine/creation_stamp.h"

#include <cstdio>

#include "fsutil/now.h"

namespace velmora::engine {

std::string FormatCreationStamp(const std::tm& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d.%d.%02d %d.%d.%02d", t.tm_mday, t.tm_mon + 1, (t.tm_year + 1900) % 100,
                t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

std::tm LocalTimeNow() {
  std::time_t now = fsutil::UnixTimeNow();
  std::tm local{};
  fsutil::LocalCalendar(now, &local);
  return local;
}

}  // namespace velmora::engine
