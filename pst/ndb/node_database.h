// NodeDatabase: the node database of a Unicode PST file, read and written through a File.
//
// The NBT and BBT are read from the file page by page as lookups reach them, through a bounded cache; only
// the pages changed since the last commit stay in memory (btree.h). Node data never does: every block goes
// to the file when it is written. Commit() makes the state durable under the protocol below. A page or
// block found damaged when a read meets it, like an I/O error, fails the database [C5].
//
// Nothing is committed implicitly: destroying a NodeDatabase drops what was written since the last Commit
// (the blocks already in the file are unreachable and the next writer reuses their space).
//
// Reference counts. A BBT entry's cRef is the number of references to the block (from NBT entries, XBLOCK
// and XXBLOCK entries, SLENTRYs and SIENTRYs) plus one, which is what Outlook writes (checked on every
// block of the Outlook-made sample files). A block written through the NodeStore calls starts at 2: the
// base one and the reference the caller holds. When the references drop to none (cRef back to 1) the block
// is freed with everything only it referenced.
//
// Commit protocol. Invariants, cited by the tests as [C1] ... [C7]:
//  [C1] New and changed blocks and pages go to space that is free in the durable state: never over anything
//       the last durable header reaches, never over a map page, never below 0x4400.
//  [C2] Space freed since the last commit (replaced B-tree pages, released blocks) stays allocated in
//       memory until the commit that drops the last reference to it is durable; only then can it be reused.
//  [C3] Before any map page is rewritten in place (bits set or cleared), the durable header is rewritten with
//       fAMapValid = 0 (same roots) and synced, so a crash inside the map update leaves a file whose maps a
//       reader rebuilds from the B-trees rather than trusts.
//  [C4] Blocks, pages and maps are synced before the new header is written; the header is written last
//       and synced. The header write is the commit point: before it the file holds the previous commit,
//       after it the new one, and at every moment it is a valid PST.
//  [C5] After any I/O error the database is failed: every later call returns that error until the file is
//       opened again. Nothing is written on a read-only open.
//  [C6] The file is exactly ibFileEof bytes (0x4400 + n * 0x3E000) whenever no commit is under way, with
//       every section's AMap, and its PMap/FMap/FPMap where due, written before the header that counts it.
//       The file only grows in a commit: when an allocation needs a section the durable header does not
//       count, a growth commit first takes in several empty sections (their map pages, then the header with
//       the same roots and the larger ibFileEof and cbAMapFree), so blocks written between commits always
//       lie inside the file the header describes, in space its maps call free [C1]. A kill inside a commit
//       can leave only that commit's own marks: fAMapValid = 0 during the map update [C3], or bytes past
//       ibFileEof during a growth; the blocks are synced before either starts, so both last a few page syncs.
//  [C7] A writable open verifies the whole file (CheckFile: header, maps, every B-tree page, every block's
//       CRC; walked page by page, neither B-tree held whole) before anything is written; a file with an
//       error other than those the open mends (counters behind what is in use, maps that disagree with the
//       B-trees) is refused and left byte-identical. A tail past ibFileEof (bytes of a commit that never
//       happened) holds nothing committed and is cut off by a writable open.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "pst/ndb/block.h"
#include "pst/ndb/btree.h"
#include "pst/ndb/encoding.h"
#include "pst/ndb/file.h"
#include "pst/ndb/header.h"
#include "pst/ndb/node_store.h"
#include "pst/ndb/space_map.h"

namespace velmora::pst {

struct CreateOptions {
  CryptMethod crypt = CryptMethod::kPermute;  // Outlook's default
  uint64_t max_file_size = SpaceMap::kDefaultMaxFileSize;
};

class NodeDatabase : public NodeStore {
 public:
  // Opens an existing file; checks the header and the roots of both B-trees (the other pages are checked
  // as reads reach them). Writable opens check the whole file first [C7] and rebuild the allocation maps
  // from what the B-trees reach, walking them page by page.
  static Result<std::unique_ptr<NodeDatabase>> Open(std::shared_ptr<File> file, bool writable);
  // Writes an empty, valid PST (header, one section with AMap and PMap, DList, empty NBT and BBT) into an
  // empty file and commits it.
  static Result<std::unique_ptr<NodeDatabase>> Create(std::shared_ptr<File> file,
                                                      const CreateOptions& options = {});

