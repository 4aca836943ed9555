// Sizes, offsets and magic numbers of the Unicode node database, with the little-endian helpers that read
// and write them. Every constant says where it comes from; the byte layouts themselves are documented at the
// top of the file that writes them (header.cpp, page.cpp, block.cpp, space_map.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace velmora::pst {

// ---- Pages ([MS-PST] 2.2.2.7).
constexpr size_t kPageSize = 512;
constexpr size_t kPageTrailerSize = 16;                         // ptype, ptypeRepeat, wSig, dwCRC, bid
constexpr size_t kPageDataSize = kPageSize - kPageTrailerSize;  // 496 bytes covered by the page CRC

enum PageType : uint8_t {
  kPageTypeBbt = 0x80,
  kPageTypeNbt = 0x81,
  kPageTypeFMap = 0x82,
  kPageTypePMap = 0x83,
  kPageTypeAMap = 0x84,
  kPageTypeFPMap = 0x85,
  kPageTypeDList = 0x86,
};

// ---- Blocks ([MS-PST] 2.2.2.8).
constexpr size_t kBlockAlign = 64;        // blocks start on 64-byte boundaries, one AMap bit each
constexpr size_t kBlockTrailerSize = 16;  // cb, wSig, dwCRC, bid
constexpr size_t kMaxBlockSize = 8192;    // data + padding + trailer
constexpr size_t kMaxBlockPayload = kMaxBlockSize - kBlockTrailerSize;  // 8176

// Total on-disk size of a block holding `cb` bytes: rounded up to whole 64-byte slots.
constexpr size_t BlockDiskSize(size_t cb) {
  return (cb + kBlockTrailerSize + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
}

// ---- File layout ([MS-PST] 2.2.2.6, 2.2.2.7.2 - 2.2.2.7.6, 2.6.1.1.2).
constexpr uint64_t kHeaderSize = 564;
constexpr uint64_t kDListOffset = 0x4200;      // the density list page sits just before the first AMap
constexpr uint64_t kFirstAMapOffset = 0x4400;  // header area + reserved space + DList
// One AMap page maps 496 bytes * 8 bits * 64 bytes = 253,952 bytes starting at itself.
constexpr uint64_t kAMapSectionSize = kPageDataSize * 8 * kBlockAlign;  // 0x3E000
constexpr uint64_t kSlotsPerSection = kPageDataSize * 8;                // 3,968 64-byte slots
// A PMap follows the AMap of every 8th section (one PMap bit per 512-byte page: 8 AMaps' worth).
constexpr uint64_t kAMapsPerPMap = 8;
// The header's rgbFM covers the first 128 AMaps; one FMap page then covers 496 further AMaps.
constexpr uint64_t kAMapsInHeaderFMap = 128;
constexpr uint64_t kAMapsPerFMap = kPageDataSize;  // one byte per AMap
// The header's rgbFP covers the first 128 * 8 PMaps; one FPMap page then covers 496 * 8 further PMaps.
constexpr uint64_t kAMapsInHeaderFPMap = 128 * 8 * kAMapsPerPMap;       // 8,192
constexpr uint64_t kAMapsPerFPMap = kPageDataSize * 8 * kAMapsPerPMap;  // 31,744

constexpr uint64_t SectionOffset(uint64_t index) {
  return kFirstAMapOffset + index * kAMapSectionSize;
}
constexpr uint64_t FileSizeForSections(uint64_t sections) {
  return kFirstAMapOffset + sections * kAMapSectionSize;
}

// ---- BTree pages ([MS-PST] 2.2.2.7.7).
constexpr size_t kBtEntriesSize = 488;     // rgentries; cEnt, cEntMax, cbEnt, cLevel and padding follow
constexpr size_t kBtBranchEntrySize = 24;  // BTENTRY: btkey 8 + BREF 16
constexpr size_t kBbtLeafEntrySize = 24;   // BBTENTRY: BREF 16 + cb 2 + cRef 2 + padding 4
constexpr size_t kNbtLeafEntrySize = 32;   // NBTENTRY: nid 8 + bidData 8 + bidSub 8 + nidParent 4 + padding 4
constexpr size_t kBtMaxLevels = 8;         // far beyond any real file; stops a cycle in a corrupt tree

// ---- Little-endian access.
inline uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Load64(const uint8_t* p) {
  return Load32(p) | (static_cast<uint64_t>(Load32(p + 4)) << 32);
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Store64(uint8_t* p, uint64_t v) {
  Store32(p, static_cast<uint32_t>(v));
  Store32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace velmora::pst
