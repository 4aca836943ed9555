#include "engine/keyed_list.h"

#include <utility>

#include "engine/errors.h"

namespace velmora::engine {

void KeyedList::Add(std::string item, std::string key) {
  if (keys_.contains(key)) throw Error::KeyAlreadyAssociated();
  const Entry& e = entries_.emplace_back(Entry{std::move(key), std::move(item)});
  try {
    keys_.insert(e.key);
  } catch (...) {
    entries_.pop_back();  // out of memory: the list stays as it was
    throw;
  }
}

std::vector<std::string> KeyedList::Items() const {
  std::vector<std::string> items;
  items.reserve(entries_.size());
  for (const Entry& e : entries_) items.push_back(e.item);
  return items;
}

}  // namespace velmora::engine
