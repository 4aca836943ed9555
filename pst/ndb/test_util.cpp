#include "pst/ndb/test_util.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora::pst::testing {

std::string SharedDir() {
  const char* env = std::getenv("VELMORA_SHARED");
  std::string dir = env && *env ? env : "/work/shared";
  std::error_code ec;
  return std::filesystem::exists(dir, ec) ? dir : "";
}

std::string SamplePath(const std::string& name) {
  std::string dir = SharedDir();
  if (dir.empty()) return "";
  std::string path = dir + "/sample-pst/" + name;
  std::error_code ec;
  return std::filesystem::exists(path, ec) ? path : "";
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> out(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return out;
}

Bid WriteData(NodeStore& store, const std::vector<uint8_t>& bytes) {
  std::vector<Bid> blocks;
  size_t off = 0;
  do {
    size_t n = std::min(kMaxBlockData, bytes.size() - off);
    auto b = store.WriteDataBlock(std::span<const uint8_t>(bytes.data() + off, n));
    EXPECT_TRUE(b.ok()) << b.status().ToString();
    if (!b.ok()) return 0;
    blocks.push_back(*b);
    off += n;
  } while (off < bytes.size());
  auto tree = store.WriteDataTree(blocks);
  EXPECT_TRUE(tree.ok()) << tree.status().ToString();
  return tree.ok() ? *tree : 0;
}

std::vector<uint8_t> ReadData(NodeStore& store, Bid tree) {
  std::vector<uint8_t> out;
  auto blocks = store.DataBlocks(tree);
  EXPECT_TRUE(blocks.ok()) << blocks.status().ToString();
  if (!blocks.ok()) return out;
  for (Bid b : *blocks) {
    auto bytes = store.ReadDataBlock(b);
    EXPECT_TRUE(bytes.ok()) << bytes.status().ToString();
    if (bytes.ok()) out.insert(out.end(), bytes->begin(), bytes->end());
  }
  auto size = store.DataTreeSize(tree);
  EXPECT_TRUE(size.ok());
  if (size.ok()) {
    EXPECT_EQ(*size, out.size());
  }
  return out;
}

std::unique_ptr<NodeDatabase> CreateInMemory(std::shared_ptr<File>* file_out, CryptMethod crypt) {
  auto file = std::make_shared<MemoryFile>();
  if (file_out) *file_out = file;
  CreateOptions options;
  options.crypt = crypt;
  auto db = NodeDatabase::Create(file, options);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(*db) : nullptr;
}

std::unique_ptr<NodeDatabase> OpenOrDie(std::shared_ptr<File> file, bool writable) {
  auto db = NodeDatabase::Open(std::move(file), writable);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(*db) : nullptr;
}

void PutModelNode(NodeStore& store, Nid nid, const ModelNode& node) {
  NodeEntry e;
  e.nid = nid;
  e.parent = node.parent;
  if (!node.data.empty()) e.data = WriteData(store, node.data);
  if (!node.subnodes.empty()) {
    std::vector<SubnodeEntry> subs;
    for (const auto& [snid, bytes] : node.subnodes) subs.push_back({snid, WriteData(store, bytes), 0});
    auto sub = store.WriteSubnodeTree(subs);
    ASSERT_TRUE(sub.ok()) << sub.status().ToString();
    e.sub = *sub;
  }
  Status st = store.PutNode(e);
  ASSERT_TRUE(st.ok()) << st.ToString();
}

void ExpectMatchesModel(NodeStore& store, const Model& model) {
  size_t seen = 0;
  Status st = store.ForEachNode([&](const NodeEntry& e) {
    ++seen;
    auto it = model.find(e.nid);
    EXPECT_NE(it, model.end()) << "unexpected node " << e.nid;
    if (it == model.end()) return Status::Ok();
    EXPECT_EQ(e.parent, it->second.parent);
    if (it->second.data.empty()) {
      EXPECT_EQ(e.data, 0u);
    } else {
      EXPECT_EQ(ReadData(store, e.data), it->second.data) << "node " << e.nid;
    }
    if (it->second.subnodes.empty()) {
      EXPECT_EQ(e.sub, 0u);
    } else {
      auto subs = store.ReadSubnodes(e.sub);
      EXPECT_TRUE(subs.ok()) << subs.status().ToString();
      if (!subs.ok()) return Status::Ok();
      EXPECT_EQ(subs->size(), it->second.subnodes.size());
      for (const auto& s : *subs) {
        auto m = it->second.subnodes.find(s.nid);
        EXPECT_NE(m, it->second.subnodes.end());
        if (m != it->second.subnodes.end()) {
          EXPECT_EQ(ReadData(store, s.data), m->second);
        }
      }
    }
    return Status::Ok();
  });
  EXPECT_TRUE(st.ok()) << st.ToString();
  EXPECT_EQ(seen, model.size());
}

size_t CountNodes(NodeDatabase& db) {
  size_t n = 0;
  Status st = db.ForEachNode([&](const NodeEntry&) {
    ++n;
    return Status::Ok();
  });
  EXPECT_TRUE(st.ok()) << st.ToString();
  return n;
}

size_t CountBlocks(NodeDatabase& db) {
  size_t n = 0;
  Status st = db.ForEachBlock([&](const BbtEntry&) {
    ++n;
    return Status::Ok();
  });
  EXPECT_TRUE(st.ok()) << st.ToString();
  return n;
}

void ExpectCheckPasses(File& file) {
  CheckReport r = CheckFile(file);
  EXPECT_TRUE(r.ok()) << r.Summary();
}

}  // namespace velmora::pst::testing
