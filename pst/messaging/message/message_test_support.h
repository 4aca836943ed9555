// Shared pieces of the message tests: content builders, a name-to-ID map in memory, and a byte source that
// makes its bytes up as it is read and remembers how it was read.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>

#include "pst/messaging/message/message_reader.h"
#include "pst/messaging/message/message_writer.h"
#include "pst/ndb/testing/memory_node_store.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst::testing {

using namespace tags;

// Byte i of a pattern is a function of i and the seed, so any piece can be checked without the whole.
inline uint8_t PatternByte(uint64_t i, uint32_t seed) {
  return static_cast<uint8_t>(((i + 1) * 0x9E3779B97F4A7C15ULL ^ seed) >> 29);
}
inline std::vector<uint8_t> PatternBytes(uint64_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  for (uint64_t i = 0; i < size; ++i) v[i] = PatternByte(i, seed);
  return v;
}

class PatternSource : public ByteSource {
 public:
  PatternSource(uint64_t size, uint32_t seed) : size_(size), seed_(seed) {}
  uint64_t Size() const override { return size_; }
  Status Read(uint64_t offset, std::span<uint8_t> out) const override {
    if (offset + out.size() > size_) return Status::InvalidArgument("read past the end of the pattern");
    largest_read_ = std::max<uint64_t>(largest_read_, out.size());
    bytes_read_ += out.size();
    for (size_t i = 0; i < out.size(); ++i) out[i] = PatternByte(offset + i, seed_);
    return Status::Ok();
  }
  uint64_t largest_read() const { return largest_read_; }
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  uint64_t size_;
  uint32_t seed_;
  mutable uint64_t largest_read_ = 0, bytes_read_ = 0;
};

// A name-to-ID map: the next free ID from 0x8000, the same ID for the same name.
class FakeNameMap {
 public:
  NamedIdResolver Resolver() {
    return [this](const NamedProperty& p) -> Result<uint16_t> {
      auto key = std::make_tuple(p.guid, p.is_string, p.lid, p.name);
      auto [it, added] = ids_.try_emplace(key, static_cast<uint16_t>(0x8000 + ids_.size()));
      if (added) names_[it->second] = p;
      return it->second;
    };
  }
  std::function<std::optional<NamedProperty>(uint16_t)> Lookup() {
    return [this](uint16_t id) -> std::optional<NamedProperty> {
      auto it = names_.find(id);
      return it == names_.end() ? std::nullopt : std::optional<NamedProperty>(it->second);
    };
  }

 private:
  std::map<std::tuple<std::array<uint8_t, 16>, bool, uint32_t, std::string>, uint16_t> ids_;
  std::map<uint16_t, NamedProperty> names_;
};

inline uint16_t Id(PropTag t) {
  return TagId(t);
}

inline RecipientContent Recipient(const std::string& name, const std::string& address, int32_t type) {
  RecipientContent r;
  r.props[Id(kRecipientType)] = PropValue::Int32(type);
  r.props[Id(kDisplayName)] = PropValue::String(name);
  r.props[Id(kAddressType)] = PropValue::String("SMTP");
  r.props[Id(kEmailAddress)] = PropValue::String(address);
  return r;
}

inline AttachmentContent FileAttachment(const std::string& name, PropValue data) {
  AttachmentContent a;
  a.props[Id(kAttachFilename)] = PropValue::String(name);
  a.props[0x3707] = PropValue::String(name);  // PidTagAttachLongFilename
  a.props[Id(kAttachDataBinary)] = std::move(data);
  return a;
}

inline MessageContent Mail(const std::string& subject) {
  MessageContent m;
  m.props[Id(kSubject)] = PropValue::String(subject);
  m.props[0x1000] = PropValue::String("Body of " + subject);  // PidTagBody
  return m;
}

inline std::optional<std::string> StringProp(const PropertyMap& props, PropTag tag) {
  auto it = props.find(TagId(tag));
  return it == props.end() ? std::nullopt : it->second.AsString();
}
inline std::optional<int32_t> IntProp(const PropertyMap& props, PropTag tag) {
  auto it = props.find(TagId(tag));
  return it == props.end() ? std::nullopt : it->second.AsInt32();
}

// Every value of `want` is in `have` with the same type and bytes (streams compared by content).
inline ::testing::AssertionResult HoldsAll(const PropertyMap& have, const PropertyMap& want) {
  for (const auto& [id, value] : want) {
    auto it = have.find(id);
    if (it == have.end()) return ::testing::AssertionFailure() << "property " << std::hex << id << " missing";
    auto a = it->second.Load(), b = value.Load();
    if (it->second.type != value.type || !a.ok() || !b.ok() || *a != *b)
      return ::testing::AssertionFailure() << "property " << std::hex << id << " differs";
  }
  return ::testing::AssertionSuccess();
}

inline std::vector<SubnodeEntry> Subnodes(NodeStore& store, Bid sub) {
  if (!sub) return {};
  auto s = store.ReadSubnodes(sub);
  EXPECT_TRUE(s.ok()) << s.status().ToString();
  return s.ok() ? *s : std::vector<SubnodeEntry>();
}
inline const SubnodeEntry* FindSubnode(const std::vector<SubnodeEntry>& subs, Nid nid) {
  auto it = std::find_if(subs.begin(), subs.end(), [nid](const SubnodeEntry& e) { return e.nid == nid; });
  return it == subs.end() ? nullptr : &*it;
}

}  // namespace velmora::pst::testing
