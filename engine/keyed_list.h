// An insertion-ordered list of strings whose entries also carry a unique string key: the kind of list the
// work queues are. Nothing looks an entry up by its key; the key only makes a second entry under the same
// key fail.
//
// A scan queues every file of a mailbox, a million of them in a large export, so the list is kept compact:
// one byte buffer holds the entries one after another, each item and key stored as the length of the prefix
// it shares with the previous entry's and the bytes after it (paths of one folder share all but their file
// names, keys all but their last digits): about 15 bytes an entry for the paths of an export, where
// separate strings took over 150. Every 16th entry is stored whole (a restart), so reading entry i decodes at
// most 16 entries; reading in order decodes each once. The key set is an open-addressed table of entry
// numbers, 8-16 bytes an entry.
//
// Entry layout (varint = LEB128, 7 bits a byte, low bits first):
//   varint item_shared | varint item_rest | item_rest bytes | varint key_shared | varint key_rest | bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::engine {

class KeyedList {
 public:
  struct Entry {
    std::string key;
    std::string item;
  };

  // The entries in order, read from the buffer: an iterator decodes each entry once, [] up to 16.
  class View {
   public:
    class Iterator {
     public:
      using iterator_category = std::input_iterator_tag;
      using value_type = Entry;
      using difference_type = std::ptrdiff_t;
      using pointer = const Entry*;
      using reference = const Entry&;
      Iterator(const KeyedList* list, size_t index);
      const Entry& operator*() const { return entry_; }
      const Entry* operator->() const { return &entry_; }
      Iterator& operator++();
      bool operator==(const Iterator& other) const { return index_ == other.index_; }

     private:
      const KeyedList* list_;
      size_t index_;
      size_t offset_ = 0;  // where the entry after entry_ starts
      Entry entry_;
    };
    explicit View(const KeyedList& list) : list_(list) {}
    Entry operator[](size_t i) const { return list_.At(i); }
    size_t size() const { return list_.count_; }
    Iterator begin() const { return Iterator(&list_, 0); }
    Iterator end() const { return Iterator(&list_, list_.count_); }

   private:
    const KeyedList& list_;
  };

  // Appends `item` under `key`; Error::KeyAlreadyAssociated() (457) when the key is taken, and the list is
  // unchanged (also when memory runs out). Keys compare exactly.
  void Add(std::string item, std::string key);

  size_t Count() const { return count_; }
  View entries() const { return View(*this); }
  // The items in insertion order.
  std::vector<std::string> Items() const;

 private:
  static constexpr size_t kRestartInterval = 16;  // entries between whole ones: the cost of entries()[i]

  Entry At(size_t i) const;
  // Decodes the entry at `offset` over `e` (the previous entry, or empty at a restart); the next offset.
  size_t Decode(size_t offset, Entry& e) const;
  // The slot of `key` in slots_: the one holding it, or the empty one where it would go.
  size_t FindSlot(const std::vector<uint32_t>& slots, std::string_view key) const;
  void Rehash(size_t slot_count);

  std::string bytes_;
  std::vector<size_t> restarts_;  // offset of entries 0, 16, 32, ...
  size_t count_ = 0;
  Entry last_;                   // the last entry, which the next one is stored against
  std::vector<uint32_t> slots_;  // entry number (from 1) per key, 0 = free; at most half full
};

}  // namespace velmora::engine
