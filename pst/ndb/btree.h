// The NBT and BBT ([MS-PST] 2.2.2.7.7), read from the file page by page as they are needed.
//
// A page is referenced by a Slot: the BREF of its committed copy and, while the page is changed in memory,
// the page itself. Clean pages are not held by the tree: they are read through the ReadPageFn when a
// lookup reaches them, checked (the page by ReadPage; here its cLevel, cbEnt, cEnt, and keys ascending
// inside the range its parent gives, the first equal to the parent's key), and kept in a bounded cache.
// A change copies the pages on its path out of the cache into their slots (dirty); the copies on disk
// they replace are handed back by TakeFreed so the space map can free them once the next header is
// durable. Flush writes the dirty pages, each to a fresh place, children before parents (copy-on-write),
// and moves them to the cache: between commits only the changed pages and their ancestors stay in memory.
//
// Leaves split when they overflow (an append at the right edge leaves the left page full, so files
// written in key order pack their pages); a page that empties is removed; a root with one child gives way
// to the child. Branch keys are the smallest key of their child.
//
// Every read can fail (I/O, or a damaged page): the operations give a Status, and a failed change may
// leave pages marked dirty that the caller must not commit (the database fails itself on such errors).
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pst/ndb/file.h"
#include "pst/ndb/page.h"
#include "pst/ndb/page_cache.h"
#include "pst/ndb/page_set.h"

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

// Reads one page at `ref` and checks it against `ptype` and the file's end (read.cpp).
Result<PageBytes> ReadPage(File& file, uint64_t file_eof, const Bref& ref, uint8_t ptype);

template <class Traits>
class PageTree {
 public:
  using Entry = typename Traits::Entry;
  static constexpr size_t kLeafMax = kBtEntriesSize / Traits::kLeafSize;     // 15 NBT, 20 BBT
  static constexpr size_t kBranchMax = kBtEntriesSize / kBtBranchEntrySize;  // 20
  // Clean pages kept per tree: 512 pages (about 300 KiB) hold every branch page of a tree of up to 200,000
  // entries, so a lookup there reads at most its leaf; larger trees keep their upper levels, the right
  // edge the writer appends to, and the leaves of recent blocks that later changes reach again.
  static constexpr size_t kCachePages = 512;

  struct Page;
  struct Slot {
    Bref disk;                   // committed copy; bid 0 while the page is dirty
    std::unique_ptr<Page> page;  // the page while it is dirty; null for a clean page
  };
  struct Page {
    uint8_t level = 0;
    std::vector<Entry> entries;  // leaf
    std::vector<uint64_t> keys;  // branch: smallest key of each child
    std::vector<Slot> kids;      // branch
    size_t size() const { return level ? kids.size() : entries.size(); }
    uint64_t FirstKey() const { return level ? keys.front() : Traits::Key(entries.front()); }
    uint64_t LastKey() const { return level ? keys.back() : Traits::Key(entries.back()); }
  };
  using ReadPageFn = std::function<Result<PageBytes>(const Bref&)>;
  using AllocPage = std::function<Result<Bref>()>;
  using WritePage = std::function<Status(const Bref&, const PageBytes&)>;

  // A new, empty tree (its root is a dirty empty leaf). `read` gives the pages of committed copies.
  explicit PageTree(ReadPageFn read, size_t cache_pages = kCachePages)
      : read_(std::move(read)), cache_(std::max<size_t>(cache_pages, kBtMaxLevels)) {
    root_.page = std::make_unique<Page>();
  }

  // Starts from the committed tree at `root`, reading and checking its root page.
  Status Open(const Bref& root) {
    root_ = Slot{root, nullptr};
    Bound b{-1, 0, kNoBound, true};
    PST_ASSIGN_OR_RETURN(const Page* p, Get(root_, b));
    root_level_ = p->level;
    return Status::Ok();
  }

  uint8_t levels() const { return static_cast<uint8_t>(root_level_ + 1); }
  bool dirty() const { return root_.page != nullptr; }
  const Bref& root_ref() const { return root_.disk; }
  size_t cached_pages() const { return cache_.size(); }

