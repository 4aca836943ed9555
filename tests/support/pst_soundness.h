// Our own full check of a .pst a test wrote: the node database (every rule `velmora-pst check` applies, full
// data blocks included) and the message store on top (folder tree, tables, counts, every contents row
// against its message). TempDir runs it on every .pst left in it, so no test can forget it.
#pragma once

#include <string>

namespace velmora::testing {

// The problems found, one a line; "" when the file is sound.
std::string PstProblems(const std::string& path);

// Fails the running test unless the file is sound.
void ExpectPstSound(const std::string& path);

}  // namespace velmora::testing
