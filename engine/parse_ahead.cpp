#include "engine/parse_ahead.h"

#include <algorithm>

namespace velmora::engine {

ParseAhead::ParseAhead(size_t count, PathAt path_at, Parse parse, Limits limits)
    : count_(count), path_at_(std::move(path_at)), parse_(std::move(parse)), limits_(limits) {
  const size_t workers = std::clamp<size_t>(limits_.workers, 1, std::max<size_t>(limits_.files, 1));
  for (size_t i = 0; i < workers && i < count_; ++i) workers_.emplace_back([this] { Work(); });
}

ParseAhead::~ParseAhead() {
  Cancel();
}

void ParseAhead::Cancel() {
  {
    std::lock_guard lock(mu_);
    cancelled_ = true;
  }
  room_.notify_all();
  done_.notify_all();
  for (auto& w : workers_)
    if (w.joinable()) w.join();
  std::map<size_t, rdo::ParsedEml> released;
  std::lock_guard lock(mu_);
  released.swap(ready_);
  ready_bytes_ = 0;
}

bool ParseAhead::MayStart() const {
  const size_t in_flight = ready_.size() + under_way_.size();
  return in_flight < limits_.files &&
         ready_bytes_ + (under_way_.size() + 1) * limits_.one_parse_bytes <= limits_.held_bytes;
}

void ParseAhead::Work() {
  std::unique_lock lock(mu_);
  while (true) {
    room_.wait(lock, [&] { return cancelled_ || next_ >= count_ || MayStart(); });
    if (cancelled_ || next_ >= count_) return;
    const size_t index = next_++;
    under_way_.insert(index);
    lock.unlock();
    std::optional<rdo::ParsedEml> parsed;
    try {
      if (std::string path = path_at_(index); !path.empty()) parsed = parse_(path);
    } catch (...) {
      parsed.reset();  // out of memory, say: the import parses the file itself and reports what it finds
    }
    lock.lock();
    under_way_.erase(index);
    // Passed over meanwhile (Take asked for a later file) or holding too much to wait in memory: dropped,
    // and the import parses the file itself.
    if (parsed && !cancelled_ && index >= wanted_ && parsed->held_bytes <= limits_.one_parse_bytes) {
      ready_bytes_ += parsed->held_bytes;
      ready_.emplace(index, std::move(*parsed));
      parsed.reset();
    }
    if (taking_ && index == wanted_) done_.notify_one();
    if (parsed) {
      // A dropped parse is released outside the lock: that may close files.
      lock.unlock();
      parsed.reset();
      lock.lock();
    }
  }
}

void ParseAhead::DropBefore(size_t index) {
  while (!ready_.empty() && ready_.begin()->first < index) {
    ready_bytes_ -= ready_.begin()->second.held_bytes;
    ready_.erase(ready_.begin());
  }
}

std::optional<rdo::ParsedEml> ParseAhead::Take(size_t index) {
  std::unique_lock lock(mu_);
  wanted_ = index;
  taking_ = true;
  done_.wait(lock, [&] { return cancelled_ || under_way_.count(index) == 0; });
  taking_ = false;
  const bool was_full = !MayStart();
  const size_t in_flight = ready_.size() + under_way_.size();
  DropBefore(index);
  std::optional<rdo::ParsedEml> out;
  if (auto it = ready_.find(index); it != ready_.end()) {
    ready_bytes_ -= it->second.held_bytes;
    out = std::move(it->second);
    ready_.erase(it);
  } else if (next_ <= index) {
    next_ = index + 1;  // the workers are behind: the caller parses this file, they go on after it
  }
  const bool room = was_full && MayStart();
  const bool more_room = in_flight - (ready_.size() + under_way_.size()) > 1;
  lock.unlock();
  if (room && more_room) {
    room_.notify_all();
  } else if (room) {
    room_.notify_one();
  }
  return out;
}

}  // namespace velmora::engine
