#include "rdo/store_state.h"

#include "fsutil/now.h"

namespace velmora::rdo {

pst::MessageStore& StoreState::store() const {
  if (!store_)
    throw Error(kMapiCallFailed, "The store \"" + path_ + "\" is closed: the session has logged off");
  return *store_;
}

uint64_t StoreState::NoteSave() {
  if (saves_ == 0) first_save_ = std::chrono::steady_clock::now();
  return ++saves_;
}

void StoreState::Changed() {
  if (fsutil::Reproducible()) {
    // Commits by count, so that where they fall, and with them the file's bytes, do not depend on speed.
    const bool due = committed_saves_ == 0 ? saves_ >= kFirstCommitMessages
                                           : saves_ - committed_saves_ >= kReproducibleCommitMessages;
    if (due) Commit();
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  const bool first_due = durable_saves_ == 0 && saves_ > 0 &&
                         (saves_ >= kFirstCommitMessages || now - first_save_ >= kFirstCommitDelay);
  if (first_due || now - last_commit_ >= commit_interval_) Commit();
}

void StoreState::Commit() {
  const uint64_t saves = saves_;
  // A failed commit is tried again by the schedule, not at every change.
  last_commit_ = std::chrono::steady_clock::now();
  committed_saves_ = saves;
  pst::Status s = store().Commit();
  if (!s.ok()) {
    commit_error_ = "Cannot save \"" + path_ + "\": " + s.message();
    ThrowIfError(s, "Cannot save \"" + path_ + "\"");
  }
  commit_error_.clear();
  durable_saves_ = saves;
}

void StoreState::Close() {
  if (!store_) return;
  const uint64_t saves = saves_;
  pst::Status s = store_->Commit();
  store_.reset();
  nodes_.reset();
  if (!s.ok()) {
    commit_error_ = "Cannot save \"" + path_ + "\": " + s.message();
    ThrowIfError(s, "Cannot save \"" + path_ + "\"");
  }
  commit_error_.clear();
  durable_saves_ = saves;
}

}  // namespace velmora::rdo
