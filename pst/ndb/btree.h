// The NBT and BBT held in memory as the pages they are on disk ([MS-PST] 2.2.2.7.7). A loaded page keeps
// the BREF of its committed copy; a change marks the page and its ancestors dirty, and Flush writes only the
// dirty pages, each to a fresh place, children before parents (copy-on-write). The committed copies they
// replace are handed back by TakeFreed so the space map can free them once the next header is durable.
//
// Leaves split when they overflow (an append at the right edge leaves the left page full, so files
// written in key order pack their pages); a page that empties is removed; a root with one child gives way
// to the child. Branch keys are the smallest key of their child.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "pst/ndb/file.h"
#include "pst/ndb/page.h"

namespace velmora::pst {

struct NbtTraits {
  using Entry = NodeEntry;
  static constexpr uint8_t kPageType = kPageTypeNbt;
  static constexpr size_t kLeafSize = kNbtLeafEntrySize;
  static uint64_t Key(const Entry& e) { return e.nid; }
  static uint64_t NormalizeKey(uint64_t k) { return k & 0xFFFFFFFFu; }  // NIDs are 32 bits in 8-byte fields
  static void Store(uint8_t* p, const Entry& e) { StoreNbtEntry(p, e); }
  static Entry Load(const uint8_t* p) { return LoadNbtEntry(p); }
};

struct BbtTraits {
  using Entry = BbtEntry;
  static constexpr uint8_t kPageType = kPageTypeBbt;
  static constexpr size_t kLeafSize = kBbtLeafEntrySize;
  static uint64_t Key(const Entry& e) { return e.bid; }
  static uint64_t NormalizeKey(uint64_t k) { return k & ~uint64_t{1}; }  // bit 0 of a BID is reserved
  static void Store(uint8_t* p, const Entry& e) { StoreBbtEntry(p, e); }
  static Entry Load(const uint8_t* p) { return LoadBbtEntry(p); }
};

template <class Traits>
class PageTree {
 public:
  using Entry = typename Traits::Entry;
  static constexpr size_t kLeafMax = kBtEntriesSize / Traits::kLeafSize;     // 15 NBT, 20 BBT
  static constexpr size_t kBranchMax = kBtEntriesSize / kBtBranchEntrySize;  // 20

  struct Page {
    uint8_t level = 0;
    std::vector<Entry> entries;               // leaf
    std::vector<uint64_t> keys;               // branch: smallest key of each child
    std::vector<std::unique_ptr<Page>> kids;  // branch
    Bref disk;                                // committed copy; bid 0 = none yet
    bool dirty = true;
    size_t size() const { return level ? kids.size() : entries.size(); }
    uint64_t FirstKey() const { return level ? keys.front() : Traits::Key(entries.front()); }
  };
  using AllocPage = std::function<Result<Bref>()>;
  using WritePage = std::function<Status(const Bref&, const PageBytes&)>;

  PageTree() : root_(std::make_unique<Page>()) {}

  void SetRoot(std::unique_ptr<Page> root, size_t count) {
    root_ = std::move(root);
    count_ = count;
  }
  size_t size() const { return count_; }
  uint8_t levels() const { return static_cast<uint8_t>(root_->level + 1); }
  bool dirty() const { return root_->dirty; }
  const Bref& root_ref() const { return root_->disk; }

  const Entry* Find(uint64_t key) const {
    const Page* p = root_.get();
    while (p->level) p = p->kids[ChildIndex(*p, key)].get();
    auto it = LowerBound(*p, key);
    return it != p->entries.end() && Traits::Key(*it) == key ? &*it : nullptr;
  }

  // Inserts or replaces; gives back the replaced entry.
  std::optional<Entry> Upsert(const Entry& e) {
    std::optional<Entry> old;
    std::unique_ptr<Page> right = Insert(root_.get(), e, &old);
    if (right) {
      auto top = std::make_unique<Page>();
      top->level = static_cast<uint8_t>(root_->level + 1);
      top->keys = {root_->FirstKey(), right->FirstKey()};
      top->kids.push_back(std::move(root_));
      top->kids.push_back(std::move(right));
      root_ = std::move(top);
    }
    if (!old) ++count_;
    return old;
  }

