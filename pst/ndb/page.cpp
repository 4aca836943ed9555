// Pages ([MS-PST] 2.2.2.7). Every page is 512 bytes at a 512-aligned offset and ends with a PAGETRAILER:
//
//  page off size field        rule
//   496      1   ptype        0x80 BBT, 0x81 NBT, 0x82 FMap, 0x83 PMap, 0x84 AMap, 0x85 FPMap, 0x86 DList
//   497      1   ptypeRepeat  = ptype
//   498      2   wSig         ComputeSig(ib, bid) for BTree and DList pages; 0 for the four map pages
//   500      4   dwCRC        CRC of bytes [0, 496)
//   504      8   bid          a page BID (bidNextP); map pages hold their own file offset
//
// BTree page (BTPAGE, [MS-PST] 2.2.2.7.7.1):
//     0    488   rgentries    cEnt entries of cbEnt bytes, ascending keys, the rest zero
//   488      1   cEnt
//   489      1   cEntMax      488 / cbEnt
//   490      1   cbEnt        24 for branch and BBT leaf entries, 32 for NBT leaf entries
//   491      1   cLevel       0 = leaf
//   492      4   dwPadding    0
//
// BTENTRY (branch, 24): btkey 8 (smallest key below) | BREF 16.
// BBTENTRY (24): BREF 16 | cb 2 | cRef 2 | dwPadding 4 (0).
// NBTENTRY (32): nid 8 (high dword 0) | bidData 8 | bidSub 8 | nidParent 4 | dwPadding 4 (0).
//
// DLISTPAGE ([MS-PST] 2.2.2.7.4): bFlags 1 | cEntDList 1 | wPadding 2 | ulCurrentPage 4 | entries | trailer.
#include "pst/ndb/page.h"

#include <cstdio>

#include "pst/ndb/crc.h"

namespace velmora::pst {
namespace {

bool IsMapPage(uint8_t ptype) {
  return ptype == kPageTypeAMap || ptype == kPageTypePMap || ptype == kPageTypeFMap ||
         ptype == kPageTypeFPMap;
}

}  // namespace

std::string PageTypeName(uint8_t ptype) {
  switch (ptype) {
    case kPageTypeBbt:
      return "BBT page";
    case kPageTypeNbt:
      return "NBT page";
    case kPageTypeFMap:
      return "FMap page";
    case kPageTypePMap:
      return "PMap page";
    case kPageTypeAMap:
      return "AMap page";
    case kPageTypeFPMap:
      return "FPMap page";
    case kPageTypeDList:
      return "DList page";
  }
  return "page";
}

void SealPage(PageBytes& page, uint8_t ptype, Bid bid, Ib ib) {
  uint8_t* t = page.data() + kPageDataSize;
  t[0] = ptype;
  t[1] = ptype;
  Store16(t + 2, IsMapPage(ptype) ? 0 : ComputeSig(ib, bid));
  Store32(t + 4, Crc32({page.data(), kPageDataSize}));
  Store64(t + 8, bid);
}

Status VerifyPage(const PageBytes& page, uint8_t ptype, Bid bid, Ib ib) {
  const uint8_t* t = page.data() + kPageDataSize;
  auto where = [&] { return PageTypeName(ptype) + " BID " + Hex(bid) + " at offset " + Hex(ib); };
  if (t[0] != ptype)
    return Status::Corruption(where() + ": page type " + Hex(t[0]) + ", expected " + Hex(ptype));
  if (t[1] != ptype)
    return Status::Corruption(where() + ": ptypeRepeat " + Hex(t[1]) + " differs from ptype");
  if (Load32(t + 4) != Crc32({page.data(), kPageDataSize}))
    return Status::Corruption(where() + ": CRC mismatch");
  if (Load64(t + 8) != bid)
    return Status::Corruption(where() + ": trailer BID " + Hex(Load64(t + 8)) + " differs");
  uint16_t sig = IsMapPage(ptype) ? 0 : ComputeSig(ib, bid);
  if (Load16(t + 2) != sig) return Status::Corruption(where() + ": wSig " + Hex(Load16(t + 2)) + " wrong");
  return Status::Ok();
}

BtFooter LoadBtFooter(const PageBytes& page) {
  const uint8_t* f = page.data() + kBtEntriesSize;
  return {f[0], f[1], f[2], f[3]};
}

void StoreBtFooter(PageBytes& page, const BtFooter& footer) {
  uint8_t* f = page.data() + kBtEntriesSize;
  f[0] = footer.cent;
  f[1] = footer.cent_max;
  f[2] = footer.cb_ent;
  f[3] = footer.level;
  Store32(f + 4, 0);
}

void StoreNbtEntry(uint8_t* p, const NodeEntry& e) {
  Store64(p, e.nid);
  Store64(p + 8, e.data);
  Store64(p + 16, e.sub);
  Store32(p + 24, e.parent);
  Store32(p + 28, 0);
}

NodeEntry LoadNbtEntry(const uint8_t* p) {
  // Only the low 32 bits of the 8-byte nid field are the NID ([MS-PST] 2.2.2.7.7.4).
  return {static_cast<Nid>(Load32(p)), Load64(p + 8), Load64(p + 16), Load32(p + 24)};
}

void StoreBbtEntry(uint8_t* p, const BbtEntry& e) {
  Store64(p, e.bid);
  Store64(p + 8, e.ib);
  Store16(p + 16, e.cb);
  Store16(p + 18, e.cref);
  Store32(p + 20, 0);
}

BbtEntry LoadBbtEntry(const uint8_t* p) {
  // Bit 0 of a BID is reserved; readers clear it ([MS-PST] 2.2.2.2).
  return {Load64(p) & ~uint64_t{1}, Load64(p + 8), Load16(p + 16), Load16(p + 18)};
}

void StoreBranchEntry(uint8_t* p, uint64_t key, const Bref& child) {
  Store64(p, key);
  Store64(p + 8, child.bid);
  Store64(p + 16, child.ib);
}

void LoadBranchEntry(const uint8_t* p, uint64_t* key, Bref* child) {
  *key = Load64(p);
  *child = {Load64(p + 8), Load64(p + 16)};
}

PageBytes MakeMapPage(uint8_t ptype, Ib ib, std::span<const uint8_t> bits) {
  PageBytes page{};
  std::memcpy(page.data(), bits.data(), std::min(bits.size(), kPageDataSize));
  SealPage(page, ptype, ib, ib);
  return page;
}

PageBytes MakeEmptyDListPage(Bid bid) {
  PageBytes page{};
  SealPage(page, kPageTypeDList, bid, kDListOffset);
  return page;
}

}  // namespace velmora::pst
