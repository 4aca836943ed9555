// Reads every property context and table context of the Outlook-made sample files, writes each again and
// reads the copy back: the values must survive, and our table layouts must be Outlook's byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/file.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/testing/memory_node_store.h"

namespace velmora::pst {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> SampleFiles() {
  const char* env = std::getenv("VELMORA_SHARED");
  fs::path dir = fs::path(env ? env : "/work/shared") / "sample-pst";
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().extension() == ".pst") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

// One heap found in a file: a node's data, or a subnode's, with the subnodes its HNIDs may name.
struct HeapNode {
  std::string name;
  Bid data = 0;
  std::vector<SubnodeEntry> subnodes;
};

Status CollectHeaps(NodeStore& store, const std::string& name, Bid data, Bid sub, int depth,
                    std::vector<HeapNode>& out) {
  std::vector<SubnodeEntry> subnodes;
  if (sub != 0) {
    PST_ASSIGN_OR_RETURN(subnodes, store.ReadSubnodes(sub));
  }
  if (data != 0) out.push_back(HeapNode{name, data, subnodes});
  if (depth < 4) {
    for (const auto& s : subnodes)
      PST_RETURN_IF_ERROR(CollectHeaps(store, name + "/" + Hex(s.nid), s.data, s.sub, depth + 1, out));
  }
  return Status::Ok();
}

Result<uint8_t> ClientSig(NodeStore& store, Bid data) {
  PST_ASSIGN_OR_RETURN(std::vector<Bid> blocks, store.DataBlocks(data));
  PST_ASSIGN_OR_RETURN(std::vector<uint8_t> first, store.ReadDataBlock(blocks.at(0)));
  if (first.size() < 12 || first[2] != kHeapSignature) return uint8_t{0};
  return first[3];
}

void ExpectSameValue(const PropValue& a, const PropValue& b, const std::string& where) {
  EXPECT_EQ(a.type, b.type) << where;
  EXPECT_EQ(a.Load().value(), b.Load().value()) << where;
}

// TCINFO's rgib and column descriptions, the bytes that fix the row layout.
// The bytes of a heap's blocks, for counting heaps we write exactly as Outlook did.
std::vector<std::vector<uint8_t>> HeapBytes(NodeStore& store, Bid data) {
  std::vector<std::vector<uint8_t>> out;
  auto blocks = store.DataBlocks(data);
  if (!blocks.ok()) return out;
  for (Bid b : blocks.value()) out.push_back(store.ReadDataBlock(b).value());
  return out;
}

std::vector<uint8_t> LayoutBytes(NodeStore& store, Bid data) {
  auto heap = HeapReader::Open(store, data, "tc");
  auto info = heap->Get(heap->user_root()).value();
  std::vector<uint8_t> out(info.begin(), info.end());
  out.erase(out.begin() + 10, out.begin() + 22);  // hidRowIndex, hnidRows, hidIndex differ by content
  return out;
}

TEST(SampleFilesTest, EveryPcAndTcReadsWritesAndReadsBackUnchanged) {
  const auto files = SampleFiles();
  if (files.empty()) GTEST_SKIP() << "no sample-pst under VELMORA_SHARED";
  size_t pcs = 0, tcs = 0, rows = 0, layouts_equal = 0, same_bytes = 0;
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    auto file = OpenDiskFile(path.string(), OpenMode::kReadOnly);
    ASSERT_TRUE(file.ok()) << file.status().ToString();
    auto db = NodeDatabase::Open(std::shared_ptr<File>(std::move(file).value()), false);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    NodeStore& store = **db;

    std::vector<HeapNode> heaps;
    ASSERT_TRUE(store
                    .ForEachNode([&](const NodeEntry& e) {
                      return CollectHeaps(store, "node " + Hex(e.nid), e.data, e.sub, 0, heaps);
                    })
                    .ok());
    for (const HeapNode& h : heaps) {
      SCOPED_TRACE(h.name);
      auto sig = ClientSig(store, h.data);
      ASSERT_TRUE(sig.ok()) << sig.status().ToString();
      testing::MemoryNodeStore copy;
      if (*sig == kClientSigPropertyContext) {
        ++pcs;
        auto props = ReadPropertyContext(store, h.data, h.subnodes);
        ASSERT_TRUE(props.ok()) << props.status().ToString();
        auto written = WritePropertyContext(copy, *props);
        ASSERT_TRUE(written.ok()) << written.status().ToString();
        auto again = ReadPropertyContext(copy, written->data, written->subnodes);
        ASSERT_TRUE(again.ok()) << again.status().ToString();
        ASSERT_EQ(again->size(), props->size());
        for (const auto& [id, v] : *props) ExpectSameValue(v, again->at(id), "property " + Hex(id));
        same_bytes += HeapBytes(copy, written->data) == HeapBytes(store, h.data);
      } else if (*sig == kClientSigTableContext) {
        ++tcs;
        auto table = ReadTableContext(store, h.data, h.subnodes);
        ASSERT_TRUE(table.ok()) << table.status().ToString();
        rows += table->rows.size();
        auto written = WriteTableContext(copy, *table);
        ASSERT_TRUE(written.ok()) << written.status().ToString();
        auto again = ReadTableContext(copy, written->data, written->subnodes);
        ASSERT_TRUE(again.ok()) << again.status().ToString();
        EXPECT_EQ(again->columns, table->columns);
        ASSERT_EQ(again->rows.size(), table->rows.size());
        for (size_t r = 0; r < table->rows.size(); ++r) {
          EXPECT_EQ(again->rows[r].row_id, table->rows[r].row_id);
          ASSERT_EQ(again->rows[r].cells.size(), table->rows[r].cells.size()) << "row " << r;
          for (const auto& [tag, v] : table->rows[r].cells)
            ExpectSameValue(v, again->rows[r].cells.at(tag),
                            "row " + std::to_string(r) + " cell " + Hex(tag));
        }
        // Columns in iBit order give back Outlook's row layout exactly.
        EXPECT_EQ(LayoutBytes(copy, written->data), LayoutBytes(store, h.data));
        layouts_equal += LayoutBytes(copy, written->data) == LayoutBytes(store, h.data);
        same_bytes += HeapBytes(copy, written->data) == HeapBytes(store, h.data);
      }
    }
  }
  std::printf(
      "sample files: %zu property contexts, %zu table contexts (%zu rows), %zu table layouts identical, "
      "%zu heaps rewritten byte for byte\n",
      pcs, tcs, rows, layouts_equal, same_bytes);
  EXPECT_GT(pcs, 50u);
  EXPECT_GT(tcs, 100u);
}

}  // namespace
}  // namespace velmora::pst
