// Writes the seed corpus of fuzz_ndb_open with our own writer: an empty store, and a store with nodes of
// every tree shape (data blocks, an XBLOCK, SLBLOCK and SIBLOCK subnode trees, a two-level NBT). Trailing
// zeros are cut; the fuzz target pads inputs back to one section.
//   ndb_make_seeds DIR
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pst/ndb/node_database.h"

using namespace velmora::pst;

namespace {

bool Save(MemoryFile& file, const std::string& path) {
  std::vector<uint8_t> bytes = file.bytes();
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok;
}

Bid Data(NodeDatabase& db, size_t n, uint8_t fill) {
  std::vector<Bid> blocks;
  for (size_t off = 0; off < n || blocks.empty(); off += kMaxBlockData) {
    std::vector<uint8_t> bytes(std::min(kMaxBlockData, n - off), fill);
    blocks.push_back(*db.WriteDataBlock(bytes));
  }
  return *db.WriteDataTree(blocks);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  auto empty = std::make_shared<MemoryFile>();
  if (!NodeDatabase::Create(empty).ok() || !Save(*empty, dir + "/empty.pst")) return 1;

  auto file = std::make_shared<MemoryFile>();
  auto created = NodeDatabase::Create(file);
  if (!created.ok()) return 1;
  NodeDatabase& db = **created;
  for (uint32_t i = 0; i < 40; ++i) {
    NodeEntry e{MakeNid(kNidTypeNormalMessage, 0x10001 + i), Data(db, i == 5 ? 20000 : 40 + i, uint8_t(i)), 0,
                kNidRootFolder};
    if (i % 10 == 0) {
      std::vector<SubnodeEntry> subs;
      size_t count = i == 0 ? 350 : 3;  // 350 needs an SIBLOCK
      for (uint32_t s = 0; s < count; ++s)
        subs.push_back({MakeNid(kNidTypeLtp, 0x400 + s), Data(db, 8, 1), 0});
      e.sub = *db.WriteSubnodeTree(subs);
    }
    if (!db.PutNode(e).ok()) return 1;
  }
  if (!db.Commit().ok() || !Save(*file, dir + "/nodes.pst")) return 1;
  return 0;
}
