// Property context ([MS-PST] 2.3.3): a heap with bClientSig 0xBC whose hidUserRoot is a BTH keyed by
// property ID.
//
// PC_BTH_RECORD (cbKey 2, cbEnt 6):
//   0  2  wPropId
//   2  2  wPropType
//   4  4  dwValueHnid   Int16, Int32, Float32, ErrorCode, Boolean: the value, little-endian, zero-filled.
//                       Any other type: an HNID. A HID (low 5 bits 0) of a heap allocation holding the
//                       value when it has at most 3,580 bytes; the NID (type 0x1F) of a subnode whose data
//                       tree holds it otherwise; 0 for an empty value (value_store.h says why).
//
// Heap order as Outlook writes it: BTH header (HID 0x20), the record allocations, then the values.
// PtypObject values are stored like binaries: the 8 bytes {NID of the object's subnode (4), size (4)}
// ([MS-PST] 2.3.3.5); the subnode itself belongs to the caller.
#include "pst/ltp/property_context.h"

#include "pst/ltp/bth.h"
#include "pst/ltp/data_tree.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/value_store.h"

namespace velmora::pst {

namespace {
constexpr uint8_t kPcKeySize = 2;
constexpr uint8_t kPcDataSize = 6;

bool StoredInline(uint16_t type) {
  return type == kPtypInteger16 || type == kPtypInteger32 || type == kPtypFloating32 ||
         type == kPtypErrorCode || type == kPtypBoolean;
}
}  // namespace

Result<HeapOutput> WritePropertyContext(NodeStore& store, const PropertyMap& props) {
  return WritePropertyContext(store, props, HeldSizeProperty());
}

Result<HeapOutput> WritePropertyContext(NodeStore& store, const PropertyMap& props,
                                        const HeldSizeProperty& held_size) {
  PropertyRefs refs;
  refs.reserve(props.size());
  for (const auto& [id, value] : props) refs.emplace_back(id, &value);
  return WritePropertyContext(store, refs, held_size);
}

Result<HeapOutput> WritePropertyContext(NodeStore& store, const PropertyRefs& props,
                                        const HeldSizeProperty& held_size) {
  HeapWriter heap(kClientSigPropertyContext);
  PST_ASSIGN_OR_RETURN(BthWriter bth, BthWriter::Begin(heap, kPcKeySize, kPcDataSize));
  PST_RETURN_IF_ERROR(bth.ReserveRecords(heap, props.size()));
  heap.SetUserRoot(bth.header());

  ValueStore values(store, heap);
  std::vector<uint8_t> records;
  records.reserve(props.size() * (kPcKeySize + kPcDataSize));
  uint64_t subnode_bytes = 0;  // the values kept in subnodes
  size_t held_size_at = 0;     // offset of the held-size record's dwValueHnid, 0 for none
  for (const auto& [id, value_ref] : props) {
    const PropValue& value = *value_ref;
    uint32_t hnid = 0;
    if (held_size.of && id == held_size.id) {
      if (value.type != kPtypInteger32)
        return values.Abandon(Status::InvalidArgument("size property " + Hex(MakeTag(id, value.type)) +
                                                      " is not PtypInteger32"));
      held_size_at = records.size() + kPcKeySize + 2;
    }
    if (StoredInline(value.type)) {
      if (value.stream || value.bytes.size() != FixedSizeOf(value.type))
        return values.Abandon(Status::InvalidArgument("property " + Hex(MakeTag(id, value.type)) + " has " +
                                                      std::to_string(value.Size()) + " bytes for its type"));
      for (size_t i = 0; i < value.bytes.size(); ++i)
        hnid |= static_cast<uint32_t>(value.bytes[i]) << (8 * i);
    } else {
      auto stored = values.Put(value);
      if (!stored.ok()) return values.Abandon(stored.status());
      hnid = *stored;
      if (HidType(hnid) != 0) subnode_bytes += value.Size();  // a NID: the value's own data tree
    }
    le::Append16(records, id);
    le::Append16(records, value.type);
    le::Append32(records, hnid);
  }
  if (held_size_at != 0) {
    // Every value has its place: the records are reserved, so the heap's layout is final.
    std::span<uint8_t> at(records);
    le::Put32(at, held_size_at, static_cast<uint32_t>(held_size.of(heap.DataSize() + subnode_bytes)));
  }
  if (Status s = bth.Finish(heap, records); !s.ok()) return values.Abandon(s);
  return values.Finish();
}

Result<PropertyMap> ReadPropertyContext(NodeStore& store, Bid data, const std::vector<SubnodeEntry>& subnodes,
                                        uint64_t inline_limit) {
  PST_ASSIGN_OR_RETURN(HeapReader heap,
                       HeapReader::Open(store, data, "property context in block " + Hex(data)));
  if (heap.client_sig() != kClientSigPropertyContext)
    return Status::Corruption(heap.what() + ": bClientSig " + Hex(heap.client_sig()) + " is not 0xBC");
  PST_ASSIGN_OR_RETURN(BthRecords records, ReadBth(heap, heap.user_root()));
  if (records.key_size != kPcKeySize || records.data_size != kPcDataSize)
    return Status::Corruption(heap.what() + ": PC BTH has cbKey " + std::to_string(records.key_size) +
                              ", cbEnt " + std::to_string(records.data_size));
  ValueReader values(store, heap, subnodes);
  // The records are in key order in a sound file; a damaged one is sorted once, never entry by entry.
  std::vector<PropertyMap::value_type> props;
  props.reserve(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const uint16_t id = le::Get16(records.key(i), 0);
    const uint16_t type = le::Get16(records.data(i), 0);
    const uint32_t hnid = le::Get32(records.data(i), 2);
    PropValue value;
    value.type = type;
    if (StoredInline(type)) {
      for (size_t k = 0; k < FixedSizeOf(type); ++k)
        value.bytes.push_back(static_cast<uint8_t>(hnid >> (8 * k)));
    } else {
      PST_ASSIGN_OR_RETURN(value, values.Get(type, hnid, inline_limit, "property " + Hex(MakeTag(id, type))));
    }
    props.emplace_back(id, std::move(value));
  }
  return PropertyMap::FromUnsorted(std::move(props));
}

}  // namespace velmora::pst
