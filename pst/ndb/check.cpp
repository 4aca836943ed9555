#include "pst/ndb/check.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "pst/ndb/map_layout.h"
#include "pst/ndb/page_set.h"
#include "pst/ndb/ref_counts.h"

namespace velmora::pst {
namespace {

constexpr size_t kMaxErrors = 100;  // enough to see the pattern of a damaged file

class Checker {
 public:
  Checker(File& file, CheckReport* report)
      : file_(file),
        r_(*report),
        nbt_([this](const Bref& r) { return ReadPage(file_, h_.file_eof, r, kPageTypeNbt); }),
        bbt_([this](const Bref& r) { return ReadPage(file_, h_.file_eof, r, kPageTypeBbt); }) {}

  void Run() {
    if (!ReadHeader()) return;
    if (!LoadTrees()) return;
    CheckCounters();
    CheckBlocks();
    CheckReferences();
    CheckMaps();
    CheckDList();
  }

 private:
  // What the reference checks need of an internal block: 24 bytes.
  struct InternalInfo {
    Bid bid = 0;
    uint32_t total = 0;     // lcbTotal of an XBLOCK or XXBLOCK
    Nid first_sl = 0;       // the first NID of an SLBLOCK
    uint16_t children = 0;  // entries of an XBLOCK or XXBLOCK (at most 1,021)
    uint8_t btype = 0;
    uint8_t level = 0;
    bool has_sl = false;
  };

  void Error(std::string m) {
    if (r_.errors.size() < kMaxErrors) r_.errors.push_back(std::move(m));
  }
  void Report(const Status& s) {
    if (!s.ok()) Error(s.ToString());
  }
  void Mendable(std::string m) {
    if (r_.errors.size() < kMaxErrors) r_.mendable.push_back(m);
    Error(std::move(m));
  }

  bool ReadHeader() {
    auto size = file_.Size();
    if (!size.ok()) return Error(size.status().ToString()), false;
    size_ = *size;
    std::vector<uint8_t> bytes(std::min<uint64_t>(size_, kHeaderSize));
    if (Status s = file_.ReadAt(0, bytes); !s.ok()) return Error(s.ToString()), false;
    auto h = ParseHeader(bytes);
    if (!h.ok()) return Error(h.status().ToString()), false;
    h_ = *h;
    if (!IsKnownCryptMethod(h_.crypt_method))
      return Error("header: unknown bCryptMethod " + Hex(h_.crypt_method)), false;
    crypt_ = static_cast<CryptMethod>(h_.crypt_method);
    r_.sections = SectionsForFileSize(h_.file_eof);
    if (r_.sections == 0)
      return Error("header: ibFileEof " + Hex(h_.file_eof) + " is not a section boundary"), false;
    if (size_ < h_.file_eof)
      return Error("file truncated: " + std::to_string(size_) + " bytes, ibFileEof " +
                   std::to_string(h_.file_eof)),
             false;
    if (size_ > h_.file_eof)
      r_.notes.push_back("the file runs past ibFileEof (bytes of an unfinished commit)");
    if (h_.amap_last != SectionOffset(r_.sections - 1))
      Error("header: ibAMapLast " + Hex(h_.amap_last) + " is wrong");
    if (h_.amap_valid != kAMapValid2) r_.notes.push_back("fAMapValid is not 2: readers rebuild the maps");
    return true;
  }

  // Walks every page of both trees once, checking each (a page reached twice is a cycle) and claiming its
  // space; the trees are then read again page by page by the checks below, never held whole.
  bool LoadTrees() {
    expected_ = std::make_unique<SpaceMap>(r_.sections, UINT64_MAX);
    PageSet seen(h_.file_eof);
    auto claim = [&](uint8_t ptype, const Bref& ref) {
      ++r_.pages;
      max_page_bid_ = std::max(max_page_bid_, ref.bid);
      if (!expected_->MarkUsed(ref.ib, kPageSize))
        Error(PageTypeName(ptype) + " at offset " + Hex(ref.ib) + " overlaps another allocation");
      return Status::Ok();
    };
    Status s = nbt_.Open(h_.nbt);
    if (s.ok())
      s = nbt_.ForEachPage(
          [&](const Bref& ref, const NodeTree::Page& p) {
            r_.nodes += p.entries.size();
            return claim(kPageTypeNbt, ref);
          },
          &seen);
    if (s.ok()) s = bbt_.Open(h_.bbt);
    if (s.ok())
      s = bbt_.ForEachPage(
          [&](const Bref& ref, const BlockTree::Page& p) {
            r_.blocks += p.entries.size();
            return claim(kPageTypeBbt, ref);
          },
          &seen);
    if (!s.ok()) return Error(s.ToString()), false;
    return true;
  }

