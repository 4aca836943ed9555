// BTree-on-heap ([MS-PST] 2.3.2): sorted fixed-size records kept in heap allocations, with index levels above
// the leaves when the records do not fit one allocation. bth_writer.cpp documents the layout.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "pst/ltp/heap.h"

namespace velmora::pst {

constexpr uint8_t kBthType = 0xB5;  // BTHHEADER.bType
constexpr size_t kBthHeaderSize = 8;
// bIdxLevels above this are treated as corruption: with the smallest fan-out (447 records of 8 bytes per
// allocation) four levels already index more records than a heap can hold.
constexpr uint8_t kMaxBthIndexLevels = 8;

// Records of a BTH, key order, stored flat.
struct BthRecords {
  uint8_t key_size = 0;
  uint8_t data_size = 0;
  std::vector<uint8_t> flat;

  size_t record_size() const { return size_t{key_size} + data_size; }
  size_t size() const { return record_size() == 0 ? 0 : flat.size() / record_size(); }
  std::span<const uint8_t> key(size_t i) const {
    return std::span<const uint8_t>(flat).subspan(i * record_size(), key_size);
  }
  std::span<const uint8_t> data(size_t i) const {
    return std::span<const uint8_t>(flat).subspan(i * record_size() + key_size, data_size);
  }
};

// Writes a BTH in steps so that its allocations land where Outlook places them: Begin reserves the header
// (a PC's or TC's first allocation), ReserveRecords the allocations for `count` records (a TC puts its TCINFO
// in between), Finish fills them.
class BthWriter {
 public:
  static Result<BthWriter> Begin(HeapWriter& heap, uint8_t key_size, uint8_t data_size);
  Status ReserveRecords(HeapWriter& heap, size_t count);
  Hid header() const { return header_; }
  // `records`: exactly `count` records of key_size + data_size bytes, keys unique and ascending.
  Status Finish(HeapWriter& heap, std::span<const uint8_t> records);

 private:
  BthWriter() = default;
  uint8_t key_size_ = 0;
  uint8_t data_size_ = 0;
  size_t count_ = 0;
  Hid header_ = 0;
  std::vector<std::vector<Hid>> levels_;  // levels_[0] = leaves, then index levels up to the single root
};

// Reads every record of the BTH whose BTHHEADER is at `header`, checking sizes, order and depth.
Result<BthRecords> ReadBth(const HeapReader& heap, Hid header);

// The same walk for a BTH too large to hold flat (a table's row index): the BTHHEADER, checked, and then
// each record in key order handed to a visitor, which may stop the walk by returning an error. The visitor
// must not read the heap: the record's bytes are only valid until the heap's next Get.
struct BthHeader {
  uint8_t key_size = 0;
  uint8_t data_size = 0;
  uint8_t levels = 0;  // bIdxLevels
  Hid root = 0;        // 0 for an empty BTH
};
Result<BthHeader> ReadBthHeader(const HeapReader& heap, Hid header);
using BthVisitor = std::function<Status(std::span<const uint8_t> key, std::span<const uint8_t> data)>;
Status ForEachBthRecord(const HeapReader& heap, const BthHeader& header, const BthVisitor& fn);

// Keys compare as little-endian unsigned numbers.
int CompareBthKeys(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace velmora::pst
