// The messages a folder lists, read from its contents table's row index only: a table of thousands of rows
// is never held in memory to learn which messages it lists.
#pragma once

#include <vector>

#include "pst/ndb/node_store.h"

namespace velmora::verify {

// The row ids (message NIDs) of `folder`'s contents table, in row order. Corruption, naming the node, when
// the table's header or row index breaks the format.
pst::Result<std::vector<pst::Nid>> ContentsRowIds(pst::NodeStore& store, pst::Nid folder);

}  // namespace velmora::verify
