#include "rdo/store_state.h"

namespace velmora::rdo {

pst::MessageStore& StoreState::store() const {
  if (!store_)
    throw Error(kMapiCallFailed, "The store \"" + path_ + "\" is closed: the session has logged off");
  return *store_;
}

void StoreState::Changed() {
  ++changes_since_commit_;
  const auto age = std::chrono::steady_clock::now() - last_commit_;
  const bool first_due =
      !changes_committed_ && (changes_since_commit_ >= kFirstCommitChanges || age >= kFirstCommitDelay);
  if (first_due || age >= commit_interval_) Commit();
}

void StoreState::Commit() {
  const uint64_t saves = saves_;
  const bool had_changes = changes_since_commit_ > 0;
  // A failed commit is tried again by the schedule, not at every change.
  last_commit_ = std::chrono::steady_clock::now();
  pst::Status s = store().Commit();
  if (!s.ok()) {
    commit_error_ = "Cannot save \"" + path_ + "\": " + s.message();
    ThrowIfError(s, "Cannot save \"" + path_ + "\"");
  }
  commit_error_.clear();
  durable_saves_ = saves;
  changes_since_commit_ = 0;
  if (had_changes) changes_committed_ = true;
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
