// Opens arbitrary bytes as a PST: walks every node, data tree and subnode tree, runs the check, and adds
// a node through a writable open. Anything may fail; nothing may crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "pst/ndb/check.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/node_database.h"

using namespace velmora::pst;

namespace {

// Seeds are stored without their trailing zeros; a new file is one section long.
constexpr size_t kMinFileSize = 0x4400 + 0x3E000;
constexpr int kMaxSubnodeDepth = 4;  // the harness's own bound; the library never recurses on subnodes
constexpr size_t kMaxNodes = 4000;

void ReadTree(NodeDatabase& db, Bid data) {
  auto blocks = db.DataBlocks(data);
  if (!blocks.ok()) return;
  (void)db.DataTreeSize(data);
  for (Bid b : *blocks) (void)db.ReadDataBlock(b);
}

void ReadSubnodes(NodeDatabase& db, Bid sub, int depth) {
  if (depth > kMaxSubnodeDepth) return;
  auto entries = db.ReadSubnodes(sub);
  if (!entries.ok()) return;
  for (const SubnodeEntry& e : *entries) {
    if (e.data) ReadTree(db, e.data);
    if (e.sub) ReadSubnodes(db, e.sub, depth + 1);
  }
}

void Walk(const std::vector<uint8_t>& bytes, bool writable) {
  auto file = std::make_shared<MemoryFile>(bytes);
  auto db = NodeDatabase::Open(file, writable);
  if (!db.ok()) return;
  size_t nodes = 0;
  (void)(*db)->ForEachNode([&](const NodeEntry& e) {
    if (++nodes > kMaxNodes) return Status::NotFound("enough");
    if (e.data) ReadTree(**db, e.data);
    if (e.sub) ReadSubnodes(**db, e.sub, 0);
    return Status::Ok();
  });
  if (!writable) {
    (void)CheckFile(*file);
    return;
  }
  auto block = (*db)->WriteDataBlock(std::vector<uint8_t>(100, 0x41));
  if (block.ok() && (*db)->PutNode({0x7FFFFE1, *block, 0, 0}).ok()) (void)(*db)->Commit();
  auto victim = (*db)->FindNode(MakeNid(kNidTypeNormalMessage, 0x10001));
  if (victim.ok() && victim->has_value() && (*db)->DeleteNode((*victim)->nid).ok()) (void)(*db)->Commit();
}

// Random bytes rarely survive the checksums, so inputs of odd length get their header and page checksums
// recomputed first: the fuzzer then explores damage to structure, not just to CRCs.
void Reseal(std::vector<uint8_t>& b) {
  Store32(&b[4], Crc32({&b[8], 471}));
  Store32(&b[524], Crc32({&b[8], 516}));
  for (size_t ib = 0x4200; ib + 512 <= b.size(); ib += 512) {
    uint8_t* t = &b[ib + 496];
    if (t[0] < kPageTypeBbt || t[0] > kPageTypeDList || t[1] != t[0]) continue;
    Store32(t + 4, Crc32({&b[ib], 496}));
    bool map = t[0] >= kPageTypeFMap && t[0] <= kPageTypeFPMap;
    Store16(t + 2, map ? 0 : ComputeSig(ib, Load64(t + 8)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (bytes.size() < kMinFileSize) bytes.resize(kMinFileSize);
  if (size % 2 == 1) Reseal(bytes);
  Walk(bytes, false);
  Walk(bytes, true);
  return 0;
}
