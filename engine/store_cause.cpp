#include "engine/store_cause.h"

#include "engine/errors.h"
#include "engine/path_helpers.h"
#include "fsutil/existence.h"

namespace velmora::engine {

namespace {

bool Holds(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

std::string StoreErrorCause(const std::string& pst_path, int32_t number, const std::string& description) {
  const std::string file = "\"" + pst_path + "\"";
  if (Holds(description, "in use by another program")) {
    return file + " is open in another program. Close it there, then convert again.";
  }
  if (Holds(description, "not a PST") || Holds(description, "is not an Outlook data file")) {
    return file + " is not an Outlook data file; it was not changed. Choose another file name.";
  }
  if (number == rdo::kMapiCorruptData) {
    return file + " is damaged; it was not changed. Choose another file name.";
  }
  std::string folder = pst_path.empty() ? std::string() : PathParent(pst_path);
  if (folder.size() > 1 && folder.back() == fsutil::kPathSeparator) folder.pop_back();
  if (!folder.empty() && !fsutil::FolderExists(folder)) {
    return "The folder \"" + folder + "\" does not exist. Choose an existing folder.";
  }
  if (number == rdo::kMapiNotEnoughDisk || Holds(description, "No space left")) {
    return "The disk that holds \"" + folder + "\" is full.";
  }
  if (Holds(description, "Permission denied") || Holds(description, "Read-only file system") ||
      number == rdo::kEAccessDenied) {
    return "The folder \"" + folder + "\" cannot be written. Choose a folder you may write to.";
  }
  return "";
}

}  // namespace velmora::engine
