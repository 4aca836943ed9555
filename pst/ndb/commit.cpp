// The commit and the growth commit: the invariants [C1] - [C7] are listed in node_database.h.
#include <algorithm>
#include <set>

#include "pst/ndb/map_layout.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst {

Status NodeDatabase::WriteHeader(const Header& h) {
  auto bytes = SerializeHeader(h);
  return file_->WriteAt(0, bytes);
}

Status NodeDatabase::WriteMaps(std::span<const uint64_t> dirty, uint64_t first_new_section) {
  const uint64_t sections = space_->sections();
  std::set<uint64_t> fmaps;  // sections holding an FMap page that must be rewritten
  for (uint64_t k : dirty) {
    PageBytes amap = MakeMapPage(kPageTypeAMap, SectionOffset(k), space_->SectionBits(k));
    PST_RETURN_IF_ERROR(file_->WriteAt(SectionOffset(k), amap));
    if (k >= kAMapsInHeaderFMap) fmaps.insert(k - (k - kAMapsInHeaderFMap) % kAMapsPerFMap);
  }
  // PMaps and FPMaps are all 0xFF: no page in them is handed out through the deprecated page maps.
  const std::vector<uint8_t> full(kPageDataSize, 0xFF);
  for (uint64_t k = rewrite_all_fixed_maps_ ? 0 : first_new_section; k < sections; ++k)
    for (const MapPage& m : MapPagesOfSection(k))
      if (m.ptype == kPageTypePMap || m.ptype == kPageTypeFPMap)
        PST_RETURN_IF_ERROR(file_->WriteAt(m.ib, MakeMapPage(m.ptype, m.ib, full)));
  for (uint64_t f : fmaps) {
    // One byte per AMap from section f on: the longest free run there (0 for AMaps not in the file yet).
    std::vector<uint8_t> runs(kPageDataSize, 0);
    for (uint64_t i = 0; i < kAMapsPerFMap && f + i < sections; ++i) runs[i] = space_->LongestFreeRun(f + i);
    uint64_t ib = SectionOffset(f) + 2 * kPageSize;
    PST_RETURN_IF_ERROR(file_->WriteAt(ib, MakeMapPage(kPageTypeFMap, ib, runs)));
  }
  rewrite_all_fixed_maps_ = false;
  return Status::Ok();
}

namespace {

// A growth commit takes in a quarter of the file, at least 16 sections (4 MB) and at most 256 (62 MB): each
// costs three syncs, so there are a few while a file is small and one per 62 MB later, and a finished file
// never ends in more than a quarter of its size or 62 MB of free space.
constexpr uint64_t kMinGrowthSections = 16;
constexpr uint64_t kMaxGrowthSections = 256;
uint64_t GrowthSections(uint64_t sections) {
  return std::clamp<uint64_t>(sections / 4, kMinGrowthSections, kMaxGrowthSections);
}

}  // namespace

Result<uint64_t> NodeDatabase::Allocate(uint64_t size, uint64_t align) {
  PST_ASSIGN_OR_RETURN(uint64_t ib, space_->Allocate(size, align));  // [C1]
  if (has_durable_header_ && space_->sections() > durable_sections_)
    if (Status s = TakeInNewSections(); !s.ok()) return Fail(s);
  return ib;
}

Status NodeDatabase::WriteEmptySectionMaps(uint64_t first, uint64_t end) {
  const std::vector<uint8_t> full(kPageDataSize, 0xFF);
  std::set<uint64_t> fmaps;
  for (uint64_t k = first; k < end; ++k) {
    for (const MapPage& m : MapPagesOfSection(k)) {
      if (m.ptype == kPageTypeFMap) continue;
      auto bits = m.ptype == kPageTypeAMap ? SpaceMap::EmptySectionBits(k) : full;
      PST_RETURN_IF_ERROR(file_->WriteAt(m.ib, MakeMapPage(m.ptype, m.ib, bits)));
    }
    if (k >= kAMapsInHeaderFMap) fmaps.insert(k - (k - kAMapsInHeaderFMap) % kAMapsPerFMap);
  }
  for (uint64_t f : fmaps) {
    // The FMap keeps its bytes for the sections already counted; the new ones are empty (longest run 255).
    uint64_t ib = SectionOffset(f) + 2 * kPageSize;
    std::vector<uint8_t> runs(kPageDataSize, 0);
    if (f < first) {
      auto old = ReadPage(*file_, FileSizeForSections(first), {ib, ib}, kPageTypeFMap);
      if (old.ok())
        std::copy_n(old->begin(), kPageDataSize, runs.begin());
      else
        for (uint64_t i = 0; f + i < first; ++i) runs[i] = space_->LongestFreeRun(f + i);
    }
    for (uint64_t k = std::max(f, first); k < end && k < f + kAMapsPerFMap; ++k) runs[k - f] = 255;
    PST_RETURN_IF_ERROR(file_->WriteAt(ib, MakeMapPage(kPageTypeFMap, ib, runs)));
  }
  return Status::Ok();
}

