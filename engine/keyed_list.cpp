#include "engine/keyed_list.h"

#include <utility>

#include "engine/errors.h"

namespace velmora::engine {

void KeyedList::Add(std::string item, std::string key) {
  if (!keys_.insert(key).second) throw Error::KeyAlreadyAssociated();
  entries_.push_back(Entry{std::move(key), std::move(item)});
}

std::vector<std::string> KeyedList::Items() const {
  std::vector<std::string> items;
  items.reserve(entries_.size());
  for (const Entry& e : entries_) items.push_back(e.item);
  return items;
}

}  // namespace velmora::engine
