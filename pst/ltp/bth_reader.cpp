// Reads a BTree-on-heap (layout in bth_writer.cpp). The walk trusts nothing: every allocation must hold whole
// records, keys must ascend across the whole tree, no allocation may be visited twice (a shared or cyclic
// child), and the depth is bounded by bIdxLevels, itself bounded by kMaxBthIndexLevels.
#include <set>

#include "pst/ltp/bth.h"
#include "pst/ltp/le_bytes.h"

namespace velmora::pst {

namespace {
class Walker {
 public:
  Walker(const HeapReader& heap, const BthHeader& header, const BthVisitor& fn)
      : heap_(heap), header_(header), fn_(fn) {}

  Status Visit(Hid hid, int level) {
    if (!visited_.insert(hid).second)
      return Status::Corruption(heap_.what() + ": BTH allocation " + Hex(hid) + " is reached twice");
    PST_ASSIGN_OR_RETURN(std::span<const uint8_t> got, heap_.Get(hid));
    // An index allocation is held while its children are read, which may let its heap block go.
    std::vector<uint8_t> copy;
    if (level > 0) copy.assign(got.begin(), got.end());
    const std::span<const uint8_t> bytes = level > 0 ? std::span<const uint8_t>(copy) : got;
    const size_t record = size_t{header_.key_size} + (level == 0 ? header_.data_size : 4);
    if (bytes.empty() || bytes.size() % record != 0)
      return Status::Corruption(heap_.what() + ": BTH allocation " + Hex(hid) + " of " +
                                std::to_string(bytes.size()) + " bytes does not hold whole " +
                                std::to_string(record) + "-byte records");
    for (size_t at = 0; at < bytes.size(); at += record) {
      const auto key = bytes.subspan(at, header_.key_size);
      if (level > 0) {
        PST_RETURN_IF_ERROR(Visit(le::Get32(bytes, at + header_.key_size), level - 1));
        continue;
      }
      if (!last_key_.empty() && CompareBthKeys(last_key_, key) >= 0)
        return Status::Corruption(heap_.what() + ": BTH keys out of order in allocation " + Hex(hid));
      last_key_.assign(key.begin(), key.end());
      PST_RETURN_IF_ERROR(fn_(key, bytes.subspan(at + header_.key_size, header_.data_size)));
    }
    return Status::Ok();
  }

 private:
  const HeapReader& heap_;
  const BthHeader& header_;
  const BthVisitor& fn_;
  std::set<Hid> visited_;
  std::vector<uint8_t> last_key_;
};
}  // namespace

Result<BthHeader> ReadBthHeader(const HeapReader& heap, Hid header) {
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> h, heap.Get(header));
  if (h.size() < kBthHeaderSize)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " is " +
                              std::to_string(h.size()) + " bytes");
  if (h[0] != kBthType)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " has bType " + Hex(h[0]));
  BthHeader out{h[1], h[2], h[3], le::Get32(h, 4)};
  if ((out.key_size != 2 && out.key_size != 4 && out.key_size != 8 && out.key_size != 16) ||
      out.data_size < 1 || out.data_size > 32)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " has cbKey " +
                              std::to_string(out.key_size) + ", cbEnt " + std::to_string(out.data_size));
  if (out.levels > kMaxBthIndexLevels)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " claims " +
                              std::to_string(out.levels) + " index levels");
  return out;
}

Status ForEachBthRecord(const HeapReader& heap, const BthHeader& header, const BthVisitor& fn) {
  if (header.root == 0) return Status::Ok();
  return Walker(heap, header, fn).Visit(header.root, header.levels);
}

Result<BthRecords> ReadBth(const HeapReader& heap, Hid header) {
  PST_ASSIGN_OR_RETURN(BthHeader h, ReadBthHeader(heap, header));
  BthRecords out;
  out.key_size = h.key_size;
  out.data_size = h.data_size;
  PST_RETURN_IF_ERROR(
      ForEachBthRecord(heap, h, [&](std::span<const uint8_t> key, std::span<const uint8_t> data) {
        out.flat.insert(out.flat.end(), key.begin(), key.end());
        out.flat.insert(out.flat.end(), data.begin(), data.end());
        return Status::Ok();
      }));
  return out;
}

}  // namespace velmora::pst
