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
  Walker(const HeapReader& heap, BthRecords& out) : heap_(heap), out_(out) {}

  Status Visit(Hid hid, int level) {
    if (!visited_.insert(hid).second)
      return Status::Corruption(heap_.what() + ": BTH allocation " + Hex(hid) + " is reached twice");
    PST_ASSIGN_OR_RETURN(std::span<const uint8_t> bytes, heap_.Get(hid));
    const size_t record = size_t{out_.key_size} + (level == 0 ? out_.data_size : 4);
    if (bytes.empty() || bytes.size() % record != 0)
      return Status::Corruption(heap_.what() + ": BTH allocation " + Hex(hid) + " of " +
                                std::to_string(bytes.size()) + " bytes does not hold whole " +
                                std::to_string(record) + "-byte records");
    for (size_t at = 0; at < bytes.size(); at += record) {
      const auto key = bytes.subspan(at, out_.key_size);
      if (level > 0) {
        PST_RETURN_IF_ERROR(Visit(le::Get32(bytes, at + out_.key_size), level - 1));
        continue;
      }
      if (!last_key_.empty() && CompareBthKeys(last_key_, key) >= 0)
        return Status::Corruption(heap_.what() + ": BTH keys out of order in allocation " + Hex(hid));
      last_key_.assign(key.begin(), key.end());
      out_.flat.insert(out_.flat.end(), bytes.begin() + static_cast<ptrdiff_t>(at),
                       bytes.begin() + static_cast<ptrdiff_t>(at + record));
    }
    return Status::Ok();
  }

 private:
  const HeapReader& heap_;
  BthRecords& out_;
  std::set<Hid> visited_;
  std::vector<uint8_t> last_key_;
};
}  // namespace

Result<BthRecords> ReadBth(const HeapReader& heap, Hid header) {
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> h, heap.Get(header));
  if (h.size() < kBthHeaderSize)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " is " +
                              std::to_string(h.size()) + " bytes");
  if (h[0] != kBthType)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " has bType " + Hex(h[0]));
  BthRecords out;
  out.key_size = h[1];
  out.data_size = h[2];
  const uint8_t levels = h[3];
  const Hid root = le::Get32(h, 4);
  if ((out.key_size != 2 && out.key_size != 4 && out.key_size != 8 && out.key_size != 16) ||
      out.data_size < 1 || out.data_size > 32)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " has cbKey " +
                              std::to_string(out.key_size) + ", cbEnt " + std::to_string(out.data_size));
  if (levels > kMaxBthIndexLevels)
    return Status::Corruption(heap.what() + ": BTH header " + Hex(header) + " claims " +
                              std::to_string(levels) + " index levels");
  if (root == 0) return out;
  Walker walker(heap, out);
  PST_RETURN_IF_ERROR(walker.Visit(root, levels));
  return out;
}

}  // namespace velmora::pst