  Result<std::optional<Entry>> Find(uint64_t key) {
    Bound b = RootBound();
    PST_ASSIGN_OR_RETURN(const Page* p, Get(root_, b));
    while (p->level) {
      PST_ASSIGN_OR_RETURN(p, Child(*p, ChildIndex(*p, key), &b));
    }
    auto it = LowerBound(p->entries, key);
    if (it != p->entries.end() && Traits::Key(*it) == key) return std::optional<Entry>(*it);
    return std::optional<Entry>();
  }

  // Inserts or replaces; gives back the replaced entry.
  Result<std::optional<Entry>> Upsert(const Entry& e) {
    std::optional<Entry> old;
    PST_ASSIGN_OR_RETURN(std::unique_ptr<Page> right, Insert(root_, e, RootBound(), &old));
    if (right) {
      auto top = std::make_unique<Page>();
      top->level = static_cast<uint8_t>(root_level_ + 1);
      top->keys = {root_.page->FirstKey(), right->FirstKey()};
      top->kids.push_back(std::move(root_));
      top->kids.push_back(Slot{{}, std::move(right)});
      root_ = Slot{{}, std::move(top)};
      ++root_level_;
    }
    return old;
  }

  Result<std::optional<Entry>> Erase(uint64_t key) {
    PST_ASSIGN_OR_RETURN(std::optional<Entry> found, Find(key));  // only a present key dirties the path
    if (!found) return found;
    PST_ASSIGN_OR_RETURN(std::optional<Entry> gone, Remove(root_, key, RootBound()));
    while (root_.page && root_level_ && root_.page->kids.size() == 1) {  // a root with one child gives way
      Slot child = std::move(root_.page->kids.front());
      root_ = std::move(child);
      --root_level_;
    }
    if (root_.page && root_level_ && root_.page->kids.empty()) {
      root_.page = std::make_unique<Page>();
      root_level_ = 0;
    }
    return gone;
  }

  // Every entry in key order, one leaf at a time; stops at the first error. The callback may change the
  // tree: entries it adds or removes past the leaf being walked may or may not be seen.
  Status ForEach(const std::function<Status(const Entry&)>& fn) {
    uint64_t from = 0;
    std::vector<Entry> batch;
    while (true) {
      uint64_t next;
      PST_RETURN_IF_ERROR(LeafFrom(from, &batch, &next));
      for (const Entry& e : batch) PST_RETURN_IF_ERROR(fn(e));
      if (next == kNoBound) return Status::Ok();
      from = next;
    }
  }

  // Every page, parents before children, with the BREF of its committed copy (bid 0 for a dirty page).
  // Each page read is checked; with `seen`, a committed page reached twice (a cycle, or a child shared by
  // two parents) is corruption. The callback must not change the tree.
  Status ForEachPage(const std::function<Status(const Bref&, const Page&)>& fn, PageSet* seen = nullptr) {
    return WalkPages(root_, RootBound(), fn, seen);
  }

  // Writes every dirty page to a place from `alloc`, children first.
  Status Flush(const AllocPage& alloc, const WritePage& write) { return FlushPage(root_, alloc, write); }
  // Committed page copies replaced or dropped since the last call.
  std::vector<Bref> TakeFreed() { return std::exchange(freed_, {}); }

 private:
  static constexpr uint64_t kNoBound = UINT64_MAX;
  // What the parent says of a child: its level (-1: any), the key it must start with and the key every
  // key in it must stay below. The root has no parent: any first key, and it may be an empty leaf.
  struct Bound {
    int level;
    uint64_t first;
    uint64_t hi;
    bool root = false;
  };
  struct Cached {
    Bid bid = 0;
    Page page;
  };

  Bound RootBound() const { return {root_level_, 0, kNoBound, true}; }
  static Bound ChildBound(const Page& p, size_t i, uint64_t hi) {
    return {p.level - 1, p.keys[i], i + 1 < p.keys.size() ? p.keys[i + 1] : hi};
  }

