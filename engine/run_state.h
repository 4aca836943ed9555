// The program-wide run state that the engine shares with the windows: the Stop and Skip flags, the two work
// queues and the path of the .pst file written last. One instance lives for the whole process; everything
// runs on the user-interface thread, and the status window's buttons set the flags while the engine yields.
//
// Who resets what:
//  - StopRequested: set by Stop; cleared at the start of every run and right before every mailbox is
//    converted, when the status display loads, and when the user declines the stop confirmation.
//  - SkipRequested: set by Skip; cleared right before every mailbox is converted, when the status display
//    loads, and when the user declines the skip confirmation. After a confirmed skip it stays set until then.
//  - QueuedFiles / QueuedFolders: filled by the scan; emptied by the driver before each scan, at the normal
//    end or skip of a mailbox folder, and when the status display loads. Emptying releases the list: whoever
//    uses it next finds none and starts a new, empty one.
//  - PstFilePath: set when a mailbox's .pst path is chosen; empty until then and after a cancelled dialog.
#pragma once

#include <optional>
#include <string>

#include "engine/keyed_list.h"

namespace velmora::engine {

struct RunState {
  bool StopRequested = false;
  bool SkipRequested = false;
  std::optional<KeyedList> QueuedFiles;    // full paths of the files queued for the current mailbox folder
  std::optional<KeyedList> QueuedFolders;  // full paths of the folders below the current mailbox folder
  std::string PstFilePath;

  // Releases both lists (a queue that holds no list stays without one).
  void EmptyQueues();

  // Creates the list when there is none, then adds `item` under `key`; Error 457 when the key is taken.
  static void AddToQueue(std::optional<KeyedList>& queue, std::string item, std::string key);

  // The run-state half of loading the status display: empties both queues, clears both flags.
  void ResetForStatusLoad();
};

}  // namespace velmora::engine
