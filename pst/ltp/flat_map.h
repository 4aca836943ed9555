// A map kept as one sorted vector, for the property maps and table rows that every message makes by the
// dozen: one allocation for the whole map instead of a tree node per entry, entries side by side, and a copy
// that is one block. It answers as std::map does for what this code asks of a map (find, operator[],
// try_emplace, erase, ordered iteration over {key, value} pairs), with one difference to mind: adding or
// erasing an entry moves the others, so no reference or iterator into the map outlives a change of its keys.
//
// Adding keys in ascending order (how every writer and reader here fills a map) appends; adding a key below
// the last moves the entries above it. A map filled from data that is not trusted to be sorted is filled with
// FromUnsorted, which sorts once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

namespace velmora::pst {

template <typename Key, typename Value>
class FlatMap {
 public:
  using key_type = Key;
  using mapped_type = Value;
  using value_type = std::pair<Key, Value>;
  using iterator = typename std::vector<value_type>::iterator;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  FlatMap() = default;
  FlatMap(std::initializer_list<value_type> entries) : FlatMap(FromUnsorted(entries)) {}

  // The map of `entries`, in any order; of entries with equal keys the first is kept (as std::map's insert).
  static FlatMap FromUnsorted(std::vector<value_type> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const value_type& a, const value_type& b) { return a.first < b.first; });
    auto last = std::unique(entries.begin(), entries.end(),
                            [](const value_type& a, const value_type& b) { return a.first == b.first; });
    entries.erase(last, entries.end());
    FlatMap m;
    m.entries_ = std::move(entries);
    return m;
  }

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  const_iterator cbegin() const { return entries_.begin(); }
  const_iterator cend() const { return entries_.end(); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }
  void reserve(size_t n) { entries_.reserve(n); }

  iterator lower_bound(const Key& k) {
    if (entries_.empty() || entries_.back().first < k) return entries_.end();
    return std::lower_bound(entries_.begin(), entries_.end(), k,
                            [](const value_type& e, const Key& key) { return e.first < key; });
  }
  const_iterator lower_bound(const Key& k) const { return const_cast<FlatMap*>(this)->lower_bound(k); }
  iterator find(const Key& k) {
    auto it = lower_bound(k);
    return it != end() && it->first == k ? it : end();
  }
  const_iterator find(const Key& k) const { return const_cast<FlatMap*>(this)->find(k); }
  size_t count(const Key& k) const { return find(k) != end() ? 1 : 0; }
  bool contains(const Key& k) const { return find(k) != end(); }

  Value& at(const Key& k) {
    auto it = find(k);
    if (it == end()) throw std::out_of_range("FlatMap::at");
    return it->second;
  }
  const Value& at(const Key& k) const { return const_cast<FlatMap*>(this)->at(k); }

  template <typename... Args>
  std::pair<iterator, bool> try_emplace(const Key& k, Args&&... args) {
    auto it = lower_bound(k);
    if (it != end() && it->first == k) return {it, false};
    it = entries_.emplace(it, std::piecewise_construct, std::forward_as_tuple(k),
                          std::forward_as_tuple(std::forward<Args>(args)...));
    return {it, true};
  }
  template <typename... Args>
  iterator emplace_hint(const_iterator, const Key& k, Args&&... args) {
    return try_emplace(k, std::forward<Args>(args)...).first;
  }
  template <typename V>
  std::pair<iterator, bool> emplace(const Key& k, V&& v) {
    return try_emplace(k, std::forward<V>(v));
  }
  std::pair<iterator, bool> insert(value_type e) { return try_emplace(e.first, std::move(e.second)); }
  template <typename V>
  std::pair<iterator, bool> insert_or_assign(const Key& k, V&& v) {
    auto [it, added] = try_emplace(k);
    it->second = std::forward<V>(v);
    return {it, added};
  }
  Value& operator[](const Key& k) { return try_emplace(k).first->second; }

  iterator erase(const_iterator it) { return entries_.erase(it); }
  iterator erase(iterator it) { return entries_.erase(it); }
  size_t erase(const Key& k) {
    auto it = find(k);
    if (it == end()) return 0;
    entries_.erase(it);
    return 1;
  }

  bool operator==(const FlatMap& other) const = default;

 private:
  std::vector<value_type> entries_;
};

}  // namespace velmora::pst