  // NodeStore.
  Result<std::optional<NodeEntry>> FindNode(Nid nid) override;
  Status ForEachNode(const std::function<Status(const NodeEntry&)>& fn) override;
  Result<std::vector<Bid>> DataBlocks(Bid tree) override;
  Result<uint64_t> DataTreeSize(Bid tree) override;
  Result<std::vector<uint8_t>> ReadDataBlock(Bid bid) override;
  Result<std::vector<SubnodeEntry>> ReadSubnodes(Bid tree) override;
  Result<Bid> WriteDataBlock(std::span<const uint8_t> bytes) override;
  Result<Bid> WriteDataTree(std::span<const Bid> blocks) override;
  Result<Bid> ExtendDataTree(Bid old_tree, size_t kept, std::span<const Bid> added) override;  // extend.cpp
  Result<Bid> WriteSubnodeTree(std::span<const SubnodeEntry> entries) override;
  Status PutNode(const NodeEntry& entry) override;
  Status DeleteNode(Nid nid) override;
  Status AddRef(Bid tree) override;
  Status Release(Bid tree) override;
  Result<Nid> AllocateNid(NidType type) override;
  Status Commit() override;

  // Extras for tools and tests.
  // The block's BBT entry; none when it is not there or the read failed (then failure() says why).
  std::optional<BbtEntry> FindBlock(Bid bid);
  Status ForEachBlock(const std::function<Status(const BbtEntry&)>& fn);
  const Header& header() const { return header_; }  // as of the last commit (or open)
  NodeTree& nbt() { return nbt_; }
  BlockTree& bbt() { return bbt_; }
  File& file() { return *file_; }
  bool writable() const { return writable_; }
  bool has_uncommitted_changes() const { return changed_; }
  const Status& failure() const { return failed_; }

 private:
  NodeDatabase(std::shared_ptr<File> file, bool writable);

  Status CheckUsable() const;
  Status CheckWritable() const;
  Status Fail(Status s);  // records an I/O error: the database stays failed [C5]
  // Walks both trees once: the space map from every page and block they reach, and the counters moved
  // past every BID and NID in use.
  Status BuildSpaceMap(uint64_t sections, uint64_t max_file_size);
  // The end of the file that pages and blocks are read within.
  uint64_t ReadableEnd() const;
  // B-tree operations: a failed read fails the database [C5].
  template <class T>
  Result<T> TreeResult(Result<T> r) {
    if (!r.ok()) return Fail(r.status());
    return r;
  }

  Result<BbtEntry> LookupBlock(Bid bid, const char* what);
  // The stored payload of a block, checked against its BBT entry; data blocks come back decoded.
  Result<std::vector<uint8_t>> ReadBlock(const BbtEntry& e);
  Result<InternalBlock> ReadInternal(Bid bid, uint8_t btype);
  Result<Bid> WriteBlock(std::span<const uint8_t> payload, bool internal);
  Status FreeTree(Bid tree);
  Status FreeBlockOnly(const BbtEntry& e);  // the block goes; what it referenced keeps its counts
  Result<Bid> NextBlockBid(bool internal);
  // Space for a new block or page; takes in new sections with a growth commit when it has to [C6].
  Result<uint64_t> Allocate(uint64_t size, uint64_t align);
  Status TakeInNewSections();
  Status WriteEmptySectionMaps(uint64_t first, uint64_t end);

  Status WriteMaps(std::span<const uint64_t> sections, uint64_t first_new_section);
  Status WriteHeader(const Header& h);

  std::shared_ptr<File> file_;
  bool writable_;
  Header header_;  // durable header (what the file says)
  Header next_;    // counters of the state being built (bidNextB/P, rgnid)
  CryptMethod crypt_ = CryptMethod::kPermute;
  NodeTree nbt_;
  BlockTree bbt_;
  std::unique_ptr<SpaceMap> space_;
  uint64_t durable_sections_ = 0;  // sections the durable header counts
  bool has_durable_header_ = false;
  bool rewrite_all_fixed_maps_ = false;
  bool stale_maps_on_disk_ = false;  // an opened file's AMaps claim space the B-trees do not reach  // PMaps
                                     // of an opened file with free bits become all 0xFF
  bool changed_ = false;
  Status failed_;
  std::vector<uint8_t> block_image_;  // WriteBlock's buffer, reused so that each block costs no allocation
};

}  // namespace velmora::pst
