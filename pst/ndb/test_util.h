// Helpers shared by the node database tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pst/ndb/check.h"
#include "pst/ndb/file.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst::testing {

// The shared reference folder (VELMORA_SHARED, default /work/shared); empty when it does not exist.
std::string SharedDir();
// A file of the Outlook-made samples, or "" when absent.
std::string SamplePath(const std::string& name);
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// The bytes of a file made by CreateInMemory (a MemoryFile).
inline std::vector<uint8_t>& Bytes(const std::shared_ptr<File>& file) {
  return static_cast<MemoryFile&>(*file).bytes();
}

// Deterministic bytes for payloads.
std::vector<uint8_t> Pattern(size_t n, uint32_t seed);

// Writes `bytes` as a data tree of full 8176-byte blocks (the last one shorter).
Bid WriteData(NodeStore& store, const std::vector<uint8_t>& bytes);
// Reads a whole data tree back.
std::vector<uint8_t> ReadData(NodeStore& store, Bid tree);

// A fresh empty PST in memory.
std::unique_ptr<NodeDatabase> CreateInMemory(std::shared_ptr<File>* file_out = nullptr,
                                             CryptMethod crypt = CryptMethod::kPermute);
// Opens or fails the test.
std::unique_ptr<NodeDatabase> OpenOrDie(std::shared_ptr<File> file, bool writable);

// What the tests expect a database to hold: node -> (data bytes, parent).
struct ModelNode {
  std::vector<uint8_t> data;
  Nid parent = 0;
  std::map<Nid, std::vector<uint8_t>> subnodes;
};
using Model = std::map<Nid, ModelNode>;

// Writes a node of the model into the store (data tree, subnode tree of data blocks).
void PutModelNode(NodeStore& store, Nid nid, const ModelNode& node);
// Fails the test unless the store holds exactly the model.
void ExpectMatchesModel(NodeStore& store, const Model& model);
// Fails the test unless the file passes the check.
void ExpectCheckPasses(File& file);
// Entries in the trees, counted by walking them.
size_t CountNodes(NodeDatabase& db);
size_t CountBlocks(NodeDatabase& db);

}  // namespace velmora::pst::testing
