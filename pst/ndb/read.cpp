// Page reads shared by the B-trees, the checker and the open.
#include <cstdio>

#include "pst/ndb/btree.h"
#include "pst/ndb/map_layout.h"

namespace velmora::pst {
namespace {

// Named only when something is wrong: B-tree pages are read often.
std::string Where(const Bref& ref, uint8_t ptype) {
  char where[160];
  std::snprintf(where, sizeof where, "%s BID 0x%llx at offset 0x%llx", PageTypeName(ptype).c_str(),
                static_cast<unsigned long long>(ref.bid), static_cast<unsigned long long>(ref.ib));
  return where;
}

}  // namespace

Result<PageBytes> ReadPage(File& file, uint64_t file_eof, const Bref& ref, uint8_t ptype) {
  if (ref.ib % kPageSize != 0) return Status::Corruption(Where(ref, ptype) + ": not 512-byte aligned");
  if (ref.ib < kFirstAMapOffset || ref.ib > file_eof || file_eof - ref.ib < kPageSize)
    return Status::Corruption(Where(ref, ptype) + ": outside the file");
  bool map_page =
      ptype == kPageTypeAMap || ptype == kPageTypePMap || ptype == kPageTypeFMap || ptype == kPageTypeFPMap;
  if (!map_page && OverlapsReservedArea(ref.ib, kPageSize))
    return Status::Corruption(Where(ref, ptype) + ": lies on an allocation map page");
  PageBytes page;
  PST_RETURN_IF_ERROR(file.ReadAt(ref.ib, page));
  PST_RETURN_IF_ERROR(VerifyPage(page, ptype, ref.bid, ref.ib));
  return page;
}

}  // namespace velmora::pst