Status NodeDatabase::TakeInNewSections() {
  // [C6] Same roots, more room: the new sections' maps first, durable, then the header that counts them.
  // The blocks written so far are synced before the file changes size, so that the window in which it
  // runs past ibFileEof lasts only as long as a sync of the few map pages.
  PST_RETURN_IF_ERROR(file_->Sync());
  const uint64_t target = durable_sections_ + GrowthSections(durable_sections_);
  if (space_->sections() < target) space_->AddSections(target - space_->sections());
  const uint64_t first = durable_sections_, end = space_->sections();
  Status grown = file_->SetSize(FileSizeForSections(end));
  if (grown.ok()) grown = WriteEmptySectionMaps(first, end);
  if (grown.ok()) grown = file_->Sync();
  if (!grown.ok()) {
    // Nothing counts the new room yet: give it back (a full disk fails here), best effort.
    (void)file_->SetSize(FileSizeForSections(first));
    return grown;
  }
  Header h = header_;
  h.file_eof = FileSizeForSections(end);
  h.amap_last = SectionOffset(end - 1);
  for (uint64_t k = first; k < end; ++k) h.amap_free += SpaceMap::EmptySectionFreeBytes(k);
  h.unique = header_.unique + 1;
  PST_RETURN_IF_ERROR(WriteHeader(h));
  PST_RETURN_IF_ERROR(file_->Sync());
  header_ = h;
  next_.unique = h.unique;
  durable_sections_ = end;
  return Status::Ok();
}

Status NodeDatabase::Commit() {
  PST_RETURN_IF_ERROR(CheckWritable());
  if (!changed_) return Status::Ok();

  // [C1] B-tree pages copy-on-write into free space, children before parents.
  auto alloc = [this]() -> Result<Bref> {
    PST_ASSIGN_OR_RETURN(uint64_t ib, Allocate(kPageSize, kPageSize));
    return Bref{next_.bid_next_p++, ib};
  };
  auto write = [this](const Bref& ref, const PageBytes& page) { return file_->WriteAt(ref.ib, page); };
  if (Status s = nbt_.Flush(alloc, write); !s.ok()) return Fail(s);
  if (Status s = bbt_.Flush(alloc, write); !s.ok()) return Fail(s);
  // [C2] The copies they replace are free once this commit is durable.
  for (const Bref& r : nbt_.TakeFreed()) space_->FreeLater(r.ib, kPageSize);
  for (const Bref& r : bbt_.TakeFreed()) space_->FreeLater(r.ib, kPageSize);

  // [C3] Changing the maps in place: first tell the durable header its maps are not to be trusted. Bits
  // set for the new blocks would claim space the durable roots do not reach just as cleared bits would
  // free space they do, so any map change needs it. The blocks and pages are synced first, so that the
  // window in which the header says so lasts only as long as syncs of a few pages.
  if (has_durable_header_ && (space_->HasPending() || space_->HasDirtySections() || stale_maps_on_disk_) &&
      header_.amap_valid == kAMapValid2) {
    if (Status s = file_->Sync(); !s.ok()) return Fail(s);
    Header invalid = header_;
    invalid.amap_valid = kAMapInvalid;
    ++invalid.unique;
    if (Status s = WriteHeader(invalid); !s.ok()) return Fail(s);
    if (Status s = file_->Sync(); !s.ok()) return Fail(s);
    header_ = invalid;
  }
  space_->ReleasePending();
  // Space given back (a message abandoned after its blocks were written, such as one refused for its size)
  // that leaves empty sections at the end beyond what a growth would take in again is cut off the file, once
  // the header that no longer counts it is durable: until then the durable state may still reach it.
  space_->DropTrailingEmpty(GrowthSections(space_->sections()));

  // [C6] Whole sections, every map page written.
  const uint64_t eof = space_->file_size();
  auto size = file_->Size();
  if (!size.ok()) return Fail(size.status());
  if (*size < eof)
    if (Status s = file_->SetSize(eof); !s.ok()) return Fail(s);
  std::vector<uint64_t> dirty = space_->TakeDirtySections();
  if (Status s = WriteMaps(dirty, durable_sections_); !s.ok()) return Fail(s);
  // [C4] Everything the new header reaches is durable before the header is written.
  if (Status s = file_->Sync(); !s.ok()) return Fail(s);

  Header h = next_;
  h.nbt = nbt_.root_ref();
  h.bbt = bbt_.root_ref();
  h.file_eof = eof;
  h.amap_last = SectionOffset(space_->sections() - 1);
  h.amap_free = space_->FreeBytes();
  h.pmap_free = 0;
  h.amap_valid = kAMapValid2;
  h.unique = header_.unique + 1;
  if (Status s = WriteHeader(h); !s.ok()) return Fail(s);
  if (Status s = file_->Sync(); !s.ok()) return Fail(s);
  // Best effort: a tail past ibFileEof holds nothing committed, and the next writable open cuts it off.
  if (*size > eof) (void)file_->SetSize(eof);

  header_ = h;
  stale_maps_on_disk_ = false;
  next_.unique = h.unique;
  durable_sections_ = space_->sections();
  has_durable_header_ = true;
  changed_ = false;
  return Status::Ok();
}

}  // namespace velmora::pst
