// Growing a data tree at its end by moving references instead of counting them again.
//
// A table appended to row by row keeps most of its blocks from one write of its trees to the next. Written
// as a new tree with AddRef on each kept block, and the old tree then released, every write would change
// the BBT entry of every block of the table: the cost of a commit would grow with the table, and the commit
// would rewrite most BBT leaf pages. When the caller holds the old tree's only reference (cRef 2: the base
// count and that reference, see node_database.h), nothing but the new tree can reach the kept blocks once
// the old tree is gone, so its references to them pass to the new tree unchanged:
//   - an XBLOCK old tree: a new tree over the kept children and the added blocks; the children past `kept`
//     are released, the old XBLOCK goes without touching its children;
//   - an XXBLOCK old tree: the XBLOCKs wholly before `kept` become children of the new XXBLOCK as they are,
//     the XBLOCK that `kept` falls into gives up its kept children to new XBLOCKs written after it (with
//     the added blocks), and XBLOCKs past it are released.
// A shared old tree, a single data block, or a result small enough for one XBLOCK takes the plain way
// (NodeStore::ExtendDataTree): those cost at most one XBLOCK's worth of count changes.
#include <algorithm>
#include <string>

#include "pst/ndb/node_database.h"

namespace velmora::pst {
namespace {

// The cRef of a block that exactly one tree, node or caller references: the base count plus that one.
constexpr uint16_t kSoleHolderRefs = 2;

// Children an internal block holds, from its stored size: the 8-byte header, then one 8-byte BID each
// ([MS-PST] 2.2.2.8.3.1); a writable open has checked every block against its size.
size_t ChildCount(const BbtEntry& e) {
  return e.cb < kInternalHeaderSize ? 0 : (e.cb - kInternalHeaderSize) / sizeof(Bid);
}

}  // namespace

Status NodeDatabase::FreeBlockOnly(const BbtEntry& e) {
  PST_RETURN_IF_ERROR(TreeResult(bbt_.Erase(e.bid)).status());
  space_->FreeLater(e.ib, BlockDiskSize(e.cb));  // [C2]
  changed_ = true;
  return Status::Ok();
}

Result<Bid> NodeDatabase::ExtendDataTree(Bid old_tree, size_t kept, std::span<const Bid> added) {
  PST_RETURN_IF_ERROR(CheckWritable());
  old_tree &= ~uint64_t{1};
  PST_ASSIGN_OR_RETURN(BbtEntry root, LookupBlock(old_tree, "data tree"));
  if (!IsInternalBid(old_tree) || root.cref != kSoleHolderRefs)
    return NodeStore::ExtendDataTree(old_tree, kept, added);
  PST_ASSIGN_OR_RETURN(InternalBlock top, ReadInternal(old_tree, kBTypeDataTree));
  const std::vector<Bid>& old = top.children;

  if (top.level == 1) {
    if (kept > old.size())
      return Status::InvalidArgument("cannot keep " + std::to_string(kept) + " blocks of " +
                                     BlockName(root.bid, root.ib) + ", which has " +
                                     std::to_string(old.size()));
    std::vector<Bid> blocks(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(kept));
    blocks.insert(blocks.end(), added.begin(), added.end());
    PST_ASSIGN_OR_RETURN(Bid tree, WriteDataTree(blocks));
    for (size_t i = kept; i < old.size(); ++i) PST_RETURN_IF_ERROR(Release(old[i]));
    PST_RETURN_IF_ERROR(FreeBlockOnly(root));
    return tree;
  }

  // An XXBLOCK: find the XBLOCK that `kept` falls into; those before it stay whole.
  size_t whole = 0, before = 0;
  for (; whole < old.size(); ++whole) {
    PST_ASSIGN_OR_RETURN(BbtEntry x, LookupBlock(old[whole], "XBLOCK"));
    const size_t n = ChildCount(x);
    if (before + n > kept) break;
    before += n;
  }
  if (whole == old.size() && before != kept)
    return Status::InvalidArgument("cannot keep " + std::to_string(kept) + " blocks of " +
                                   BlockName(root.bid, root.ib) + ", which has " + std::to_string(before));
  if (whole == 0) return NodeStore::ExtendDataTree(old_tree, kept, added);

  // The XBLOCKs from `whole` on: their bytes leave the total, the kept children of the first join the tail.
  uint64_t total = top.total;
  std::vector<Bid> tail;
  BbtEntry split{};
  std::vector<Bid> split_children;
  bool split_moves = false;
  for (size_t i = whole; i < old.size(); ++i) {
    PST_ASSIGN_OR_RETURN(InternalBlock x, ReadInternal(old[i], kBTypeDataTree));
    if (x.level != 1 || x.total > total)
      return Status::Corruption(BlockName(root.bid, root.ib) + ": child " + std::to_string(i) +
                                " is not an XBLOCK that fits it");
    total -= x.total;
    if (i == whole) {
      PST_ASSIGN_OR_RETURN(split, LookupBlock(old[i], "XBLOCK"));
      split_moves = split.cref == kSoleHolderRefs;
      split_children = std::move(x.children);
      tail.assign(split_children.begin(),
                  split_children.begin() + static_cast<std::ptrdiff_t>(kept - before));
    }
  }
  tail.insert(tail.end(), added.begin(), added.end());
  std::vector<uint32_t> sizes;
  sizes.reserve(tail.size());
  for (Bid b : tail) {
    if (IsInternalBid(b))
      return Status::InvalidArgument("data tree child BID " + std::to_string(b) + " is internal");
    PST_ASSIGN_OR_RETURN(BbtEntry e, LookupBlock(b, "data block"));
    sizes.push_back(e.cb);
    total += e.cb;
  }
  const size_t new_xblocks = (tail.size() + kXBlockMaxEntries - 1) / kXBlockMaxEntries;
  if (whole + new_xblocks > kXBlockMaxEntries)
    return Status::InvalidArgument("data tree of more than " + std::to_string(kXBlockMaxEntries) +
                                   " XBLOCKs is too large");
  if (total > UINT32_MAX) return Status::InvalidArgument("data tree over 4 GB (lcbTotal is 32 bits)");

  // A split XBLOCK that others share keeps its children; the new tree takes references of its own.
  const size_t from_split = kept - before;
  if (!split_moves && old.size() > whole)
    for (size_t i = 0; i < from_split; ++i) PST_RETURN_IF_ERROR(AddRef(tail[i]));

  std::vector<Bid> children(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(whole));
  for (size_t i = 0; i < tail.size(); i += kXBlockMaxEntries) {
    const size_t n = std::min(kXBlockMaxEntries, tail.size() - i);
    uint64_t part = 0;
    for (size_t k = i; k < i + n; ++k) part += sizes[k];
    PST_ASSIGN_OR_RETURN(Bid x, WriteBlock(MakeXBlock(1, static_cast<uint32_t>(part),
                                                      std::span<const Bid>(tail).subspan(i, n)),
                                           true));
    children.push_back(x);
  }
  Bid tree = children.front();
  if (children.size() > 1) {
    PST_ASSIGN_OR_RETURN(tree, WriteBlock(MakeXBlock(2, static_cast<uint32_t>(total), children), true));
  }

  // The old tree's part past `kept` goes; what moved keeps its counts.
  if (old.size() > whole) {
    if (split_moves) {
      for (size_t i = from_split; i < split_children.size(); ++i)
        PST_RETURN_IF_ERROR(Release(split_children[i]));
      PST_RETURN_IF_ERROR(FreeBlockOnly(split));
    } else {
      PST_RETURN_IF_ERROR(Release(old[whole]));
    }
    for (size_t i = whole + 1; i < old.size(); ++i) PST_RETURN_IF_ERROR(Release(old[i]));
  }
  PST_RETURN_IF_ERROR(FreeBlockOnly(root));
  return tree;
}

}  // namespace velmora::pst