  std::optional<Entry> Erase(uint64_t key) {
    std::optional<Entry> gone = Remove(root_.get(), key);
    if (!gone) return gone;
    --count_;
    while (root_->level && root_->kids.size() == 1) {  // a root with one child gives way to it
      std::unique_ptr<Page> child = std::move(root_->kids.front());
      Drop(*root_);
      root_ = std::move(child);
      MarkDirty(root_.get());
    }
    if (root_->level && root_->kids.empty()) {
      Drop(*root_);
      root_ = std::make_unique<Page>();
    }
    return gone;
  }

  // Every entry in key order; stops at the first error.
  Status ForEach(const std::function<Status(const Entry&)>& fn) const { return Walk(*root_, fn); }
  void ForEachPage(const std::function<void(const Page&)>& fn) const { WalkPages(*root_, fn); }

  // Writes every dirty page to a place from `alloc`, children first.
  Status Flush(const AllocPage& alloc, const WritePage& write) {
    return FlushPage(root_.get(), alloc, write);
  }
  // Committed page copies replaced or dropped since the last call.
  std::vector<Bref> TakeFreed() { return std::exchange(freed_, {}); }

 private:
  static typename std::vector<Entry>::iterator LowerBound(Page& p, uint64_t key) {
    return std::lower_bound(p.entries.begin(), p.entries.end(), key,
                            [](const Entry& e, uint64_t k) { return Traits::Key(e) < k; });
  }
  static typename std::vector<Entry>::const_iterator LowerBound(const Page& p, uint64_t key) {
    return std::lower_bound(p.entries.begin(), p.entries.end(), key,
                            [](const Entry& e, uint64_t k) { return Traits::Key(e) < k; });
  }
  static size_t ChildIndex(const Page& p, uint64_t key) {
    size_t i = std::upper_bound(p.keys.begin(), p.keys.end(), key) - p.keys.begin();
    return i == 0 ? 0 : i - 1;
  }
  void Drop(const Page& p) {
    if (p.disk.bid != 0) freed_.push_back(p.disk);
  }
  void MarkDirty(Page* p) {
    if (p->dirty) return;
    Drop(*p);
    p->disk = {};
    p->dirty = true;
  }

  std::unique_ptr<Page> Insert(Page* p, const Entry& e, std::optional<Entry>* old) {
    MarkDirty(p);
    uint64_t key = Traits::Key(e);
    if (p->level == 0) {
      // A leaf holds at most kLeafMax + 1 entries for a moment, so that is all it reserves: growing by
      // doubling would leave a full BBT leaf with room for 32 entries, a third of the index wasted.
      if (p->entries.capacity() < kLeafMax + 1) p->entries.reserve(kLeafMax + 1);
      auto it = LowerBound(*p, key);
      if (it != p->entries.end() && Traits::Key(*it) == key) {
        *old = *it;
        *it = e;
        return nullptr;
      }
      bool at_end = it == p->entries.end();
      p->entries.insert(it, e);
      if (p->entries.size() <= kLeafMax) return nullptr;
      auto right = std::make_unique<Page>();
      size_t keep = at_end ? kLeafMax : p->entries.size() / 2;
      right->entries.reserve(kLeafMax + 1);
      right->entries.assign(p->entries.begin() + keep, p->entries.end());
      p->entries.resize(keep);
      return right;
    }
    size_t i = ChildIndex(*p, key);
    std::unique_ptr<Page> split = Insert(p->kids[i].get(), e, old);
    p->keys[i] = p->kids[i]->FirstKey();
    if (!split) return nullptr;
    bool at_end = i + 1 == p->kids.size();
    if (p->kids.capacity() < kBranchMax + 1) {  // as for leaves: at most kBranchMax + 1 children for a moment
      p->keys.reserve(kBranchMax + 1);
      p->kids.reserve(kBranchMax + 1);
    }
    p->keys.insert(p->keys.begin() + i + 1, split->FirstKey());
    p->kids.insert(p->kids.begin() + i + 1, std::move(split));
    if (p->kids.size() <= kBranchMax) return nullptr;
    auto right = std::make_unique<Page>();
    right->level = p->level;
    size_t keep = at_end ? kBranchMax : p->kids.size() / 2;
    right->keys.assign(p->keys.begin() + keep, p->keys.end());
    for (size_t k = keep; k < p->kids.size(); ++k) right->kids.push_back(std::move(p->kids[k]));
    p->keys.resize(keep);
    p->kids.resize(keep);
    return right;
  }

