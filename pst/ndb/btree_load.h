// Reads an NBT or BBT from the file into a PageTree, trusting nothing: every page is checked (type, CRC,
// signature, BID, alignment, bounds, not on a map page), levels must step down by one, keys must ascend
// within the range the parent gave, branch keys must equal the child's first key, and a page reached twice
// (a cycle or a shared child) is corruption.
#pragma once

#include <set>
#include <string>

#include "pst/ndb/btree.h"
#include "pst/ndb/map_layout.h"

namespace velmora::pst {

// Reads one page at `ref` and checks it against `ptype` and the file's end.
Result<PageBytes> ReadPage(File& file, uint64_t file_eof, const Bref& ref, uint8_t ptype);

template <class Traits>
class TreeLoader {
 public:
  using Tree = PageTree<Traits>;
  using Page = typename Tree::Page;

  TreeLoader(File& file, uint64_t file_eof) : file_(file), eof_(file_eof) {}

  Status Load(const Bref& root, Tree* tree) {
    count_ = 0;
    visited_.clear();
    PST_ASSIGN_OR_RETURN(auto page, LoadPage(root, -1, 0, UINT64_MAX, true));
    tree->SetRoot(std::move(page), count_);
    return Status::Ok();
  }

 private:
  std::string Where(const Bref& ref) const {
    return PageTypeName(Traits::kPageType) + " BID " + std::to_string(ref.bid) + " at offset " +
           std::to_string(ref.ib);
  }

  // Keys of this page must lie in [lo, hi).
  Result<std::unique_ptr<Page>> LoadPage(const Bref& ref, int level, uint64_t lo, uint64_t hi, bool is_root) {
    if (!visited_.insert(ref.ib).second)
      return Status::Corruption(Where(ref) + ": page reached twice (cycle in the B-tree)");
    PST_ASSIGN_OR_RETURN(PageBytes bytes, ReadPage(file_, eof_, ref, Traits::kPageType));
    BtFooter f = LoadBtFooter(bytes);
    if (f.level >= kBtMaxLevels)
      return Status::Corruption(Where(ref) + ": cLevel " + std::to_string(f.level));
    if (level >= 0 && f.level != level)
      return Status::Corruption(Where(ref) + ": cLevel " + std::to_string(f.level) + ", expected " +
                                std::to_string(level));
    size_t cb = f.level ? kBtBranchEntrySize : Traits::kLeafSize;
    if (f.cb_ent != cb) return Status::Corruption(Where(ref) + ": cbEnt " + std::to_string(f.cb_ent));
    if (size_t{f.cent} * cb > kBtEntriesSize) return Status::Corruption(Where(ref) + ": cEnt too large");
    if (f.cent == 0 && (!is_root || f.level != 0)) return Status::Corruption(Where(ref) + ": empty page");
    auto page = std::make_unique<Page>();
    page->level = f.level;
    page->disk = ref;
    page->dirty = false;
    if (f.level == 0) {  // cEnt is checked against the page size above
      page->entries.reserve(f.cent);
    } else {
      page->keys.reserve(f.cent);
      page->kids.reserve(f.cent);
    }
    uint64_t prev = 0;
    for (size_t i = 0; i < f.cent; ++i) {
      const uint8_t* p = bytes.data() + i * cb;
      uint64_t key;
      Bref child;
      if (f.level == 0) {
        auto e = Traits::Load(p);
        key = Traits::Key(e);
        page->entries.push_back(e);
      } else {
        LoadBranchEntry(p, &key, &child);
        key = Traits::NormalizeKey(key);
      }
      if (key < lo || key >= hi || (i > 0 && key <= prev))
        return Status::Corruption(Where(ref) + ": key " + std::to_string(key) + " out of order");
      prev = key;
      if (f.level > 0) {
        page->keys.push_back(key);
        uint64_t next_hi = hi;
        if (i + 1 < f.cent) {
          uint64_t k2;
          Bref c2;
          LoadBranchEntry(bytes.data() + (i + 1) * cb, &k2, &c2);
          next_hi = std::min(hi, Traits::NormalizeKey(k2));
        }
        PST_ASSIGN_OR_RETURN(auto kid, LoadPage(child, f.level - 1, key, next_hi, false));
        if (kid->FirstKey() != key)
          return Status::Corruption(Where(ref) + ": key " + std::to_string(key) +
                                    " is not the first key of its child");
        page->kids.push_back(std::move(kid));
      }
    }
    if (f.level == 0) count_ += f.cent;
    return page;
  }

  File& file_;
  uint64_t eof_;
  size_t count_ = 0;
  std::set<uint64_t> visited_;
};

}  // namespace velmora::pst
