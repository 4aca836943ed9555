// Encoding of data-block payloads ([MS-PST] 5.1, 5.2), chosen per file by the header's bCryptMethod.
// Only the data bytes of external (fInternal = 0) blocks are encoded: never internal blocks, trailers,
// padding or pages. CRCs cover the bytes as stored, i.e. after encoding.
#pragma once

#include <cstdint>
#include <span>

namespace velmora::pst {

enum class CryptMethod : uint8_t {
  kNone = 0x00,     // NDB_CRYPT_NONE
  kPermute = 0x01,  // NDB_CRYPT_PERMUTE: byte substitution, Outlook's default ("compressible")
  kCyclic = 0x02,   // NDB_CRYPT_CYCLIC: three-table rotor keyed by the block's BID ("high")
};

bool IsKnownCryptMethod(uint8_t value);

// Stored bytes from plain bytes, in place.
void EncodeBlockData(CryptMethod method, uint64_t bid, std::span<uint8_t> bytes);
// Stored bytes of `plain` into out[0, plain.size()): the copy and the encoding in one pass.
void EncodeBlockData(CryptMethod method, uint64_t bid, std::span<const uint8_t> plain, uint8_t* out);
// Plain bytes from stored bytes, in place.
void DecodeBlockData(CryptMethod method, uint64_t bid, std::span<uint8_t> bytes);

// The three 256-byte tables of [MS-PST] 5.1 (R, S, I), exposed for the tests that check them.
const uint8_t* PermuteTableR();
const uint8_t* PermuteTableS();
const uint8_t* PermuteTableI();

}  // namespace velmora::pst
