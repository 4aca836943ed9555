// Property tags and values as the LTP layer stores them ([MS-PST] 2.3.3, types per [MS-OXCDATA] 2.11.1).
// A value keeps the bytes exactly as the file holds them (little-endian numbers, UTF-16LE strings without a
// terminator), so reading and writing are lossless for every type; the helpers convert to and from C++ types.
// A value too large to hold in memory is a ByteSource that the writer streams into a subnode.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pst/ndb/status.h"

namespace velmora::pst {

enum PropType : uint16_t {
  kPtypInteger16 = 0x0002,
  kPtypInteger32 = 0x0003,
  kPtypFloating32 = 0x0004,
  kPtypFloating64 = 0x0005,
  kPtypCurrency = 0x0006,
  kPtypFloatingTime = 0x0007,
  kPtypErrorCode = 0x000A,
  kPtypBoolean = 0x000B,
  kPtypObject = 0x000D,
  kPtypInteger64 = 0x0014,
  kPtypString8 = 0x001E,
  kPtypString = 0x001F,
  kPtypTime = 0x0040,
  kPtypGuid = 0x0048,
  kPtypBinary = 0x0102,
  kPtypMultipleFlag = 0x1000,
  kPtypMultipleInteger32 = 0x1003,
  kPtypMultipleString = 0x101F,
  kPtypMultipleBinary = 0x1102,
};

using PropTag = uint32_t;  // property ID in the high 16 bits, PropType in the low 16
constexpr PropTag MakeTag(uint16_t id, uint16_t type) {
  return (static_cast<uint32_t>(id) << 16) | type;
}
constexpr uint16_t TagId(PropTag t) {
  return static_cast<uint16_t>(t >> 16);
}
constexpr uint16_t TagType(PropTag t) {
  return static_cast<uint16_t>(t & 0xFFFF);
}

// Size of a fixed-size type in bytes, or 0 for variable-size types.
size_t FixedSizeOf(uint16_t type);

// Bytes that can be read in pieces: attachment data streamed from a file, a value read lazily from a subnode.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads out.size() bytes from offset; fails when the range passes the end.
  virtual Status Read(uint64_t offset, std::span<uint8_t> out) const = 0;
};

struct PropValue {
  uint16_t type = 0;
  std::vector<uint8_t> bytes;                // the stored bytes, when `stream` is empty
  std::shared_ptr<const ByteSource> stream;  // the value's bytes, for large values

  uint64_t Size() const { return stream ? stream->Size() : bytes.size(); }
  // The whole value in memory (reads the stream); for values known to be small.
  Result<std::vector<uint8_t>> Load() const;

  static PropValue Int16(int16_t v);
  static PropValue Int32(int32_t v);
  static PropValue Int64(int64_t v);
  static PropValue Bool(bool v);
  static PropValue Time(uint64_t filetime);
  static PropValue String(std::string_view utf8);  // stored as UTF-16LE
  static PropValue Binary(std::vector<uint8_t> b);
  static PropValue Stream(uint16_t type, std::shared_ptr<const ByteSource> s);
  static PropValue Raw(uint16_t type, std::vector<uint8_t> b);

  // The same values set in place: the bytes the value already holds are reused, so a value refilled
  // row after row (a recipient table's cells) costs no allocation once it has grown.
  void SetInt32(int32_t v);
  void SetBool(bool v);
  void SetString(std::string_view utf8);
  void SetBytes(uint16_t value_type, std::span<const uint8_t> b);

  // Conversions; nullopt when the type does not fit or the bytes are too short.
  std::optional<int32_t> AsInt32() const;
  std::optional<int64_t> AsInt64() const;
  std::optional<bool> AsBool() const;
  std::optional<uint64_t> AsTime() const;
  std::optional<std::string> AsString() const;  // PtypString (UTF-16LE) or PtypString8, as UTF-8
};

// UTF-8 <-> UTF-16LE for stored strings. Invalid input becomes U+FFFD; nothing is dropped silently.
std::vector<uint8_t> Utf8ToUtf16le(std::string_view utf8);
void AppendUtf16le(std::string_view utf8, std::vector<uint8_t>& out);  // the same, after what `out` holds
std::string Utf16leToUtf8(std::span<const uint8_t> utf16le);

// Multi-valued properties ([MS-PST] 2.3.3.4). Types with a fixed-size element (0x1002 - 0x1014, 0x1040,
// 0x1048) are a packed array; the others (0x101E, 0x101F, 0x1102) are ulCount(4) | rgulDataOffsets[ulCount]
// (4 each, from the start of the value) | the items back to back.
constexpr bool IsMultiValued(uint16_t type) {
  return (type & kPtypMultipleFlag) != 0;
}
std::vector<uint8_t> EncodeMultiValue(uint16_t type, const std::vector<std::vector<uint8_t>>& items);
// The items of a stored multi-valued value; nullopt when the bytes do not follow the layout above.
std::optional<std::vector<std::vector<uint8_t>>> DecodeMultiValue(uint16_t type,
                                                                  std::span<const uint8_t> bytes);

}  // namespace velmora::pst
