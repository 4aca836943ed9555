// What the objects of one logged-on store share: the node store, the message store over it, and whether the
// session still has it open. Objects outlive Logoff; their calls then fail with an error.
//
// Durability. Every message save gets a number (1, 2, ...) in the order of the saves. A commit that succeeds
// makes every save before it durable: durable_saves() is then the number of the last save it holds. A save
// whose number is above durable_saves() is in the file only once a later commit succeeds; when the session
// ends without one, it is lost. A failed commit leaves durable_saves() as it was and keeps its description in
// commit_error() until a commit succeeds.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "pst/messaging/message_store.h"
#include "rdo/error.h"

namespace velmora::rdo {

class StoreState {
 public:
  StoreState(std::string path, std::unique_ptr<pst::NodeStore> nodes,
             std::unique_ptr<pst::MessageStore> store)
      : path_(std::move(path)), nodes_(std::move(nodes)), store_(std::move(store)) {}

  const std::string& path() const { return path_; }
  bool open() const { return store_ != nullptr; }
  // The message store; Error when the session has logged off.
  pst::MessageStore& store() const;
  // A message was stored: its save number.
  uint64_t NoteSave();
  // After a change: commits on the schedule below, so that a run that dies keeps nearly all it wrote.
  //  - Until a commit holds a message, one comes after kFirstCommitMessages saved messages or when the first
  //    of them is kFirstCommitDelay old, whichever is first: a run killed in its first seconds still leaves
  //    its first messages.
  //  - Otherwise a commit comes when the last one is older than the commit interval.
  // In a reproducible run (fsutil::Reproducible) the clock plays no part: the first commit comes after
  // kFirstCommitMessages saves, the others every kReproducibleCommitMessages saves.
  // Error (with the commit's description) when a commit it makes fails.
  void Changed();
  void set_commit_interval(std::chrono::milliseconds interval) { commit_interval_ = interval; }
  // The folder whose files the messages come from (the mailbox folder): imports name their source file by
  // its path below it (source_key.h).
  void set_source_root(std::string root) { source_root_ = std::move(root); }
  const std::string& source_root() const { return source_root_; }
  void Commit();
  // Commits and releases the file; Error when that last commit fails (the file keeps its last commit).
  void Close();

  uint64_t durable_saves() const { return durable_saves_; }
  const std::string& commit_error() const { return commit_error_; }

  static constexpr std::chrono::milliseconds kDefaultCommitInterval{5000};
  // Small enough that a run stopped at once keeps something, large enough that the first commit does not
  // cost a commit per message.
  static constexpr uint64_t kFirstCommitMessages = 16;
  static constexpr std::chrono::milliseconds kFirstCommitDelay{1000};
  // About what the commit interval holds at full speed.
  static constexpr uint64_t kReproducibleCommitMessages = 4096;

 private:
  std::string path_;
  std::unique_ptr<pst::NodeStore> nodes_;
  std::unique_ptr<pst::MessageStore> store_;
  std::chrono::milliseconds commit_interval_ = kDefaultCommitInterval;
  std::string source_root_;
  std::chrono::steady_clock::time_point last_commit_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point first_save_;  // of this session
  uint64_t saves_ = 0;
  uint64_t durable_saves_ = 0;
  uint64_t committed_saves_ = 0;  // saves_ when the last commit was tried
  std::string commit_error_;
};

}  // namespace velmora::rdo
