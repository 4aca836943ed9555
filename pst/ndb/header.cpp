// Unicode HEADER, 564 bytes at file offset 0 ([MS-PST] 2.2.2.6), with ROOT at 180 ([MS-PST] 2.2.2.5).
//
//  off size field            what we write / check
//    0    4 dwMagic          "!BDN"
//    4    4 dwCRCPartial     CRC of the 471 bytes [8, 479)
//    8    2 wMagicClient     "SM" (0x4D53): a PST, not an OST ("SO") or PAB ("AB")
//   10    2 wVer             23; 14/15 = ANSI, 36 = 4k-page OST (both unsupported)
//   12    2 wVerClient       19
//   14    1 bPlatformCreate  0x01
//   15    1 bPlatformAccess  0x01
//   16    8 dwReserved1/2    0
//   24    8 bidUnused        0
//   32    8 bidNextP         next page BID
//   40    4 dwUnique         bumped on every rewrite
//   44  128 rgnid[32]        last nidIndex handed out per nidType (next = rgnid + 1)
//  172    8 qwUnused         0
//  180    4 ROOT.dwReserved  0
//  184    8 ROOT.ibFileEof   file size: 0x4400 + n * 0x3E000
//  192    8 ROOT.ibAMapLast  offset of the last AMap page
//  200    8 ROOT.cbAMapFree  64 * (0 bits in all AMaps)
//  208    8 ROOT.cbPMapFree  0: our PMaps are all 0xFF
//  216   16 ROOT.BREFNBT     NBT root page
//  232   16 ROOT.BREFBBT     BBT root page
//  248    1 ROOT.fAMapValid  2, or 0 while the maps are being rewritten
//  249    3 ROOT reserved    0
//  252    4 dwAlign          0
//  256  128 rgbFM            0xFF (deprecated header FMap)
//  384  128 rgbFP            0xFF (deprecated header FPMap)
//  512    1 bSentinel        0x80
//  513    1 bCryptMethod     0 none, 1 permute, 2 cyclic
//  514    2 rgbReserved      0
//  516    8 bidNextB         next block BID
//  524    4 dwCRCFull        CRC of the 516 bytes [8, 524)
//  528   36 reserved         0
#include "pst/ndb/header.h"

#include <string>

#include "pst/ndb/crc.h"

namespace velmora::pst {
namespace {

constexpr uint8_t kMagic[4] = {0x21, 0x42, 0x44, 0x4E};  // "!BDN"
constexpr uint16_t kMagicClientPst = 0x4D53;             // "SM"
constexpr uint16_t kVersionUnicode = 23;
constexpr uint8_t kSentinel = 0x80;
constexpr size_t kPartialCrcStart = 8, kPartialCrcLength = 471;
constexpr size_t kFullCrcStart = 8, kFullCrcLength = 516;

}  // namespace

std::array<uint32_t, 32> InitialRgnid() {
  std::array<uint32_t, 32> r{};
  r.fill(0x400);
  r[kNidTypeSearchFolder] = 0x4000;
  r[kNidTypeNormalMessage] = 0x10000;
  r[kNidTypeAssocMessage] = 0x8000;
  return r;
}

std::array<uint8_t, kHeaderSize> SerializeHeader(const Header& h) {
  std::array<uint8_t, kHeaderSize> b{};
  uint8_t* p = b.data();
  std::memcpy(p, kMagic, 4);
  Store16(p + 8, kMagicClientPst);
  Store16(p + 10, h.version);
  Store16(p + 12, h.client_version);
  p[14] = 0x01;
  p[15] = 0x01;
  Store64(p + 32, h.bid_next_p);
  Store32(p + 40, h.unique);
  for (size_t i = 0; i < 32; ++i) Store32(p + 44 + 4 * i, h.rgnid[i]);
  Store64(p + 184, h.file_eof);
  Store64(p + 192, h.amap_last);
  Store64(p + 200, h.amap_free);
  Store64(p + 208, h.pmap_free);
  Store64(p + 216, h.nbt.bid);
  Store64(p + 224, h.nbt.ib);
  Store64(p + 232, h.bbt.bid);
  Store64(p + 240, h.bbt.ib);
  p[248] = h.amap_valid;
  std::memset(p + 256, 0xFF, 256);
  p[512] = kSentinel;
  p[513] = h.crypt_method;
  Store64(p + 516, h.bid_next_b);
  Store32(p + 4, Crc32({p + kPartialCrcStart, kPartialCrcLength}));
  Store32(p + 524, Crc32({p + kFullCrcStart, kFullCrcLength}));
  return b;
}

Result<Header> ParseHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeaderSize)
    return Status::Corruption("header at offset 0: file too short (" + std::to_string(bytes.size()) +
                              " bytes)");
  const uint8_t* p = bytes.data();
  if (std::memcmp(p, kMagic, 4) != 0)
    return Status::Corruption("header at offset 0: not a PST (bad dwMagic)");
  if (Load16(p + 8) != kMagicClientPst)
    return Status::Unsupported("header at offset 8: wMagicClient " + std::to_string(Load16(p + 8)) +
                               " is not a PST");
  Header h;
  h.version = Load16(p + 10);
  if (h.version == 14 || h.version == 15)
    return Status::Unsupported("ANSI PST (wVer " + std::to_string(h.version) + ")");
  if (h.version != kVersionUnicode)
    return Status::Unsupported("PST version " + std::to_string(h.version) + " (only Unicode 23 is handled)");
  if (Load32(p + 4) != Crc32({p + kPartialCrcStart, kPartialCrcLength}))
    return Status::Corruption("header at offset 4: dwCRCPartial does not match");
  if (Load32(p + 524) != Crc32({p + kFullCrcStart, kFullCrcLength}))
    return Status::Corruption("header at offset 524: dwCRCFull does not match");
  if (p[512] != kSentinel) return Status::Corruption("header at offset 512: bSentinel is not 0x80");
  h.client_version = Load16(p + 12);
  h.bid_next_p = Load64(p + 32);
  h.unique = Load32(p + 40);
  for (size_t i = 0; i < 32; ++i) h.rgnid[i] = Load32(p + 44 + 4 * i);
  h.file_eof = Load64(p + 184);
  h.amap_last = Load64(p + 192);
  h.amap_free = Load64(p + 200);
  h.pmap_free = Load64(p + 208);
  h.nbt = {Load64(p + 216), Load64(p + 224)};
  h.bbt = {Load64(p + 232), Load64(p + 240)};
  h.amap_valid = p[248];
  h.crypt_method = p[513];
  h.bid_next_b = Load64(p + 516);
  return h;
}

}  // namespace velmora::pst
