#include "rdo/error.h"

namespace velmora::rdo {

Error Error::FolderNotFound(const std::string& name) {
  Error e(kMapiNotFound, "Folder \"" + name + "\" does not exist");
  e.missing_path_ = name;
  return e;
}

int32_t HresultOf(const pst::Status& status) {
  switch (status.code()) {
    case pst::Code::kOk:
      return 0;
    case pst::Code::kIoError:
      return kMapiDiskError;
    case pst::Code::kCorruption:
      return kMapiCorruptData;
    case pst::Code::kInvalidArgument:
      return kEInvalidArg;
    case pst::Code::kNotFound:
      return kMapiNotFound;
    case pst::Code::kAlreadyExists:
      return kMapiCollision;
    case pst::Code::kNoSpace:
      return kMapiNotEnoughDisk;
    case pst::Code::kUnsupported:
      return kMapiNoSupport;
  }
  return kMapiCallFailed;
}

void ThrowIfError(const pst::Status& status, const std::string& context) {
  if (status.ok()) return;
  throw Error(HresultOf(status), context.empty() ? status.message() : context + ": " + status.message());
}

}  // namespace velmora::rdo
