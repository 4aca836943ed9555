// Writes a BTree-on-heap ([MS-PST] 2.3.2).
//
// BTHHEADER, 8 bytes, one heap allocation:
//   0  1  bType       0xB5
//   1  1  cbKey       key size: 2, 4, 8 or 16
//   2  1  cbEnt       data size of a leaf record: 1 - 32
//   3  1  bIdxLevels  index levels above the leaves; 0 when one allocation holds every record
//   4  4  hidRoot     the top allocation; 0 for an empty tree
//
// Leaf allocation:         records { key (cbKey) | data (cbEnt) }, ascending by key
// Intermediate allocation: records { key (cbKey) | hidNextLevel (4) }, the key being the first key below it
//
// An allocation holds at most 3,580 bytes, so a leaf of 8-byte records holds 447 of them. Leaves are filled
// in key order, each full except the last; each index level is built the same way over the one below.
#include <algorithm>
#include <array>

#include "pst/ltp/bth.h"
#include "pst/ltp/le_bytes.h"

namespace velmora::pst {

namespace {
constexpr size_t kHidSize = 4;

size_t PerAllocation(size_t record_size) {
  return kMaxHeapAllocation / record_size;
}

}  // namespace

int CompareBthKeys(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

Result<BthWriter> BthWriter::Begin(HeapWriter& heap, uint8_t key_size, uint8_t data_size) {
  if ((key_size != 2 && key_size != 4 && key_size != 8 && key_size != 16) || data_size < 1 || data_size > 32)
    return Status::InvalidArgument("BTH record shape " + std::to_string(key_size) + "/" +
                                   std::to_string(data_size));
  BthWriter w;
  w.key_size_ = key_size;
  w.data_size_ = data_size;
  PST_ASSIGN_OR_RETURN(w.header_, heap.Reserve(kBthHeaderSize));
  return w;
}

Status BthWriter::ReserveRecords(HeapWriter& heap, size_t count) {
  if (!levels_.empty() || count_ != 0) return Status::InvalidArgument("BTH records reserved twice");
  count_ = count;
  size_t below = count;
  size_t record = size_t{key_size_} + data_size_;
  while (below > 0) {
    // Each allocation of the level takes as many records as fit, the last the rest.
    const size_t per = PerAllocation(record);
    std::vector<Hid> level;
    level.reserve((below + per - 1) / per);
    for (size_t left = below; left > 0; left -= std::min(left, per)) {
      PST_ASSIGN_OR_RETURN(Hid hid, heap.Reserve(std::min(left, per) * record));
      level.push_back(hid);
    }
    below = level.size();
    levels_.push_back(std::move(level));
    if (below == 1) break;
    record = size_t{key_size_} + kHidSize;
  }
  if (levels_.size() > size_t{kMaxBthIndexLevels} + 1)
    return Status::NoSpace("BTH of " + std::to_string(count) + " records needs too many index levels");
  return Status::Ok();
}

Status BthWriter::Finish(HeapWriter& heap, std::span<const uint8_t> records) {
  const size_t leaf_record = size_t{key_size_} + data_size_;
  if (records.size() != count_ * leaf_record)
    return Status::InvalidArgument("BTH expects " + std::to_string(count_) + " records");
  for (size_t i = 1; i < count_; ++i) {
    if (CompareBthKeys(records.subspan((i - 1) * leaf_record, key_size_),
                       records.subspan(i * leaf_record, key_size_)) >= 0)
      return Status::InvalidArgument("BTH keys are not unique and ascending at record " + std::to_string(i));
  }

  // Fill one level from `items` and collect the index records {first key, hid} for the level above (none
  // above the root: a BTH of one allocation, most of them, copies nothing).
  std::span<const uint8_t> items = records;
  std::vector<uint8_t> below, above;
  size_t record = leaf_record;
  for (const auto& level : levels_) {
    above.clear();
    const size_t per = PerAllocation(record);
    for (size_t a = 0; a < level.size(); ++a) {
      const size_t begin = a * per * record;
      const size_t end = std::min(items.size(), begin + per * record);
      const std::span<const uint8_t> part = std::span<const uint8_t>(items).subspan(begin, end - begin);
      PST_RETURN_IF_ERROR(heap.Overwrite(level[a], part));
      if (level.size() == 1) break;  // the root
      above.insert(above.end(), part.begin(), part.begin() + key_size_);
      le::Append32(above, level[a]);
    }
    below.swap(above);
    items = below;
    record = size_t{key_size_} + kHidSize;
  }

  std::array<uint8_t, kBthHeaderSize> header{};
  header[0] = kBthType;
  header[1] = key_size_;
  header[2] = data_size_;
  header[3] = static_cast<uint8_t>(levels_.empty() ? 0 : levels_.size() - 1);
  le::Put32(header, 4, levels_.empty() ? 0 : levels_.back()[0]);
  return heap.Overwrite(header_, header);
}

}  // namespace velmora::pst
