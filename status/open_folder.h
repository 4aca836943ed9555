// Which folder the status window's "Open Folder" opens. The choice follows the mode page's option at the
// moment of the click, not the mode of the last run.
#pragma once

#include <string>

namespace velmora::status {

// Single-mailbox mode: the folder that holds the .pst written last (PathParent of `pst_file_path`, with its
// trailing separator). Multiple-mailbox mode: the output folder text exactly as it stands, untrimmed.
// Empty when there is nothing to open (no .pst written yet, or a cancelled save dialog); opening empty text
// does nothing.
std::string OpenFolderTarget(bool single_mode, const std::string& pst_file_path,
                             const std::string& output_folder);

}  // namespace velmora::status