  void CheckCounters() {
    if (max_page_bid_ >= h_.bid_next_p)
      Mendable("bidNextP " + Hex(h_.bid_next_p) + " is not above page BID " + Hex(max_page_bid_));
    Report(nbt_.ForEach([&](const NodeEntry& e) {
      // rgnid holds the last index handed out: Outlook's next NID of a type is ++rgnid.
      if (NidIndexOf(e.nid) > h_.rgnid[NidTypeOf(e.nid)])
        Mendable("rgnid[" + std::to_string(NidTypeOf(e.nid)) + "] " + Hex(h_.rgnid[NidTypeOf(e.nid)]) +
                 " is below node " + Hex(e.nid));
      return Status::Ok();
    }));
  }

  void CheckBlocks() {
    Bid lo = UINT64_MAX, hi = 0;
    Report(bbt_.ForEach([&](const BbtEntry& e) {
      lo = std::min(lo, e.bid);
      hi = std::max(hi, e.bid);
      if ((e.bid & ~uint64_t{3}) >= h_.bid_next_b)
        Mendable("bidNextB " + Hex(h_.bid_next_b) + " is not above " + BlockName(e.bid, e.ib));
      uint64_t disk = BlockDiskSize(e.cb);
      if (e.cb > kMaxBlockPayload || e.ib % kBlockAlign || OverlapsReservedArea(e.ib, disk) ||
          e.ib + disk > h_.file_eof) {
        Error(BlockName(e.bid, e.ib) + ": misplaced or outside the file");
        return Status::Ok();
      }
      if (!expected_->MarkUsed(e.ib, disk)) Error(BlockName(e.bid, e.ib) + ": overlaps another allocation");
      std::vector<uint8_t> image(disk);
      if (Status s = file_.ReadAt(e.ib, image); !s.ok()) return Error(s.ToString()), Status::Ok();
      if (Status s = VerifyBlockImage(image, e); !s.ok()) return Error(s.ToString()), Status::Ok();
      if (IsInternalBid(e.bid)) {
        image.resize(e.cb);
        auto b = ParseInternalBlock(image, e.bid, e.ib);
        if (!b.ok()) return Error(b.status().ToString()), Status::Ok();
        InternalInfo info{e.bid,    b->total,      0, static_cast<uint16_t>(b->children.size()), b->btype,
                          b->level, !b->sl.empty()};
        if (!b->sl.empty()) info.first_sl = b->sl.front().nid;
        internal_.push_back(info);
      }
      return Status::Ok();
    }));
    refs_.Reset(lo, hi, r_.blocks);
  }

  // An internal block that CheckBlocks found sound, read again for its entries.
  std::optional<InternalBlock> ReadInternal(const BbtEntry& e) {
    std::vector<uint8_t> image(BlockDiskSize(e.cb));
    if (!file_.ReadAt(e.ib, image).ok() || !VerifyBlockImage(image, e).ok()) return std::nullopt;
    image.resize(e.cb);
    auto b = ParseInternalBlock(image, e.bid, e.ib);
    return b.ok() ? std::optional<InternalBlock>(std::move(*b)) : std::nullopt;
  }

  // The block's BBT entry, or none (a failed read of the BBT is reported).
  std::optional<BbtEntry> FindBlock(Bid bid) {
    auto e = bbt_.Find(bid);
    if (e.ok()) return *e;
    Error(e.status().ToString());
    return std::nullopt;
  }

  void Ref(Bid bid, const std::string& from) {
    if (bid == 0) return;
    if (!FindBlock(bid)) return Error(from + " references " + Hex(bid) + ", which is not in the BBT");
    refs_.Add(bid);
  }
  const InternalInfo* Internal(Bid bid) const {
    auto it = std::lower_bound(internal_.begin(), internal_.end(), bid,
                               [](const InternalInfo& i, Bid b) { return i.bid < b; });
    return it == internal_.end() || it->bid != bid ? nullptr : &*it;
  }

