// A table context's heap holds its TCINFO at the heap's user root ([MS-PST] 2.3.4.1):
//   offset 0  bType       1  0x7C
//   offset 1  cCols       1
//   offset 2  rgib        8  four 2-byte offsets into a row
//   offset 10 hidRowIndex 4  the BTH of the row index: key dwRowID (4), data dwRowIndex (2 or 4 bytes)
//   offset 14 hnidRows    4  the row matrix (not read here)
//   ...
#include "verify/contents_ids.h"

#include <algorithm>
#include <utility>

#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/messaging/node_io.h"
#include "pst/ndb/types.h"

namespace velmora::verify {

namespace {

constexpr uint8_t kTcInfoType = 0x7C;
constexpr size_t kHidRowIndexOffset = 1 + 1 + 8;               // after bType, cCols and rgib
constexpr size_t kTcInfoMinimum = kHidRowIndexOffset + 4 + 4;  // through hnidRows
constexpr uint8_t kRowIdSize = 4;

uint32_t Le(std::span<const uint8_t> b) {
  uint32_t v = 0;
  for (size_t k = b.size(); k-- > 0;) v = (v << 8) | b[k];
  return v;
}

}  // namespace

pst::Result<std::vector<pst::Nid>> ContentsRowIds(pst::NodeStore& store, pst::Nid folder) {
  const pst::Nid table = pst::MakeNid(pst::kNidTypeContentsTable, pst::NidIndexOf(folder));
  const std::string what = "contents table " + pst::NidText(table);
  PST_ASSIGN_OR_RETURN(auto node, store.FindNode(table));
  if (!node || node->data == 0) return pst::Status::Corruption(what + " is missing or has no data");
  PST_ASSIGN_OR_RETURN(pst::HeapReader heap, pst::HeapReader::Open(store, node->data, what));
  PST_ASSIGN_OR_RETURN(auto info, heap.Get(heap.user_root()));
  if (info.size() < kTcInfoMinimum || info[0] != kTcInfoType)
    return pst::Status::Corruption(what + ": the table header is not a TCINFO");
  PST_ASSIGN_OR_RETURN(pst::BthRecords rows, pst::ReadBth(heap, Le(info.subspan(kHidRowIndexOffset, 4))));
  if (rows.size() > 0 && (rows.key_size != kRowIdSize || rows.data_size == 0 || rows.data_size > 4))
    return pst::Status::Corruption(what + ": the row index has records of the wrong size");
  std::vector<std::pair<uint32_t, pst::Nid>> ordered;
  ordered.reserve(rows.size());
  for (size_t k = 0; k < rows.size(); ++k) ordered.emplace_back(Le(rows.data(k)), Le(rows.key(k)));
  std::sort(ordered.begin(), ordered.end());
  std::vector<pst::Nid> ids;
  ids.reserve(ordered.size());
  for (const auto& [index, nid] : ordered) ids.push_back(nid);
  return ids;
}

}  // namespace velmora::verify
