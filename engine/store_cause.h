// Why a store could not be opened, in words a user can act on: the file is open in another program, it is
// damaged or not an Outlook data file (and was left as it was), its folder is missing, cannot be written or
// is full. The technical description the store gave follows it in the messages, never in place of it.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::engine {

// The cause for the store at `pst_path` that failed with error `number` and `description`; empty when none
// of the known causes fits (the description then stands alone).
std::string StoreErrorCause(const std::string& pst_path, int32_t number, const std::string& description);

}  // namespace velmora::engine
