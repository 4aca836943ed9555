#include "engine/parse_ahead.h"

namespace velmora::engine {

ParseAhead::ParseAhead(size_t count, PathAt path_at, Parse parse, Limits limits)
    : count_(count), path_at_(std::move(path_at)), parse_(std::move(parse)), limits_(limits) {
  worker_ = std::thread([this] { Work(); });
}

ParseAhead::~ParseAhead() {
  Cancel();
}

void ParseAhead::Cancel() {
  {
    std::lock_guard lock(mu_);
    cancelled_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
  std::deque<Ready> released;
  std::lock_guard lock(mu_);
  released.swap(ready_);
  ready_bytes_ = 0;
}

bool ParseAhead::MayStart() const {
  return ready_.size() < limits_.files && ready_bytes_ + limits_.one_parse_bytes <= limits_.held_bytes;
}

void ParseAhead::Work() {
  std::unique_lock lock(mu_);
  while (true) {
    changed_.wait(lock, [&] { return cancelled_ || next_ >= count_ || MayStart(); });
    if (cancelled_ || next_ >= count_) return;
    const size_t index = next_++;
    under_way_ = index;
    lock.unlock();
    std::optional<rdo::ParsedEml> parsed;
    try {
      if (std::string path = path_at_(index); !path.empty()) parsed = parse_(path);
    } catch (...) {
      parsed.reset();  // out of memory, say: the import parses the file itself and reports what it finds
    }
    lock.lock();
    under_way_.reset();
    // Passed over meanwhile (Take asked for a later file) or holding too much to wait in memory: dropped,
    // and the import parses the file itself.
    if (parsed && !cancelled_ && index >= wanted_ && parsed->held_bytes <= limits_.one_parse_bytes) {
      ready_bytes_ += parsed->held_bytes;
      ready_.push_back({index, std::move(*parsed)});
      parsed.reset();
    }
    changed_.notify_all();
    if (parsed) {
      // A dropped parse is released outside the lock: that may close files.
      lock.unlock();
      parsed.reset();
      lock.lock();
    }
  }
}

void ParseAhead::DropBefore(size_t index) {
  while (!ready_.empty() && ready_.front().index < index) {
    ready_bytes_ -= ready_.front().parsed.held_bytes;
    ready_.pop_front();
  }
}

std::optional<rdo::ParsedEml> ParseAhead::Take(size_t index) {
  std::unique_lock lock(mu_);
  wanted_ = index;
  changed_.wait(lock, [&] { return cancelled_ || under_way_ != index; });
  DropBefore(index);
  std::optional<rdo::ParsedEml> out;
  if (!ready_.empty() && ready_.front().index == index) {
    ready_bytes_ -= ready_.front().parsed.held_bytes;
    out = std::move(ready_.front().parsed);
    ready_.pop_front();
  } else if (next_ <= index) {
    next_ = index + 1;  // the worker is behind: the caller parses this file, the worker goes on after it
  }
  lock.unlock();
  changed_.notify_all();
  return out;
}

}  // namespace velmora::engine
