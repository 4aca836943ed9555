#include "status/open_folder.h"

#include "engine/path_helpers.h"

namespace velmora::status {

std::string OpenFolderTarget(bool single_mode, const std::string& pst_file_path,
                             const std::string& output_folder) {
  if (!single_mode) return output_folder;
  // PathParent has no answer for an empty path; here that means no .pst yet, so nothing to open.
  if (pst_file_path.empty()) return {};
  return engine::PathParent(pst_file_path);
}

}  // namespace velmora::status
