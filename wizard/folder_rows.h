// The rules behind the multiple-folder page's list, kept apart from the widgets: which colour a row gets,
// how the top folder and a mailbox's path are written, and the listing of a top folder's mailboxes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::wizard {

// Background of the row at `index` (0 for the first row): `one` and `two` alternating, the first row
// `one`. The list uses white and pale yellow. Colours are 0x00BBGGRR.
uint32_t RowBackColour(int index, uint32_t one, uint32_t two);

// The chosen top folder with the separator appended when missing ("/" stays "/").
std::string TopFolderPath(const std::string& picked);

// The direct sub-folders of `top` (names only) in the order the file system's search gives them, as for the
// command-line converter (engine/mailbox_list.h): NTFS's case-insensitive order. Symbolic links to folders
// count as folders.
struct SubFolderListing {
  bool ok = false;
  std::vector<std::string> names;
  std::string error;  // when !ok: why the top folder could not be listed
};
SubFolderListing ListSubFolders(const std::string& top);

}  // namespace velmora::wizard
