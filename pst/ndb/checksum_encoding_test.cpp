// CRC ([MS-PST] 5.3), ComputeSig (5.5) and the block encodings (5.1, 5.2).
#include <gtest/gtest.h>

#include <set>

#include "pst/ndb/crc.h"
#include "pst/ndb/encoding.h"
#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

TEST(CrcTest, StartsAtZeroWithoutFinalInversion) {
  std::string digits = "123456789";
  // zlib's crc32 of the same bytes is 0xCBF43926; without its pre- and post-inversion it is this.
  EXPECT_EQ(Crc32({reinterpret_cast<const uint8_t*>(digits.data()), digits.size()}), 0x2DFD2D88u);
  EXPECT_EQ(Crc32({}), 0u);
  // Every Outlook PMap is 496 bytes of 0xFF with this CRC in its trailer.
  std::vector<uint8_t> pmap(496, 0xFF);
  EXPECT_EQ(Crc32(pmap), 0xA1AAE76Eu);
}

TEST(CrcTest, EqualsTheBitwiseDefinitionForEveryLengthAndSplit) {
  // The definition, one bit at a time, against the word-wise loop: every length around the 8-byte steps,
  // every start alignment, and a continuation from every split point.
  auto bitwise = [](std::span<const uint8_t> bytes) {
    uint32_t c = 0;
    for (uint8_t b : bytes) {
      c ^= b;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    }
    return c;
  };
  auto bytes = testing::Pattern(1000, 3);
  std::span<const uint8_t> all(bytes);
  for (size_t start = 0; start < 8; ++start)
    for (size_t len = 0; len < 40; ++len)
      ASSERT_EQ(Crc32(all.subspan(start, len)), bitwise(all.subspan(start, len))) << start << "+" << len;
  const uint32_t whole = Crc32(all);
  EXPECT_EQ(whole, bitwise(all));
  for (size_t split = 0; split <= 40; ++split)
    EXPECT_EQ(Crc32(all.subspan(split), Crc32(all.first(split))), whole);
}

TEST(SigTest, FoldsOffsetXorBid) {
  EXPECT_EQ(ComputeSig(0x4200, 0x4DF), 0x46DF);  // the DList trailer of an Outlook 2010 file
  EXPECT_EQ(ComputeSig(0x12345678, 0), 0x1234 ^ 0x5678);
  EXPECT_EQ(ComputeSig(0x1'0000'0000ull, 0), 0);  // only the low 32 bits count
}

TEST(PermuteTest, DecodeTableIsTheInverseListedIn51) {
  const uint8_t* r = PermuteTableR();
  const uint8_t* i = PermuteTableI();
  for (int b = 0; b < 256; ++b) EXPECT_EQ(i[r[b]], b);
  // The first and last rows of mpbbI as printed in [MS-PST] 5.1, typed independently of mpbbR.
  const uint8_t first[] = {71, 241, 180, 230, 11, 106, 114, 72, 133, 78, 158, 235, 226, 248, 148, 83};
  const uint8_t last[] = {212, 225, 17, 208, 8, 139, 42, 242, 237, 154, 100, 63, 193, 108, 249, 236};
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(i[k], first[k]);
    EXPECT_EQ(i[240 + k], last[k]);
  }
}

TEST(PermuteTest, MiddleRotorIsAPermutationAndItsOwnInverse) {
  const uint8_t* s = PermuteTableS();
  std::set<uint8_t> seen(s, s + 256);
  EXPECT_EQ(seen.size(), 256u);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(s[s[b]], b) << b;
}

TEST(EncodingTest, EveryMethodRoundTrips) {
  auto plain = testing::Pattern(8176, 11);
  for (CryptMethod m : {CryptMethod::kNone, CryptMethod::kPermute, CryptMethod::kCyclic}) {
    for (uint64_t bid : {4ull, 0x2468ull, 0xFFFF'FFFF'FFFF'FFFCull}) {
      auto bytes = plain;
      EncodeBlockData(m, bid, bytes);
      if (m != CryptMethod::kNone) {
        EXPECT_NE(bytes, plain);
      }
      std::vector<uint8_t> copied(plain.size());  // the copying form stores the same bytes
      EncodeBlockData(m, bid, plain, copied.data());
      EXPECT_EQ(copied, bytes);
      DecodeBlockData(m, bid, bytes);
      EXPECT_EQ(bytes, plain);
    }
  }
}

TEST(EncodingTest, PermuteMatchesItsTableAtLengthsAroundTheVectorSteps) {
  std::vector<uint8_t> plain(300);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 167 + 13);  // every value
  const uint8_t* r = PermuteTableR();
  for (size_t len : {0, 1, 31, 32, 33, 63, 64, 65, 97, 256, 299}) {
    std::vector<uint8_t> out(len);
    EncodeBlockData(CryptMethod::kPermute, 4, std::span<const uint8_t>(plain).subspan(1, len), out.data());
    for (size_t i = 0; i < len; ++i) ASSERT_EQ(out[i], r[plain[1 + i]]) << len << " " << i;
  }
}

TEST(EncodingTest, CyclicKeyComesFromTheBid) {
  auto a = testing::Pattern(64, 1), b = a;
  EncodeBlockData(CryptMethod::kCyclic, 4, a);
  EncodeBlockData(CryptMethod::kCyclic, 8, b);
  EXPECT_NE(a, b);
  // Only the low 32 bits of the BID key the rotor.
  auto c = testing::Pattern(64, 1), d = c;
  EncodeBlockData(CryptMethod::kCyclic, 0x1'0000'0004ull, c);
  EncodeBlockData(CryptMethod::kCyclic, 4, d);
  EXPECT_EQ(c, d);
}

TEST(EncodingTest, PermuteIsBytewise) {
  std::vector<uint8_t> zeros(3, 0);
  EncodeBlockData(CryptMethod::kPermute, 4, zeros);
  EXPECT_EQ(zeros, (std::vector<uint8_t>{65, 65, 65}));  // mpbbR[0]
}

}  // namespace
}  // namespace velmora::pst
