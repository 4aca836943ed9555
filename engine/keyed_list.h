// An insertion-ordered list of strings whose entries also carry a unique string key: the kind of list the
// work queues are. Nothing looks an entry up by its key; the key only makes a second entry under the same
// key fail.
#pragma once

#include <string>
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

  size_t Count() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const std::vector<Entry>& entries() const { return entries_; }
  // The items in insertion order.
  std::vector<std::string> Items() const;

 private:
  std::vector<Entry> entries_;
  std::unordered_set<std::string> keys_;
};

}  // namespace velmora::engine
