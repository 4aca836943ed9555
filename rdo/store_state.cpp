#include "rdo/store_state.h"

namespace velmora::rdo {

pst::MessageStore& StoreState::store() const {
  if (!store_)
    throw Error(kMapiCallFailed, "The store \"" + path_ + "\" is closed: the session has logged off");
  return *store_;
}

void StoreState::Changed() {
  if (std::chrono::steady_clock::now() - last_commit_ >= commit_interval_) Commit();
}

void StoreState::Commit() {
  ThrowIfError(store().Commit(), "Cannot save \"" + path_ + "\"");
  last_commit_ = std::chrono::steady_clock::now();
}

void StoreState::Close() {
  if (!store_) return;
  pst::Status s = store_->Commit();
  store_.reset();
  nodes_.reset();
  ThrowIfError(s, "Cannot save \"" + path_ + "\"");
}

}  // namespace velmora::rdo