  void CheckReferences() {
    Report(nbt_.ForEach([&](const NodeEntry& e) {
      std::string from = "node " + Hex(e.nid);
      Ref(e.data, from);
      Ref(e.sub, from);
      if (e.data && IsInternalBid(e.data) && FindBlock(e.data)) {
        const InternalInfo* b = Internal(e.data);
        if (b && b->btype != kBTypeDataTree) Error(from + ": data " + Hex(e.data) + " is not a data tree");
      }
      if (e.sub) {
        const InternalInfo* b = IsInternalBid(e.sub) ? Internal(e.sub) : nullptr;
        if (FindBlock(e.sub) && (!b || b->btype != kBTypeSubnode))
          Error(from + ": subnodes " + Hex(e.sub) + " are not a subnode tree");
      }
      return Status::Ok();
    }));
    Report(bbt_.ForEach([&](const BbtEntry& e) {
      if (!Internal(e.bid)) return Status::Ok();
      std::optional<InternalBlock> read = ReadInternal(e);
      if (read) CheckInternal(e.bid, *read);
      return Status::Ok();
    }));
    // cRef counts the references plus one, as Outlook writes it.
    Report(bbt_.ForEach([&](const BbtEntry& e) {
      const uint64_t found = refs_.Count(e.bid);
      if (e.cref != found + 1)
        Error(BlockName(e.bid, e.ib) + ": cRef " + std::to_string(e.cref) + " but " + std::to_string(found) +
              " references (expected cRef " + std::to_string(found + 1) + ")");
      return Status::Ok();
    }));
  }

  void CheckInternal(Bid bid, const InternalBlock& b) {
    std::string from = "internal block " + Hex(bid);
    uint64_t sum = 0;
    for (Bid c : b.children) {
      Ref(c, from);
      const std::optional<BbtEntry> ce = FindBlock(c);
      if (!ce) continue;
      if (b.level == 1) {
        if (IsInternalBid(c)) Error(from + ": XBLOCK child " + Hex(c) + " is internal");
        sum += ce->cb;
      } else {
        const InternalInfo* x = Internal(c);
        if (!x || x->btype != kBTypeDataTree || x->level != 1)
          Error(from + ": XXBLOCK child " + Hex(c) + " is not an XBLOCK");
        else
          sum += x->total;
      }
    }
    if (b.btype == kBTypeDataTree && sum != b.total)
      Error(from + ": lcbTotal " + std::to_string(b.total) + " but the children hold " + std::to_string(sum));
    if (b.btype == kBTypeDataTree) CheckFullChildren(from, b);
    for (const SubnodeEntry& s : b.sl) {
      Ref(s.data, from);
      Ref(s.sub, from);
    }
    for (const SiEntry& s : b.si) {
      Ref(s.bid, from);
      const InternalInfo* leaf = Internal(s.bid);
      if (FindBlock(s.bid) && (!leaf || leaf->btype != kBTypeSubnode || leaf->level != 0 || !leaf->has_sl ||
                               leaf->first_sl != s.nid))
        Error(from + ": SIENTRY " + Hex(s.nid) + " does not match SLBLOCK " + Hex(s.bid));
    }
  }

  // Readers find a byte of a node's data at offset / 8,176 and count its blocks from lcbTotal, so every
  // data block of a tree but the last holds exactly 8,176 bytes (and every XBLOCK of an XXBLOCK but the
  // last is full of full blocks).
  void CheckFullChildren(const std::string& from, const InternalBlock& b) {
    for (size_t i = 0; i + 1 < b.children.size(); ++i) {
      const Bid c = b.children[i];
      const std::optional<BbtEntry> ce = FindBlock(c);
      if (!ce) continue;
      if (b.level == 1 && ce->cb != kMaxBlockData) {
        Error(from + ": data block " + std::to_string(i) + " of " + std::to_string(b.children.size()) + " (" +
              BlockName(c, ce->ib) + ") holds " + std::to_string(ce->cb) +
              " bytes; every block but the last must hold " + std::to_string(kMaxBlockData));
      } else if (const InternalInfo* x = b.level == 2 ? Internal(c) : nullptr;
                 x && x->total != x->children * uint64_t{kMaxBlockData}) {
        Error(from + ": XBLOCK " + std::to_string(i) + " of " + std::to_string(b.children.size()) + " (" +
              BlockName(c, ce->ib) + ") is not full: lcbTotal " + std::to_string(x->total) + " over " +
              std::to_string(x->children) + " blocks");
      }
    }
  }

