// The mailbox folders of an export's top folder: its direct sub-folders, in the order the file system's
// search gives them (by name, as on NTFS), each as the name and the full path (top folder, one separator,
// name). The wizard lists them as its mailbox rows; the command-line converter ticks them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::engine {

struct MailboxFolder {
  std::string name;
  std::string path;
};

// Nothing when the top folder cannot be listed (missing, not a folder, no permission); `why` then receives
// the system's reason.
std::optional<std::vector<MailboxFolder>> ListMailboxFolders(std::string top, std::string* why = nullptr);

}  // namespace velmora::engine