  std::optional<Entry> Remove(Page* p, uint64_t key) {
    if (p->level == 0) {
      auto it = LowerBound(*p, key);
      if (it == p->entries.end() || Traits::Key(*it) != key) return std::nullopt;
      MarkDirty(p);
      Entry gone = *it;
      p->entries.erase(it);
      return gone;
    }
    size_t i = ChildIndex(*p, key);
    std::optional<Entry> gone = Remove(p->kids[i].get(), key);
    if (!gone) return gone;
    MarkDirty(p);
    if (p->kids[i]->size() == 0) {
      DropTree(*p->kids[i]);
      p->kids.erase(p->kids.begin() + i);
      p->keys.erase(p->keys.begin() + i);
    } else {
      p->keys[i] = p->kids[i]->FirstKey();
    }
    return gone;
  }
  void DropTree(const Page& p) {
    Drop(p);
    for (const auto& k : p.kids) DropTree(*k);
  }

  Status Walk(const Page& p, const std::function<Status(const Entry&)>& fn) const {
    if (p.level == 0) {
      for (const Entry& e : p.entries) PST_RETURN_IF_ERROR(fn(e));
      return Status::Ok();
    }
    for (const auto& k : p.kids) PST_RETURN_IF_ERROR(Walk(*k, fn));
    return Status::Ok();
  }
  void WalkPages(const Page& p, const std::function<void(const Page&)>& fn) const {
    fn(p);
    for (const auto& k : p.kids) WalkPages(*k, fn);
  }

  Status FlushPage(Page* p, const AllocPage& alloc, const WritePage& write) {
    if (!p->dirty) return Status::Ok();
    for (auto& k : p->kids) PST_RETURN_IF_ERROR(FlushPage(k.get(), alloc, write));
    PST_ASSIGN_OR_RETURN(Bref where, alloc());
    PageBytes page{};
    BtFooter footer;
    footer.level = p->level;
    if (p->level == 0) {
      for (size_t i = 0; i < p->entries.size(); ++i)
        Traits::Store(page.data() + i * Traits::kLeafSize, p->entries[i]);
      footer.cent = static_cast<uint8_t>(p->entries.size());
      footer.cent_max = static_cast<uint8_t>(kLeafMax);
      footer.cb_ent = static_cast<uint8_t>(Traits::kLeafSize);
    } else {
      for (size_t i = 0; i < p->kids.size(); ++i)
        StoreBranchEntry(page.data() + i * kBtBranchEntrySize, p->keys[i], p->kids[i]->disk);
      footer.cent = static_cast<uint8_t>(p->kids.size());
      footer.cent_max = static_cast<uint8_t>(kBranchMax);
      footer.cb_ent = static_cast<uint8_t>(kBtBranchEntrySize);
    }
    StoreBtFooter(page, footer);
    SealPage(page, Traits::kPageType, where.bid, where.ib);
    PST_RETURN_IF_ERROR(write(where, page));
    p->disk = where;
    p->dirty = false;
    return Status::Ok();
  }

  std::unique_ptr<Page> root_;
  size_t count_ = 0;
  std::vector<Bref> freed_;
};

using NodeTree = PageTree<NbtTraits>;
using BlockTree = PageTree<BbtTraits>;

}  // namespace velmora::pst
