// A bounded cache of clean B-tree pages, keyed by file offset, least recently used first out. A page
// handed out stays valid until the next Insert (which may evict it) or Erase of its offset.
#pragma once

#include <cstdint>
#include <list>
#include <unordered_map>
#include <utility>

namespace velmora::pst {

template <class Page>
class PageCache {
 public:
  explicit PageCache(size_t capacity) : capacity_(capacity) {}

  const Page* Find(uint64_t ib) {
    auto it = index_.find(ib);
    if (it == index_.end()) return nullptr;
    lru_.splice(lru_.begin(), lru_, it->second);
    return &it->second->second;
  }

  const Page* Insert(uint64_t ib, Page page) {
    Erase(ib);
    lru_.emplace_front(ib, std::move(page));
    index_[ib] = lru_.begin();
    while (lru_.size() > capacity_) {
      index_.erase(lru_.back().first);
      lru_.pop_back();
    }
    return &lru_.front().second;
  }

  void Erase(uint64_t ib) {
    auto it = index_.find(ib);
    if (it == index_.end()) return;
    lru_.erase(it->second);
    index_.erase(it);
  }

  size_t size() const { return lru_.size(); }

 private:
  size_t capacity_;
  std::list<std::pair<uint64_t, Page>> lru_;  // most recent first
  std::unordered_map<uint64_t, typename std::list<std::pair<uint64_t, Page>>::iterator> index_;
};

}  // namespace velmora::pst