  static typename std::vector<Entry>::const_iterator LowerBound(const std::vector<Entry>& v, uint64_t key) {
    return std::lower_bound(v.begin(), v.end(), key,
                            [](const Entry& e, uint64_t k) { return Traits::Key(e) < k; });
  }
  static typename std::vector<Entry>::iterator LowerBound(std::vector<Entry>& v, uint64_t key) {
    return std::lower_bound(v.begin(), v.end(), key,
                            [](const Entry& e, uint64_t k) { return Traits::Key(e) < k; });
  }
  static size_t ChildIndex(const Page& p, uint64_t key) {
    size_t i = std::upper_bound(p.keys.begin(), p.keys.end(), key) - p.keys.begin();
    return i == 0 ? 0 : i - 1;
  }

  static std::string Where(const Bref& ref) {
    return PageTypeName(Traits::kPageType) + " BID " + std::to_string(ref.bid) + " at offset " +
           std::to_string(ref.ib);
  }

  // The page of a slot: its dirty copy, or the committed one from the cache or the file, checked against
  // what its parent says of it.
  Result<const Page*> Get(const Slot& s, const Bound& b) {
    if (s.page) return s.page.get();  // built here, not read
    const Bref ref = s.disk;          // `s` may live in a cached page that the insert below evicts
    const Cached* c = cache_.Find(ref.ib);
    if (c && c->bid == ref.bid) {
      PST_RETURN_IF_ERROR(CheckBound(ref, c->page, b));
      return &c->page;
    }
    PST_ASSIGN_OR_RETURN(PageBytes bytes, read_(ref));
    PST_ASSIGN_OR_RETURN(Page page, Parse(ref, bytes, b));
    PST_RETURN_IF_ERROR(CheckBound(ref, page, b));
    return &cache_.Insert(ref.ib, Cached{ref.bid, std::move(page)})->page;
  }
  Result<const Page*> Child(const Page& p, size_t i, Bound* b) {
    *b = ChildBound(p, i, b->hi);
    return Get(p.kids[i], *b);
  }

  static Status CheckBound(const Bref& ref, const Page& p, const Bound& b) {
    if (b.level >= 0 && p.level != b.level)
      return Status::Corruption(Where(ref) + ": cLevel " + std::to_string(p.level) + ", expected " +
                                std::to_string(b.level));
    if (p.size() == 0) return Status::Ok();  // the empty root leaf (Parse refuses any other empty page)
    if (!b.root && p.FirstKey() != b.first)
      return Status::Corruption(Where(ref) + ": first key " + std::to_string(p.FirstKey()) +
                                " is not the key " + std::to_string(b.first) + " its parent gives");
    if (p.LastKey() >= b.hi || p.FirstKey() < b.first)
      return Status::Corruption(Where(ref) + ": key " + std::to_string(p.LastKey()) + " out of order");
    return Status::Ok();
  }

  // One page's bytes (already checked by ReadPage) turned into a Page, trusting nothing in them.
  static Result<Page> Parse(const Bref& ref, const PageBytes& bytes, const Bound& b) {
    BtFooter f = LoadBtFooter(bytes);
    if (f.level >= kBtMaxLevels)
      return Status::Corruption(Where(ref) + ": cLevel " + std::to_string(f.level));
    if (b.level >= 0 && f.level != b.level)
      return Status::Corruption(Where(ref) + ": cLevel " + std::to_string(f.level) + ", expected " +
                                std::to_string(b.level));
    size_t cb = f.level ? kBtBranchEntrySize : Traits::kLeafSize;
    if (f.cb_ent != cb) return Status::Corruption(Where(ref) + ": cbEnt " + std::to_string(f.cb_ent));
    if (size_t{f.cent} * cb > kBtEntriesSize) return Status::Corruption(Where(ref) + ": cEnt too large");
    if (f.cent == 0 && (!b.root || f.level != 0)) return Status::Corruption(Where(ref) + ": empty page");
    Page page;
    page.level = f.level;
    if (f.level == 0) {
      page.entries.reserve(f.cent);
    } else {
      page.keys.reserve(f.cent);
      page.kids.reserve(f.cent);
    }
    uint64_t prev = 0;
    for (size_t i = 0; i < f.cent; ++i) {
      const uint8_t* p = bytes.data() + i * cb;
      uint64_t key;
      if (f.level == 0) {
        page.entries.push_back(Traits::Load(p));
        key = Traits::Key(page.entries.back());
      } else {
        Bref child;
        LoadBranchEntry(p, &key, &child);
        key = Traits::NormalizeKey(key);
        page.keys.push_back(key);
        page.kids.push_back(Slot{child, nullptr});
      }
      if (key < b.first || key >= b.hi || (i > 0 && key <= prev))
        return Status::Corruption(Where(ref) + ": key " + std::to_string(key) + " out of order");
      prev = key;
    }
    return page;
  }

