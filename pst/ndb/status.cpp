#include "pst/ndb/status.h"

#include <cstdio>

namespace velmora::pst {

std::string Status::ToString() const {
  const char* name = "OK";
  switch (code_) {
    case Code::kOk:
      return "OK";
    case Code::kIoError:
      name = "I/O error";
      break;
    case Code::kCorruption:
      name = "Corruption";
      break;
    case Code::kInvalidArgument:
      name = "Invalid argument";
      break;
    case Code::kNotFound:
      name = "Not found";
      break;
    case Code::kAlreadyExists:
      name = "Already exists";
      break;
    case Code::kNoSpace:
      name = "No space";
      break;
    case Code::kUnsupported:
      name = "Unsupported";
      break;
  }
  return std::string(name) + ": " + message_;
}

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace velmora::pst
