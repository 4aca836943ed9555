// Where the allocation map pages live ([MS-PST] 2.2.2.7.2 - 2.2.2.7.6). The file is a run of 253,952-byte
// AMap sections starting at 0x4400; section k begins with its AMap page, followed on some sections by:
//
//   PMap   when k % 8 == 0                        (first at 0x4600)
//   FMap   when k >= 128 and (k - 128) % 496 == 0  (the header's rgbFM covers AMaps 0..127; each FMap page
//                                                   covers the 496 AMaps from its own section on)
//   FPMap  when k >= 8192 and (k - 8192) % 31744 == 0  (rgbFP covers PMaps 0..1023, i.e. AMaps 0..8191;
//                                                   each FPMap page covers 496 * 8 further PMaps)
//
// in that order, each in the next 512-byte page of the section. Those section numbers are all multiples of 8,
// so an FMap or FPMap page always sits right after a PMap, at section start + 0x400; no section carries both.
// [MS-PST] 2.2.2.7.5 - 2.2.2.7.6 give what these pages cover but no offset for them; the placement above
// follows from that coverage and from the AMap/PMap pattern. Readers we know of ignore both page types,
// and files under 128 sections (31 MB) have neither.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ndb/format.h"

namespace velmora::pst {

struct MapPage {
  uint8_t ptype;
  uint64_t ib;
};

// The map pages of section k, AMap first.
std::vector<MapPage> MapPagesOfSection(uint64_t k);
// Number of whole sections in a file of `size` bytes, or 0 when `size` is not 0x4400 + n * 0x3E000.
uint64_t SectionsForFileSize(uint64_t size);
// True when [ib, ib + size) touches a map page or lies below the first AMap.
bool OverlapsReservedArea(uint64_t ib, uint64_t size);

}  // namespace velmora::pst