  // Makes the slot's page dirty: a clean page is copied out of the cache and its committed copy freed.
  Result<Page*> Own(Slot& s, const Bound& b) {
    if (s.page) return s.page.get();
    PST_ASSIGN_OR_RETURN(const Page* clean, Get(s, b));
    auto page = std::make_unique<Page>();
    page->level = clean->level;
    // A page holds at most max + 1 entries for a moment, so that is all it reserves: growing by doubling
    // would leave a full BBT leaf with room for 32 entries, a third of the index wasted.
    if (clean->level == 0) {
      page->entries.reserve(kLeafMax + 1);
      page->entries = clean->entries;
    } else {
      page->keys.reserve(kBranchMax + 1);
      page->kids.reserve(kBranchMax + 1);
      page->keys = clean->keys;
      for (const Slot& k : clean->kids) page->kids.push_back(Slot{k.disk, nullptr});
    }
    Drop(s.disk);
    s.disk = {};
    s.page = std::move(page);
    return s.page.get();
  }
  void Drop(const Bref& disk) {
    if (disk.bid == 0) return;
    cache_.Erase(disk.ib);
    freed_.push_back(disk);
  }

  Result<std::unique_ptr<Page>> Insert(Slot& s, const Entry& e, const Bound& b, std::optional<Entry>* old) {
    PST_ASSIGN_OR_RETURN(Page * p, Own(s, b));
    uint64_t key = Traits::Key(e);
    if (p->level == 0) {
      if (p->entries.capacity() < kLeafMax + 1) p->entries.reserve(kLeafMax + 1);
      auto it = LowerBound(p->entries, key);
      if (it != p->entries.end() && Traits::Key(*it) == key) {
        *old = *it;
        *it = e;
        return std::unique_ptr<Page>();
      }
      bool at_end = it == p->entries.end();
      p->entries.insert(it, e);
      if (p->entries.size() <= kLeafMax) return std::unique_ptr<Page>();
      auto right = std::make_unique<Page>();
      size_t keep = at_end ? kLeafMax : p->entries.size() / 2;
      right->entries.reserve(kLeafMax + 1);
      right->entries.assign(p->entries.begin() + keep, p->entries.end());
      p->entries.resize(keep);
      return right;
    }
    size_t i = ChildIndex(*p, key);
    PST_ASSIGN_OR_RETURN(std::unique_ptr<Page> split, Insert(p->kids[i], e, ChildBound(*p, i, b.hi), old));
    p->keys[i] = p->kids[i].page->FirstKey();
    if (!split) return std::unique_ptr<Page>();
    bool at_end = i + 1 == p->kids.size();
    if (p->kids.capacity() < kBranchMax + 1) {
      p->keys.reserve(kBranchMax + 1);
      p->kids.reserve(kBranchMax + 1);
    }
    p->keys.insert(p->keys.begin() + i + 1, split->FirstKey());
    p->kids.insert(p->kids.begin() + i + 1, Slot{{}, std::move(split)});
    if (p->kids.size() <= kBranchMax) return std::unique_ptr<Page>();
    auto right = std::make_unique<Page>();
    right->level = p->level;
    size_t keep = at_end ? kBranchMax : p->kids.size() / 2;
    right->keys.assign(p->keys.begin() + keep, p->keys.end());
    right->kids.reserve(kBranchMax + 1);
    for (size_t k = keep; k < p->kids.size(); ++k) right->kids.push_back(std::move(p->kids[k]));
    p->keys.resize(keep);
    p->kids.resize(keep);
    return right;
  }

