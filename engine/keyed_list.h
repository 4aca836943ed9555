// An insertion-ordered list of strings whose entries also carry a unique string key: the kind of list the
// work queues are. Nothing looks an entry up by its key; the key only makes a second entry under the same
// key fail.
//
// A scan queues every file of a mailbox, so the list holds each path once: the entries live in a deque (no
// copy of the whole list when it grows, and an entry never moves), and the key set views the keys stored
// in the entries instead of holding copies.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace velmora::engine {

class KeyedList {
 public:
  struct Entry {
    std::string key;
    std::string item;
  };

  // Appends `item` under `key`; Error::KeyAlreadyAssociated() (457) when the key is taken, and the list is
  // unchanged. Keys compare exactly.
  void Add(std::string item, std::string key);

  KeyedList() = default;
  KeyedList(const KeyedList&) = delete;  // the key views would point into the other list
  KeyedList& operator=(const KeyedList&) = delete;
  KeyedList(KeyedList&&) = default;  // a moved deque keeps its elements where they are
  KeyedList& operator=(KeyedList&&) = default;

  size_t Count() const { return entries_.size(); }
  const std::deque<Entry>& entries() const { return entries_; }
  // The items in insertion order.
  std::vector<std::string> Items() const;

 private:
  std::deque<Entry> entries_;
  std::unordered_set<std::string_view> keys_;  // views of entries_[i].key, which never move
};

}  // namespace velmora::engine
