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
#include <vector>

namespace velmora::engine {

struct RunState {
  bool StopRequested = false;
  bool SkipRequested = false;
  // The work queues, in the order the scan added to them.
  std::optional<std::vector<std::string>> QueuedFiles;    // full paths of the current mailbox folder's files
  std::optional<std::vector<std::string>> QueuedFolders;  // full paths of the folders below it
  std::string PstFilePath;

  // Releases both lists (a queue that holds no list stays without one).
  void EmptyQueues();

  // Creates the list when there is none, then adds `item` at its end.
  static void AddToQueue(std::optional<std::vector<std::string>>& queue, std::string item);

  // The run-state half of loading the status display: empties both queues, clears both flags.
  void ResetForStatusLoad();
};

}  // namespace velmora::engine
