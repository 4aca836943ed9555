// Where PC and TC values that are not stored inline go: a heap allocation when they fit one (at most 3,580
// bytes), otherwise a subnode of type 0x1F holding the bytes in a data tree ([MS-PST] 2.3.3.3). The value is
// then named by an HNID: a HID when its low 5 bits are 0, else the subnode's NID.
// Two choices follow what Outlook writes (checked on every PC and TC of the sample files):
//  - an empty value has HNID 0 and no allocation (root folder 0x3001 "", attachment 0x3702, recipient cells);
//  - a value Outlook writes as a stream (bodies, transport headers, attachment data and rendering, the
//    name-to-ID streams) lives in a subnode even when small, so streams always go to subnodes.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "pst/ltp/heap.h"
#include "pst/ltp/property_context.h"

namespace velmora::pst {

class ValueStore {
 public:
  ValueStore(NodeStore& store, HeapWriter& heap) : store_(store), heap_(heap) {}

  // Stores a value and returns its HNID. Streams are read in pieces of one block, never whole.
  Result<uint32_t> Put(const PropValue& value);
  // Stores bytes in a new subnode and returns its NID.
  Result<Nid> PutSubnode(const ByteSource& source);
  Result<Nid> PutSubnode(Bid tree);  // a data tree written by the caller; takes over its reference

  // Releases the subnodes written so far and returns `why`.
  Status Abandon(Status why);
  // Writes the heap; the output holds its data tree and the subnodes.
  Result<HeapOutput> Finish();

 private:
  NodeStore& store_;
  HeapWriter& heap_;
  std::vector<SubnodeEntry> subnodes_;
};

class ValueReader {
 public:
  ValueReader(NodeStore& store, const HeapReader& heap, const std::vector<SubnodeEntry>& subnodes);

  // The value an HNID names. Subnode values larger than `inline_limit` bytes come back as streams.
  Result<PropValue> Get(uint16_t type, uint32_t hnid, uint64_t inline_limit, const std::string& what) const;
  // The subnode with this NID, or Corruption naming `what`.
  Result<SubnodeEntry> Subnode(Nid nid, const std::string& what) const;

 private:
  NodeStore& store_;
  const HeapReader& heap_;
  std::unordered_map<Nid, SubnodeEntry> subnodes_;
};

}  // namespace velmora::pst
