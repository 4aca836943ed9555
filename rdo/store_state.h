// What the objects of one logged-on store share: the node store, the message store over it, and whether the
// session still has it open. Objects outlive Logoff; their calls then fail with an error.
#pragma once

#include <chrono>
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
  // After a change: commits when the last commit is older than the commit interval, so a long run keeps a
  // file that holds nearly everything written when the process dies.
  void Changed();
  void set_commit_interval(std::chrono::milliseconds interval) { commit_interval_ = interval; }
  void Commit();
  // Commits and releases the file.
  void Close();

  static constexpr std::chrono::milliseconds kDefaultCommitInterval{5000};

 private:
  std::string path_;
  std::unique_ptr<pst::NodeStore> nodes_;
  std::unique_ptr<pst::MessageStore> store_;
  std::chrono::milliseconds commit_interval_ = kDefaultCommitInterval;
  std::chrono::steady_clock::time_point last_commit_ = std::chrono::steady_clock::now();
};

}  // namespace velmora::rdo
