// SHA-256 (FIPS 180-4) over pieces of bytes, by GLib's checksum functions, which the build has already for
// the MIME library.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "pst/ltp/property.h"

struct _GChecksum;

namespace velmora::verify {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(std::span<const uint8_t> bytes);
  void Add(std::string_view text);
  // Lower-case hex of the digest, or of its first `bytes` bytes. Ends the computation.
  std::string Hex(size_t bytes = 32);

 private:
  ::_GChecksum* checksum_;
};

// The digest of a property value, streamed in pieces when it is a stream; an error when it cannot be read.
pst::Status AddValue(Sha256& sum, const pst::PropValue& value);

}  // namespace velmora::verify
