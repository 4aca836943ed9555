// Parses the upcoming message files of the import loop on worker threads while the store writes the current
// one. The loop itself is unchanged: it still handles every file in queue order, polls its flags and yields
// where it always did; it only finds the parse of a file ready (Take) instead of making it.
//
// Bounds. A parse starts only while fewer than `files` parses are in flight (waiting to be taken, or under
// way) and the waiting ones hold at most `held_bytes - one_parse_bytes`; a parse that holds more than
// `one_parse_bytes` is dropped (the import parses that file itself). So at most `files` parses and
// `held_bytes` of parsed content are ever in flight, counted by what they hold in memory (ParsedEml::
// held_bytes: a spilled attachment counts only its in-memory part, a value read from the message file
// nothing).
//
// Ending. Cancel (or the destructor) stops the worker and joins it: a parse under way is finished (the parse
// function bounds how long that takes), every parse not taken is released with the files it holds open.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "rdo/parsed_eml.h"

namespace velmora::engine {

class ParseAhead {
 public:
  struct Limits {
    size_t files = 4;                      // parses in flight, waiting or under way
    uint64_t held_bytes = 64u << 20;       // what the parses in flight may hold together
    uint64_t one_parse_bytes = 16u << 20;  // what one parse may hold: the spill budget of one message
    size_t workers = 1;                    // threads that parse
  };
  // The `index`-th queued file's path, or "" for one that is not parsed ahead. Called on the worker thread.
  using PathAt = std::function<std::string(size_t index)>;
  // Parses one file; nullopt when it cannot or should not be parsed ahead. Called on the worker thread.
  using Parse = std::function<std::optional<rdo::ParsedEml>(const std::string& path)>;

  // Starts the workers on files 0 .. count - 1.
  ParseAhead(size_t count, PathAt path_at, Parse parse, Limits limits);
  ~ParseAhead();
  ParseAhead(const ParseAhead&) = delete;
  ParseAhead& operator=(const ParseAhead&) = delete;

  // The parse of file `index`, waiting for it when it is under way; nullopt when no worker has parsed it
  // (it is then never parsed ahead: the caller parses it). Files before `index` are passed over for good:
  // call with growing indexes.
  std::optional<rdo::ParsedEml> Take(size_t index);
  // Stops the workers and waits for them to end; parses not taken are released. Take gives nullopt
  // afterwards.
  void Cancel();

 private:
  void Work();
  bool MayStart() const;  // with mu_ held
  void DropBefore(size_t index);

  const size_t count_;
  const PathAt path_at_;
  const Parse parse_;
  const Limits limits_;

  std::mutex mu_;
  // Separate wake-ups, so that a finished parse does not wake the other workers and a taken one does not
  // wake the caller: each wake-up is a context switch, and there would be several per message.
  std::condition_variable room_;            // workers wait here for room (or the end)
  std::condition_variable done_;            // Take waits here for the parse under way of its file
  bool taking_ = false;                     // Take is waiting
  std::map<size_t, rdo::ParsedEml> ready_;  // by index
  uint64_t ready_bytes_ = 0;                // held by ready_
  size_t next_ = 0;                         // the next index a worker looks at
  size_t wanted_ = 0;                       // the index of the last Take: earlier ones are never asked for
  std::set<size_t> under_way_;              // the indexes being parsed
  bool cancelled_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace velmora::engine