  // Each section's AMap is compared once its map pages are read: a PMap reserves pages of the sections
  // from its own on, so by then every reservation that reaches the section is known.
  void CheckMaps() {
    uint64_t pmap_free_pages = 0;
    uint64_t free_slots = 0;
    for (uint64_t k = 0; k < r_.sections; ++k) {
      std::optional<PageBytes> amap;
      for (const MapPage& m : MapPagesOfSection(k)) {
        auto page = ReadPage(file_, h_.file_eof, {m.ib, m.ib}, m.ptype);
        if (!page.ok()) {
          Error(page.status().ToString());
          continue;
        }
        if (m.ptype == kPageTypeAMap) amap = *page;
        if (m.ptype != kPageTypePMap) continue;
        // A 0 bit in a PMap is a page reserved through the PMap (Outlook 2007 and older): the AMap counts it
        // as used although nothing is there yet, and cbPMapFree counts it.
        for (uint64_t i = 0; i < kPageDataSize * 8; ++i) {
          uint64_t ib = SectionOffset(k) + i * kPageSize;
          if (ib >= h_.file_eof || ((*page)[i / 8] & (0x80 >> (i % 8)))) continue;
          ++pmap_free_pages;
          if (!expected_->IsUsed(ib)) expected_->MarkUsed(ib, kPageSize);
        }
      }
      if (amap) free_slots += CompareAMap(k, *amap);
    }
    if (pmap_free_pages * kPageSize != h_.pmap_free)
      Mendable("cbPMapFree " + std::to_string(h_.pmap_free) + " but the PMaps have " +
               std::to_string(pmap_free_pages * kPageSize) + " free bytes");
    if (h_.amap_valid == kAMapValid2 && free_slots * kBlockAlign != h_.amap_free)
      Mendable("cbAMapFree " + std::to_string(h_.amap_free) + " but the AMaps have " +
               std::to_string(free_slots * kBlockAlign) + " free bytes");
  }

  // Reports the first byte of section k's AMap that differs from what the pages and blocks there need;
  // gives the free slots the AMap counts.
  uint64_t CompareAMap(uint64_t k, const PageBytes& page) {
    auto want = expected_->SectionBits(k);
    uint64_t free_slots = 0;
    bool reported = false;
    for (size_t i = 0; i < kPageDataSize; ++i) {
      for (int bit = 0; bit < 8; ++bit) free_slots += (page[i] & (0x80 >> bit)) ? 0 : 1;
      if (h_.amap_valid == kAMapValid2 && page[i] != want[i] && !reported) {
        reported = true;
        Mendable("AMap page at offset " + Hex(SectionOffset(k)) + ": byte " + std::to_string(i) + " is " +
                 Hex(page[i]) + ", the pages and blocks there need " + Hex(want[i]) + " (slots at offset " +
                 Hex(SectionOffset(k) + i * 8 * kBlockAlign) + ")");
      }
    }
    return free_slots;
  }

  void CheckDList() {
    PageBytes page;
    if (Status s = file_.ReadAt(kDListOffset, page); !s.ok()) return Error(s.ToString());
    bool empty = std::all_of(page.begin(), page.end(), [](uint8_t b) { return b == 0; });
    if (empty) return r_.notes.push_back("no density list at 0x4200 (as Outlook 2007 leaves it)");
    Bid bid = Load64(page.data() + kPageDataSize + 8);
    if (Status s = VerifyPage(page, kPageTypeDList, bid, kDListOffset); !s.ok()) Error(s.ToString());
  }

  File& file_;
  CheckReport& r_;
  uint64_t size_ = 0;
  Header h_;
  CryptMethod crypt_ = CryptMethod::kNone;
  NodeTree nbt_;
  BlockTree bbt_;
  std::unique_ptr<SpaceMap> expected_;
  // What the reference checks need of every internal block that parsed, in ascending BID (the BBT's
  // order); their entries are read again when they are checked.
  std::vector<InternalInfo> internal_;
  RefCounts refs_;
  Bid max_page_bid_ = 0;
};

}  // namespace

std::string CheckReport::Summary() const {
  std::string s = std::to_string(nodes) + " nodes, " + std::to_string(blocks) + " blocks, " +
                  std::to_string(pages) + " B-tree pages, " + std::to_string(sections) +
                  " sections: " + (ok() ? "OK" : std::to_string(errors.size()) + " error(s)");
  for (const auto& e : errors) s += "\n  error: " + e;
  for (const auto& n : notes) s += "\n  note: " + n;
  return s;
}

std::string CheckReport::FirstDamage() const {
  for (const auto& e : errors)
    if (std::find(mendable.begin(), mendable.end(), e) == mendable.end()) return e;
  return "";
}

CheckReport CheckFile(File& file) {
  CheckReport report;
  Checker(file, &report).Run();
  return report;
}

CheckReport CheckDatabase(NodeDatabase& db) {
  CheckReport report = CheckFile(db.file());
  if (db.has_uncommitted_changes()) report.notes.push_back("the database has changes not committed yet");
  return report;
}

}  // namespace velmora::pst
