// Opening, creating and reading a node database. Writing is in node_writer.cpp, the commit in commit.cpp.
#include "pst/ndb/node_database.h"

#include <algorithm>
#include <cstdio>

#include "pst/ndb/check.h"
#include "pst/ndb/map_layout.h"
#include "pst/ndb/write_back_file.h"

namespace velmora::pst {
Status NodeDatabase::CheckUsable() const {
  return failed_;
}

Status NodeDatabase::CheckWritable() const {
  PST_RETURN_IF_ERROR(failed_);
  if (!writable_) return Status::InvalidArgument("the database is open read-only");
  return Status::Ok();
}

Status NodeDatabase::Fail(Status s) {
  if (!s.ok() && failed_.ok()) failed_ = s;
  return s;
}

Result<std::unique_ptr<NodeDatabase>> NodeDatabase::Open(std::shared_ptr<File> file, bool writable) {
  std::unique_ptr<NodeDatabase> db(new NodeDatabase(file, writable));
  if (writable) {  // [C7]
    CheckReport report = CheckFile(*file);
    std::string damage = report.FirstDamage();
    if (damage.starts_with("Corruption: ")) damage.erase(0, std::string("Corruption: ").size());
    if (!damage.empty()) return Status::Corruption(damage + "; not modified");
  }
  PST_ASSIGN_OR_RETURN(uint64_t size, file->Size());
  std::vector<uint8_t> bytes(std::min<uint64_t>(size, kHeaderSize));
  PST_RETURN_IF_ERROR(file->ReadAt(0, bytes));
  PST_ASSIGN_OR_RETURN(db->header_, ParseHeader(bytes));
  Header& h = db->header_;
  if (h.crypt_method == 0x10) return Status::Unsupported("header at offset 513: EDP-encrypted file");
  if (!IsKnownCryptMethod(h.crypt_method))
    return Status::Corruption("header at offset 513: unknown bCryptMethod " + Hex(h.crypt_method));
  db->crypt_ = static_cast<CryptMethod>(h.crypt_method);
  uint64_t sections = SectionsForFileSize(h.file_eof);
  if (sections == 0)
    return Status::Corruption("header at offset 184: ibFileEof " + Hex(h.file_eof) +
                              " is not a section boundary");
  if (size < h.file_eof)
    return Status::Corruption("file truncated: " + std::to_string(size) +
                              " bytes, but ibFileEof at offset 184 says " + std::to_string(h.file_eof));
  if (h.amap_last != SectionOffset(sections - 1))
    return Status::Corruption("header at offset 192: ibAMapLast " + Hex(h.amap_last) +
                              " is not the last AMap");
  PST_RETURN_IF_ERROR(db->nbt_.Open(h.nbt));
  PST_RETURN_IF_ERROR(db->bbt_.Open(h.bbt));
  db->next_ = h;
  db->durable_sections_ = sections;
  db->has_durable_header_ = true;
  if (writable) {
    PST_RETURN_IF_ERROR(db->BuildSpaceMap(sections, SpaceMap::kDefaultMaxFileSize));
    // The maps on disk must agree with what the B-trees reach; sections that do not (or all of them, when
    // the header says the maps are not valid) are rewritten at the next commit.
    std::vector<uint64_t> stale;
    for (uint64_t k = 0; k < sections; ++k) {
      Bref ref{SectionOffset(k), SectionOffset(k)};
      auto page = ReadPage(*file, h.file_eof, ref, kPageTypeAMap);
      auto want = db->space_->SectionBits(k);
      if (h.amap_valid != kAMapValid2 || !page.ok() || !std::equal(want.begin(), want.end(), page->begin()))
        stale.push_back(k);
    }
    for (uint64_t k : stale) db->space_->MarkSectionDirty(k);
    db->rewrite_all_fixed_maps_ = h.pmap_free != 0;
    db->stale_maps_on_disk_ = !stale.empty();
    db->changed_ = !stale.empty() || db->rewrite_all_fixed_maps_;
    // [C7] Bytes past ibFileEof belong to no commit.
    if (size > h.file_eof) PST_RETURN_IF_ERROR(db->Fail(file->SetSize(h.file_eof)));
  }
  return db;
}

Status NodeDatabase::BuildSpaceMap(uint64_t sections, uint64_t max_file_size) {
  space_ = std::make_unique<SpaceMap>(sections, std::max(max_file_size, FileSizeForSections(sections)));
  // Counters that lag behind what is in the file would hand out a BID or NID twice; a writer moves them
  // past everything in use (the check reports such files).
  Bid max_block = 0, max_page = 0;
  auto claim_page = [&](uint8_t ptype, const Bref& ref) -> Status {
    max_page = std::max(max_page, ref.bid);
    if (!space_->MarkUsed(ref.ib, kPageSize))
      return Status::Corruption(PageTypeName(ptype) + " BID " + Hex(ref.bid) + " at offset " + Hex(ref.ib) +
                                ": overlaps another page or block");
    return Status::Ok();
  };
  PST_RETURN_IF_ERROR(nbt_.ForEachPage([&](const Bref& ref, const NodeTree::Page& p) -> Status {
    for (const NodeEntry& e : p.entries) {
      uint32_t& last = next_.rgnid[NidTypeOf(e.nid)];
      last = std::max(last, NidIndexOf(e.nid));
    }
    return claim_page(kPageTypeNbt, ref);
  }));
  PST_RETURN_IF_ERROR(bbt_.ForEachPage([&](const Bref& ref, const BlockTree::Page& p) -> Status {
    for (const BbtEntry& e : p.entries) {
      max_block = std::max(max_block, e.bid);
      if (e.cb > kMaxBlockPayload || e.ib % kBlockAlign != 0 ||
          OverlapsReservedArea(e.ib, BlockDiskSize(e.cb)) || !space_->MarkUsed(e.ib, BlockDiskSize(e.cb)))
        return Status::Corruption(BlockName(e.bid, e.ib) + " (cb " + std::to_string(e.cb) +
                                  "): misplaced, outside the file or overlapping another allocation");
    }
    return claim_page(kPageTypeBbt, ref);
  }));
  next_.bid_next_b = std::max(next_.bid_next_b, (max_block & ~uint64_t{3}) + 4);
  next_.bid_next_p = std::max(next_.bid_next_p, max_page + 1);
  space_->TakeDirtySections();
  return Status::Ok();
}

Result<std::unique_ptr<NodeDatabase>> NodeDatabase::Create(std::shared_ptr<File> file,
                                                           const CreateOptions& options) {
  PST_ASSIGN_OR_RETURN(uint64_t size, file->Size());
  if (size != 0) return Status::InvalidArgument("cannot create a PST in a file that is not empty");
  std::unique_ptr<NodeDatabase> db(new NodeDatabase(file, true));
  Header& h = db->next_;
  h.rgnid = InitialRgnid();
  h.crypt_method = static_cast<uint8_t>(options.crypt);
  h.bid_next_b = 4;  // bidIndex 1: BID 0 means "no block"
  h.bid_next_p = 1;
  h.unique = 1;
  db->crypt_ = options.crypt;
  db->space_ = std::make_unique<SpaceMap>(1, options.max_file_size);
  db->header_ = h;
  // The density list page sits below the first AMap, outside the maps; it is written once.
  PageBytes dlist = MakeEmptyDListPage(h.bid_next_p++);
  Status st = file->WriteAt(kDListOffset, dlist);
  if (!st.ok()) return st;
  db->changed_ = true;
  PST_RETURN_IF_ERROR(db->Commit());
  return db;
}

NodeDatabase::NodeDatabase(std::shared_ptr<File> file, bool writable)
    // A writer's blocks, allocated one after the other, reach the file as runs of many blocks in one write.
    : file_(writable ? std::make_shared<WriteBackFile>(std::move(file)) : std::move(file)),
      writable_(writable),
      nbt_([this](const Bref& r) { return ReadPage(*file_, ReadableEnd(), r, kPageTypeNbt); }),
      bbt_([this](const Bref& r) { return ReadPage(*file_, ReadableEnd(), r, kPageTypeBbt); }) {}

uint64_t NodeDatabase::ReadableEnd() const {
  // The durable header counts every section a block or page has been written to [C6]; before the first
  // commit of a new file only the space map does.
  return std::max(header_.file_eof, space_ ? space_->file_size() : 0);
}

Result<BbtEntry> NodeDatabase::LookupBlock(Bid bid, const char* what) {
  PST_RETURN_IF_ERROR(CheckUsable());
  PST_ASSIGN_OR_RETURN(std::optional<BbtEntry> e, TreeResult(bbt_.Find(bid & ~uint64_t{1})));
  if (!e) return Status::NotFound(std::string(what) + " BID " + Hex(bid) + " is not in the BBT");
  return *e;
}

std::optional<BbtEntry> NodeDatabase::FindBlock(Bid bid) {
  auto e = LookupBlock(bid, "block");
  return e.ok() ? std::optional<BbtEntry>(*e) : std::nullopt;
}

Status NodeDatabase::ForEachBlock(const std::function<Status(const BbtEntry&)>& fn) {
  PST_RETURN_IF_ERROR(CheckUsable());
  Status from_fn;
  Status st = bbt_.ForEach([&](const BbtEntry& e) { return from_fn = fn(e); });
  return st.ok() || !from_fn.ok() ? st : Fail(st);
}

Result<std::vector<uint8_t>> NodeDatabase::ReadBlock(const BbtEntry& e) {
  uint64_t disk = BlockDiskSize(e.cb);
  if (e.cb > kMaxBlockPayload || e.ib % kBlockAlign != 0 || e.ib < kFirstAMapOffset ||
      e.ib + disk > ReadableEnd())
    return Status::Corruption(BlockName(e.bid, e.ib) + ": outside the file or misaligned");
  std::vector<uint8_t> image(disk);
  PST_RETURN_IF_ERROR(file_->ReadAt(e.ib, image));
  PST_RETURN_IF_ERROR(VerifyBlockImage(image, e));
  image.resize(e.cb);
  if (!IsInternalBid(e.bid)) DecodeBlockData(crypt_, e.bid, image);
  return image;
}

Result<InternalBlock> NodeDatabase::ReadInternal(Bid bid, uint8_t btype) {
  if (!IsInternalBid(bid)) return Status::Corruption("BID " + Hex(bid) + " should name an internal block");
  PST_ASSIGN_OR_RETURN(BbtEntry e, LookupBlock(bid, "internal block"));
  PST_ASSIGN_OR_RETURN(auto payload, ReadBlock(e));
  PST_ASSIGN_OR_RETURN(InternalBlock b, ParseInternalBlock(payload, e.bid, e.ib));
  if (b.btype != btype)
    return Status::Corruption(BlockName(e.bid, e.ib) + ": btype " + std::to_string(b.btype) + ", expected " +
                              std::to_string(btype));
  return b;
}

Result<std::optional<NodeEntry>> NodeDatabase::FindNode(Nid nid) {
  PST_RETURN_IF_ERROR(CheckUsable());
  return TreeResult(nbt_.Find(nid));
}

Status NodeDatabase::ForEachNode(const std::function<Status(const NodeEntry&)>& fn) {
  PST_RETURN_IF_ERROR(CheckUsable());
  // One leaf at a time (the tree's walk copies it), so the callback may change the tree.
  Status from_fn;
  Status st = nbt_.ForEach([&](const NodeEntry& e) { return from_fn = fn(e); });
  return st.ok() || !from_fn.ok() ? st : Fail(st);
}

Result<std::vector<Bid>> NodeDatabase::DataBlocks(Bid tree) {
  PST_RETURN_IF_ERROR(CheckUsable());
  tree &= ~uint64_t{1};
  if (!IsInternalBid(tree)) {
    PST_RETURN_IF_ERROR(LookupBlock(tree, "data block").status());
    return std::vector<Bid>{tree};
  }
  PST_ASSIGN_OR_RETURN(InternalBlock top, ReadInternal(tree, kBTypeDataTree));
  std::vector<Bid> out;
  if (top.level == 1) {
    out = top.children;
  } else {
    for (Bid x : top.children) {
      PST_ASSIGN_OR_RETURN(InternalBlock mid, ReadInternal(x, kBTypeDataTree));
      if (mid.level != 1)
        return Status::Corruption("XXBLOCK BID " + Hex(tree) + ": child " + Hex(x) + " is not an XBLOCK");
      out.insert(out.end(), mid.children.begin(), mid.children.end());
    }
  }
  for (Bid b : out)
    if (IsInternalBid(b))
      return Status::Corruption("data tree BID " + Hex(tree) + ": child " + Hex(b) + " is internal");
  return out;
}

Result<uint64_t> NodeDatabase::DataTreeSize(Bid tree) {
  PST_RETURN_IF_ERROR(CheckUsable());
  if (!IsInternalBid(tree)) {
    PST_ASSIGN_OR_RETURN(BbtEntry e, LookupBlock(tree, "data block"));
    return uint64_t{e.cb};
  }
  PST_ASSIGN_OR_RETURN(InternalBlock top, ReadInternal(tree, kBTypeDataTree));
  return uint64_t{top.total};
}

Result<std::vector<uint8_t>> NodeDatabase::ReadDataBlock(Bid bid) {
  PST_RETURN_IF_ERROR(CheckUsable());
  if (IsInternalBid(bid))
    return Status::InvalidArgument("BID " + Hex(bid) + " is an internal block, not data");
  PST_ASSIGN_OR_RETURN(BbtEntry e, LookupBlock(bid, "data block"));
  return ReadBlock(e);
}

Result<std::vector<SubnodeEntry>> NodeDatabase::ReadSubnodes(Bid tree) {
  PST_RETURN_IF_ERROR(CheckUsable());
  PST_ASSIGN_OR_RETURN(InternalBlock top, ReadInternal(tree, kBTypeSubnode));
  if (top.level == 0) return top.sl;
  std::vector<SubnodeEntry> out;
  for (const SiEntry& si : top.si) {
    PST_ASSIGN_OR_RETURN(InternalBlock leaf, ReadInternal(si.bid, kBTypeSubnode));
    if (leaf.level != 0 || leaf.sl.empty() || leaf.sl.front().nid != si.nid ||
        (!out.empty() && leaf.sl.front().nid <= out.back().nid))
      return Status::Corruption("SIBLOCK BID " + Hex(tree) + ": child " + Hex(si.bid) +
                                " does not fit its entry");
    out.insert(out.end(), leaf.sl.begin(), leaf.sl.end());
  }
  return out;
}

}  // namespace velmora::pst
