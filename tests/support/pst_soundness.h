// Our own full check of a .pst a test wrote: the node database (every rule `velmora-pst check` applies, full
// data blocks included) and the message store on top (folder tree, tables, counts, every contents row
// against its message). TempDir runs it on every .pst left in it, so no test can forget it.
#pragma once

#include <memory>
#include <string>

#include "pst/messaging/message_store.h"
#include "pst/ndb/node_database.h"

namespace velmora::testing {

// A store a test opens read-only to look into: `store` is null (and the test has failed) when it cannot be
// opened. The database outlives the store that reads it.
struct StoreToRead {
  std::unique_ptr<pst::NodeDatabase> db;
  std::unique_ptr<pst::MessageStore> store;
};
StoreToRead OpenStoreToRead(const std::string& path);

// The problems found, one a line; "" when the file is sound.
std::string PstProblems(const std::string& path);

// Fails the running test unless the file is sound.
void ExpectPstSound(const std::string& path);

}  // namespace velmora::testing
