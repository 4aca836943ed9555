// The engine's working state shared by the scan, the driver and the import: the scan's counters, the run
// state and the front end, with every status-display access routed through one place that loads the display
// when it is not loaded (see host.h).
//
// The fields start as empty strings and zeros when the object is created and keep their values across runs.
// next_folder_number is never reset, so folder keys stay unique across every mailbox folder converted while the
// program runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/host.h"
#include "engine/run_state.h"

namespace velmora::engine {

// A file or folder that was not converted, and why.
struct FileFailure {
  std::string path;
  std::string reason;
  bool operator==(const FileFailure&) const = default;
};

class Engine {
 public:
  Engine(Host& host, RunState& run_state) : host_(host), run_state_(run_state) {}
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Host& host() { return host_; }
  RunState& run_state() { return run_state_; }

  std::string source_path;       // mailbox folder being scanned; the scan appends the separator when missing
  std::string file_pattern;      // file pattern of the scan; "*.*" before every scan
  int32_t next_file_number = 0;  // 1 before every scan; the scan adds 1 per queued file
  int32_t next_folder_number = 0;  // never reset; the scan adds 1 per queued folder, across all runs
  int32_t files_in_mailbox =
      0;  // next_file_number - 1 after the scan: the files queued for the current mailbox folder
  // The folders the last scan could not list (no permission, a name too long), with the system's reason:
  // whatever they hold was not queued.
  std::vector<FileFailure> UnreadableFolders;
  // The entries of the last scan that could not be asked about (gone since the folder was listed, a link that
  // leads nowhere), with the system's reason: they were not queued.
  std::vector<FileFailure> UnreadableFiles;

  // The status display. Each access loads it first when it is not loaded.
  void SetLine(StatusLine line, const std::string& text);
  std::string GetLine(StatusLine line);
  void SetProgress(ProgressField field, float value);
  float GetProgress(ProgressField field);
  void SetButton(ButtonState button, bool on);
  // A mark on the request's list, not a status field: it never loads the display.
  void MarkMailboxTaken(int32_t index) { host_.MarkMailboxTaken(index); }

  void Yield() { host_.Yield(); }

 private:
  // When the host reports the status display not loaded: the run-state half of loading, then the load.
  void EnsureStatusLoaded();

  Host& host_;
  RunState& run_state_;
};

}  // namespace velmora::engine
