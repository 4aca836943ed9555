// Checks a store's folder tree as it is on the node store, independent of MessageStore's in-memory index:
// `velmora-pst check` reports what they find, and the tests of every layer check the stores they write.
// Tables are read row by row (TableRowReader), so the memory the checks take does not grow with a folder's
// messages.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "pst/ndb/node_store.h"

namespace velmora::pst {

struct CheckedFolder {
  Nid nid = 0;
  Nid parent = 0;
  std::string path;  // names from below the root folder, joined with "/"
};

// Walks the hierarchy tables from the root folder and checks, for every folder: the PC and (for normal
// folders) the three tables exist; the NBT parent is the folder that lists it; its row in the parent's
// hierarchy table carries the PC's name, counts, subfolders flag and container class; PidTagSubfolders is
// true exactly when the folder's hierarchy table has rows; no two siblings share a name. Problems go to
// *problems; the folders found are returned in walk order.
std::vector<CheckedFolder> CheckFolderTree(NodeStore& nodes, std::vector<std::string>* problems);

// For every normal folder in `folders`: PidTagContentCount and PidTagContentUnreadCount equal the rows and
// the rows without MSGFLAG_READ of the contents table; every row names a message node (nidType 0x04) whose
// NBT parent is the folder and whose PC agrees with the row; every message node whose parent is the folder
// has a row. Problems go to *problems; returns the number of messages checked.
size_t CheckFolderContents(NodeStore& nodes, const std::vector<CheckedFolder>& folders,
                           std::vector<std::string>* problems);

// Every NID in the node store.
std::vector<Nid> AllNids(NodeStore& nodes);

}  // namespace velmora::pst
