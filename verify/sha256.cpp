#include "verify/sha256.h"

#include <glib.h>

#include <algorithm>
#include <vector>

namespace velmora::verify {

namespace {

// Streamed values are read in pieces of this size: big enough for few reads, small beside the memory bound.
constexpr uint64_t kPieceBytes = 256 * 1024;

}  // namespace

Sha256::Sha256() : checksum_(g_checksum_new(G_CHECKSUM_SHA256)) {}

Sha256::~Sha256() {
  g_checksum_free(checksum_);
}

void Sha256::Add(std::span<const uint8_t> bytes) {
  if (!bytes.empty()) g_checksum_update(checksum_, bytes.data(), static_cast<gssize>(bytes.size()));
}

void Sha256::Add(std::string_view text) {
  Add(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::string Sha256::Hex(size_t bytes) {
  std::string hex = g_checksum_get_string(checksum_);
  return hex.substr(0, std::min(hex.size(), bytes * 2));
}

pst::Status AddValue(Sha256& sum, const pst::PropValue& value) {
  if (!value.stream) {
    sum.Add(value.bytes);
    return pst::Status::Ok();
  }
  std::vector<uint8_t> piece;
  const uint64_t size = value.stream->Size();
  for (uint64_t at = 0; at < size; at += piece.size()) {
    piece.resize(static_cast<size_t>(std::min(kPieceBytes, size - at)));
    if (auto s = value.stream->Read(at, piece); !s.ok()) return s;
    sum.Add(piece);
  }
  return pst::Status::Ok();
}

}  // namespace velmora::verify
