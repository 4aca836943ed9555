#include "engine/keyed_list.h"

#include <algorithm>
#include <functional>

#include "engine/errors.h"

namespace velmora::engine {
namespace {

void PutVarint(std::string& out, size_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

// Reads what PutVarint wrote; the buffer is our own, never read from outside.
size_t GetVarint(const std::string& in, size_t& offset) {
  size_t v = 0;
  for (unsigned shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(in[offset++]);
    v |= static_cast<size_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return v;
  }
}

size_t SharedPrefix(std::string_view a, std::string_view b) {
  return static_cast<size_t>(
      std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin());
}

// One string stored against the same field of the previous entry (`base`, empty at a restart).
void PutField(std::string& out, std::string_view value, std::string_view base) {
  const size_t shared = SharedPrefix(value, base);
  PutVarint(out, shared);
  PutVarint(out, value.size() - shared);
  out.append(value.substr(shared));
}

void GetField(const std::string& in, size_t& offset, std::string& value) {
  const size_t shared = GetVarint(in, offset);
  const size_t rest = GetVarint(in, offset);
  value.resize(std::min(shared, value.size()));
  value.append(in, offset, rest);
  offset += rest;
}

}  // namespace

size_t KeyedList::Decode(size_t offset, Entry& e) const {
  GetField(bytes_, offset, e.item);
  GetField(bytes_, offset, e.key);
  return offset;
}

KeyedList::Entry KeyedList::At(size_t i) const {
  Entry e;
  size_t offset = restarts_[i / kRestartInterval];
  for (size_t k = i - i % kRestartInterval; k <= i; ++k) offset = Decode(offset, e);
  return e;
}

size_t KeyedList::FindSlot(const std::vector<uint32_t>& slots, std::string_view key) const {
  const size_t mask = slots.size() - 1;
  for (size_t s = std::hash<std::string_view>{}(key)&mask;; s = (s + 1) & mask) {
    if (slots[s] == 0 || At(slots[s] - 1).key == key) return s;
  }
}

void KeyedList::Rehash(size_t slot_count) {
  std::vector<uint32_t> slots(slot_count, 0);  // built aside, so that running out of memory changes nothing
  uint32_t number = 0;
  for (const Entry& e : entries()) slots[FindSlot(slots, e.key)] = ++number;
  slots_.swap(slots);
}

void KeyedList::Add(std::string item, std::string key) {
  if (!slots_.empty() && slots_[FindSlot(slots_, key)] != 0) throw Error::KeyAlreadyAssociated();
  if (count_ >= UINT32_MAX - 1) throw Error::Overflow();
  // The table stays at most half full, so a probe for a missing key ends after a couple of slots.
  if ((count_ + 1) * 2 > slots_.size()) Rehash(std::max<size_t>(64, slots_.size() * 2));

  const size_t old_size = bytes_.size(), old_restarts = restarts_.size();
  try {
    const bool restart = count_ % kRestartInterval == 0;
    if (restart) restarts_.push_back(bytes_.size());
    PutField(bytes_, item, restart ? std::string_view() : std::string_view(last_.item));
    PutField(bytes_, key, restart ? std::string_view() : std::string_view(last_.key));
  } catch (...) {
    bytes_.resize(old_size);  // out of memory: the list stays as it was
    restarts_.resize(old_restarts);
    throw;
  }
  slots_[FindSlot(slots_, key)] = static_cast<uint32_t>(++count_);
  last_ = Entry{std::move(key), std::move(item)};
}

std::vector<std::string> KeyedList::Items() const {
  std::vector<std::string> items;
  items.reserve(count_);
  for (const Entry& e : entries()) items.push_back(e.item);
  return items;
}

KeyedList::View::Iterator::Iterator(const KeyedList* list, size_t index) : list_(list), index_(index) {
  if (index_ == 0 && list_->count_ > 0) offset_ = list_->Decode(0, entry_);
}

KeyedList::View::Iterator& KeyedList::View::Iterator::operator++() {
  if (++index_ < list_->count_) {
    offset_ = list_->Decode(offset_, entry_);
  }
  return *this;
}

}  // namespace velmora::engine
