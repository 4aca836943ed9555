#include "pst/ndb/encoding.h"

#include <array>
#include <cstring>

#include "pst/ndb/substitute.h"

namespace velmora::pst {
namespace {

// mpbbR, the first third of mpbbCrypt ([MS-PST] 5.1): the PERMUTE encoding table.
constexpr std::array<uint8_t, 256> kR = {
    65,  54,  19,  98,  168, 33,  110, 187, 244, 22,  204, 4,   127, 100, 232, 93,  30,  242, 203, 42,
    116, 197, 94,  53,  210, 149, 71,  158, 150, 45,  154, 136, 76,  125, 132, 63,  219, 172, 49,  182,
    72,  95,  246, 196, 216, 57,  139, 231, 35,  59,  56,  142, 200, 193, 223, 37,  177, 32,  165, 70,
    96,  78,  156, 251, 170, 211, 86,  81,  69,  124, 85,  0,   7,   201, 43,  157, 133, 155, 9,   160,
    143, 173, 179, 15,  99,  171, 137, 75,  215, 167, 21,  90,  113, 102, 66,  191, 38,  74,  107, 152,
    250, 234, 119, 83,  178, 112, 5,   44,  253, 89,  58,  134, 126, 206, 6,   235, 130, 120, 87,  199,
    141, 67,  175, 180, 28,  212, 91,  205, 226, 233, 39,  79,  195, 8,   114, 128, 207, 176, 239, 245,
    40,  109, 190, 48,  77,  52,  146, 213, 14,  60,  34,  50,  229, 228, 249, 159, 194, 209, 10,  129,
    18,  225, 238, 145, 131, 118, 227, 151, 230, 97,  138, 23,  121, 164, 183, 220, 144, 122, 92,  140,
    2,   166, 202, 105, 222, 80,  26,  17,  147, 185, 82,  135, 88,  252, 237, 29,  55,  73,  27,  106,
    224, 41,  51,  153, 189, 108, 217, 148, 243, 64,  84,  111, 240, 198, 115, 184, 214, 62,  101, 24,
    68,  31,  221, 103, 16,  241, 12,  25,  236, 174, 3,   161, 20,  123, 169, 11,  255, 248, 163, 192,
    162, 1,   247, 46,  188, 36,  104, 117, 13,  254, 186, 47,  181, 208, 218, 61};

// mpbbS, the middle third: the middle rotor of CYCLIC. It is its own inverse.
constexpr std::array<uint8_t, 256> kS = {
    20,  83,  15,  86,  179, 200, 122, 156, 235, 101, 72,  23,  22,  21,  159, 2,   204, 84,  124, 131,
    0,   13,  12,  11,  162, 98,  168, 118, 219, 217, 237, 199, 197, 164, 220, 172, 133, 116, 214, 208,
    167, 155, 174, 154, 150, 113, 102, 195, 99,  153, 184, 221, 115, 146, 142, 132, 125, 165, 94,  209,
    93,  147, 177, 87,  81,  80,  128, 137, 82,  148, 79,  78,  10,  107, 188, 141, 127, 110, 71,  70,
    65,  64,  68,  1,   17,  203, 3,   63,  247, 244, 225, 169, 143, 60,  58,  249, 251, 240, 25,  48,
    130, 9,   46,  201, 157, 160, 134, 73,  238, 111, 77,  109, 196, 45,  129, 52,  37,  135, 27,  136,
    170, 252, 6,   161, 18,  56,  253, 76,  66,  114, 100, 19,  55,  36,  106, 117, 119, 67,  255, 230,
    180, 75,  54,  92,  228, 216, 53,  61,  69,  185, 44,  236, 183, 49,  43,  41,  7,   104, 163, 14,
    105, 123, 24,  158, 33,  57,  190, 40,  26,  91,  120, 245, 35,  202, 42,  176, 175, 62,  254, 4,
    140, 231, 229, 152, 50,  149, 211, 246, 74,  232, 166, 234, 233, 243, 213, 47,  112, 32,  242, 31,
    5,   103, 173, 85,  16,  206, 205, 227, 39,  59,  218, 186, 215, 194, 38,  212, 145, 29,  210, 28,
    34,  51,  248, 250, 241, 90,  239, 207, 144, 182, 139, 181, 189, 192, 191, 8,   151, 30,  108, 226,
    97,  224, 198, 193, 89,  171, 187, 88,  222, 95,  223, 96,  121, 126, 178, 138};

// mpbbI, the last third, is the inverse of mpbbR: the PERMUTE decoding table.
constexpr std::array<uint8_t, 256> Invert(const std::array<uint8_t, 256>& t) {
  std::array<uint8_t, 256> inv{};
  for (size_t i = 0; i < 256; ++i) inv[t[i]] = static_cast<uint8_t>(i);
  return inv;
}
constexpr std::array<uint8_t, 256> kI = Invert(kR);

// CYCLIC ([MS-PST] 5.2) is its own inverse: the same walk through R, S and I encodes and decodes.
void Cyclic(uint32_t key, std::span<uint8_t> bytes) {
  uint16_t w = static_cast<uint16_t>(key ^ (key >> 16));
  for (uint8_t& byte : bytes) {
    uint8_t b = byte;
    b = static_cast<uint8_t>(b + static_cast<uint8_t>(w));
    b = kR[b];
    b = static_cast<uint8_t>(b + static_cast<uint8_t>(w >> 8));
    b = kS[b];
    b = static_cast<uint8_t>(b - static_cast<uint8_t>(w >> 8));
    b = kI[b];
    b = static_cast<uint8_t>(b - static_cast<uint8_t>(w));
    byte = b;
    w = static_cast<uint16_t>(w + 1);
  }
}

}  // namespace

bool IsKnownCryptMethod(uint8_t value) {
  return value <= 0x02;
}

void EncodeBlockData(CryptMethod method, uint64_t bid, std::span<uint8_t> bytes) {
  switch (method) {
    case CryptMethod::kNone:
      return;
    case CryptMethod::kPermute:
      Substitute(kR.data(), bytes.data(), bytes.data(), bytes.size());
      return;
    case CryptMethod::kCyclic:
      Cyclic(static_cast<uint32_t>(bid), bytes);
      return;
  }
}

void EncodeBlockData(CryptMethod method, uint64_t bid, std::span<const uint8_t> plain, uint8_t* out) {
  if (method == CryptMethod::kPermute) return Substitute(kR.data(), plain.data(), out, plain.size());
  if (!plain.empty()) std::memcpy(out, plain.data(), plain.size());
  EncodeBlockData(method, bid, std::span<uint8_t>(out, plain.size()));
}

void DecodeBlockData(CryptMethod method, uint64_t bid, std::span<uint8_t> bytes) {
  switch (method) {
    case CryptMethod::kNone:
      return;
    case CryptMethod::kPermute:
      Substitute(kI.data(), bytes.data(), bytes.data(), bytes.size());
      return;
    case CryptMethod::kCyclic:
      Cyclic(static_cast<uint32_t>(bid), bytes);
      return;
  }
}

const uint8_t* PermuteTableR() {
  return kR.data();
}
const uint8_t* PermuteTableS() {
  return kS.data();
}
const uint8_t* PermuteTableI() {
  return kI.data();
}

}  // namespace velmora::pst