  // Removes a key Find has seen, dirtying the pages on its path.
  Result<std::optional<Entry>> Remove(Slot& s, uint64_t key, const Bound& b) {
    PST_ASSIGN_OR_RETURN(Page * p, Own(s, b));
    if (p->level == 0) {
      auto it = LowerBound(p->entries, key);
      if (it == p->entries.end() || Traits::Key(*it) != key) return std::optional<Entry>();
      Entry gone = *it;
      p->entries.erase(it);
      return std::optional<Entry>(gone);
    }
    size_t i = ChildIndex(*p, key);
    PST_ASSIGN_OR_RETURN(std::optional<Entry> gone, Remove(p->kids[i], key, ChildBound(*p, i, b.hi)));
    if (!gone) return gone;
    if (p->kids[i].page->size() == 0) {  // its committed copy was freed when it was made dirty
      p->kids.erase(p->kids.begin() + i);
      p->keys.erase(p->keys.begin() + i);
    } else {
      p->keys[i] = p->kids[i].page->FirstKey();
    }
    return gone;
  }

  // The entries of the leaf whose range holds `key`, from `key` on, and the first key past that leaf
  // (kNoBound after the last).
  Status LeafFrom(uint64_t key, std::vector<Entry>* out, uint64_t* next) {
    out->clear();
    Bound b = RootBound();
    PST_ASSIGN_OR_RETURN(const Page* p, Get(root_, b));
    while (p->level) {
      PST_ASSIGN_OR_RETURN(p, Child(*p, ChildIndex(*p, key), &b));
    }
    out->assign(LowerBound(p->entries, key), p->entries.cend());
    *next = b.hi;
    return Status::Ok();
  }

  Status WalkPages(const Slot& s, const Bound& b, const std::function<Status(const Bref&, const Page&)>& fn,
                   PageSet* seen) {
    const Bref ref = s.disk;
    if (!s.page && seen && !seen->Insert(ref.ib))
      return Status::Corruption(Where(ref) + ": page reached twice (cycle in the B-tree)");
    PST_ASSIGN_OR_RETURN(const Page* p, Get(s, b));
    PST_RETURN_IF_ERROR(fn(ref, *p));
    if (p->level == 0) return Status::Ok();
    // The children's slots and keys are copied: reading a child may evict this page from the cache.
    struct Kid {
      const Slot* dirty;
      Slot clean;
      Bound bound;
    };
    std::vector<Kid> kids;
    kids.reserve(p->kids.size());
    for (size_t i = 0; i < p->kids.size(); ++i)
      kids.push_back(
          {p->kids[i].page ? &p->kids[i] : nullptr, Slot{p->kids[i].disk, nullptr}, ChildBound(*p, i, b.hi)});
    for (const Kid& k : kids) PST_RETURN_IF_ERROR(WalkPages(k.dirty ? *k.dirty : k.clean, k.bound, fn, seen));
    return Status::Ok();
  }

  Status FlushPage(Slot& s, const AllocPage& alloc, const WritePage& write) {
    if (!s.page) return Status::Ok();
    Page* p = s.page.get();
    for (Slot& k : p->kids) PST_RETURN_IF_ERROR(FlushPage(k, alloc, write));
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
        StoreBranchEntry(page.data() + i * kBtBranchEntrySize, p->keys[i], p->kids[i].disk);
      footer.cent = static_cast<uint8_t>(p->kids.size());
      footer.cent_max = static_cast<uint8_t>(kBranchMax);
      footer.cb_ent = static_cast<uint8_t>(kBtBranchEntrySize);
    }
    StoreBtFooter(page, footer);
    SealPage(page, Traits::kPageType, where.bid, where.ib);
    PST_RETURN_IF_ERROR(write(where, page));
    s.disk = where;
    cache_.Insert(where.ib, Cached{where.bid, std::move(*p)});
    s.page.reset();
    return Status::Ok();
  }

  ReadPageFn read_;
  PageCache<Cached> cache_;
  Slot root_;
  int root_level_ = 0;
  std::vector<Bref> freed_;
};

using NodeTree = PageTree<NbtTraits>;
using BlockTree = PageTree<BbtTraits>;

}  // namespace velmora::pst
