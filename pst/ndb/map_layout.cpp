#include "pst/ndb/map_layout.h"

namespace velmora::pst {

std::vector<MapPage> MapPagesOfSection(uint64_t k) {
  std::vector<MapPage> pages;
  uint64_t ib = SectionOffset(k);
  pages.push_back({kPageTypeAMap, ib});
  if (k % kAMapsPerPMap == 0) pages.push_back({kPageTypePMap, ib + kPageSize * pages.size()});
  if (k >= kAMapsInHeaderFMap && (k - kAMapsInHeaderFMap) % kAMapsPerFMap == 0)
    pages.push_back({kPageTypeFMap, ib + kPageSize * pages.size()});
  if (k >= kAMapsInHeaderFPMap && (k - kAMapsInHeaderFPMap) % kAMapsPerFPMap == 0)
    pages.push_back({kPageTypeFPMap, ib + kPageSize * pages.size()});
  return pages;
}

uint64_t SectionsForFileSize(uint64_t size) {
  if (size < FileSizeForSections(1) || (size - kFirstAMapOffset) % kAMapSectionSize != 0) return 0;
  return (size - kFirstAMapOffset) / kAMapSectionSize;
}

bool OverlapsReservedArea(uint64_t ib, uint64_t size) {
  if (ib < kFirstAMapOffset) return true;
  uint64_t k = (ib - kFirstAMapOffset) / kAMapSectionSize;
  // An allocation never spans sections without touching the next section's AMap, so checking the map pages
  // of its own section and of the next one is enough.
  for (uint64_t s : {k, k + 1})
    for (const MapPage& m : MapPagesOfSection(s))
      if (ib < m.ib + kPageSize && m.ib < ib + size) return true;
  return false;
}

}  // namespace velmora::pst
