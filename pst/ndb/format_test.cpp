// Round trips and rejections of the on-disk structures: header, pages, blocks, internal blocks, and where
// the map pages go.
#include <gtest/gtest.h>

#include "pst/ndb/block.h"
#include "pst/ndb/header.h"
#include "pst/ndb/map_layout.h"
#include "pst/ndb/page.h"
#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

Header SomeHeader() {
  Header h;
  h.bid_next_p = 0x4DF;
  h.unique = 77;
  h.rgnid = InitialRgnid();
  h.rgnid[kNidTypeNormalMessage] = 0x10005;
  h.file_eof = FileSizeForSections(3);
  h.amap_last = SectionOffset(2);
  h.amap_free = 123 * 64;
  h.nbt = {0x21, 0x4800};
  h.bbt = {0x22, 0x4A00};
  h.crypt_method = 2;
  h.bid_next_b = 0x4A0;
  return h;
}

TEST(HeaderTest, RoundTripsEveryField) {
  Header h = SomeHeader();
  auto bytes = SerializeHeader(h);
  auto back = ParseHeader(bytes);
  ASSERT_TRUE(back.ok()) << back.status().ToString();
  EXPECT_EQ(back->bid_next_p, h.bid_next_p);
  EXPECT_EQ(back->unique, h.unique);
  EXPECT_EQ(back->rgnid, h.rgnid);
  EXPECT_EQ(back->file_eof, h.file_eof);
  EXPECT_EQ(back->amap_last, h.amap_last);
  EXPECT_EQ(back->amap_free, h.amap_free);
  EXPECT_EQ(back->nbt, h.nbt);
  EXPECT_EQ(back->bbt, h.bbt);
  EXPECT_EQ(back->crypt_method, 2);
  EXPECT_EQ(back->bid_next_b, h.bid_next_b);
  // Fixed bytes Outlook expects.
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "!BDN");
  EXPECT_EQ(bytes[8], 0x53);  // "SM"
  EXPECT_EQ(bytes[9], 0x4D);
  EXPECT_EQ(Load16(&bytes[10]), 23);
  EXPECT_EQ(Load16(&bytes[12]), 19);
  EXPECT_EQ(bytes[14], 1);
  EXPECT_EQ(bytes[15], 1);
  EXPECT_EQ(bytes[256], 0xFF);
  EXPECT_EQ(bytes[511], 0xFF);
  EXPECT_EQ(bytes[512], 0x80);
}

TEST(HeaderTest, NamesWhatIsWrong) {
  auto bytes = SerializeHeader(SomeHeader());
  auto bad = bytes;
  bad[200] ^= 1;  // inside both CRC ranges
  EXPECT_NE(ParseHeader(bad).status().message().find("offset 4"), std::string::npos);
  bad = bytes;
  bad[520] ^= 1;  // bidNextB: only dwCRCFull covers it
  EXPECT_NE(ParseHeader(bad).status().message().find("offset 524"), std::string::npos);
  bad = bytes;
  bad[0] = 'X';
  EXPECT_TRUE(ParseHeader(bad).status().IsCorruption());
  EXPECT_TRUE(ParseHeader(std::span<const uint8_t>(bytes).first(100)).status().IsCorruption());
}

TEST(HeaderTest, OtherFormatsAreUnsupported) {
  Header h = SomeHeader();
  h.version = 14;  // ANSI
  EXPECT_EQ(ParseHeader(SerializeHeader(h)).status().code(), Code::kUnsupported);
  h.version = 36;  // 4k-page OST
  EXPECT_EQ(ParseHeader(SerializeHeader(h)).status().code(), Code::kUnsupported);
  auto ost = SerializeHeader(SomeHeader());
  ost[9] = 0x4F;  // "SO"
  EXPECT_EQ(ParseHeader(ost).status().code(), Code::kUnsupported);
}

TEST(PageTest, SealedPagesVerifyAndDamageIsCaught) {
  PageBytes page{};
  page[10] = 42;
  SealPage(page, kPageTypeNbt, 0x99, 0x5000);
  EXPECT_TRUE(VerifyPage(page, kPageTypeNbt, 0x99, 0x5000).ok());
  EXPECT_FALSE(VerifyPage(page, kPageTypeBbt, 0x99, 0x5000).ok());  // type
  EXPECT_FALSE(VerifyPage(page, kPageTypeNbt, 0x98, 0x5000).ok());  // BID the reference promised
  EXPECT_FALSE(VerifyPage(page, kPageTypeNbt, 0x99, 0x5200).ok());  // signature depends on the offset
  auto damaged = page;
  damaged[10] = 43;
  Status s = VerifyPage(damaged, kPageTypeNbt, 0x99, 0x5000);
  EXPECT_TRUE(s.IsCorruption());
  EXPECT_NE(s.message().find("0x5000"), std::string::npos);
  damaged = page;
  damaged[497] = kPageTypeBbt;  // ptypeRepeat
  EXPECT_FALSE(VerifyPage(damaged, kPageTypeNbt, 0x99, 0x5000).ok());
}

TEST(PageTest, MapPagesHaveNoSignatureAndTheirOffsetAsBid) {
  std::vector<uint8_t> bits(496, 0xFF);
  PageBytes p = MakeMapPage(kPageTypePMap, 0x4600, bits);
  EXPECT_EQ(Load16(&p[498]), 0);
  EXPECT_EQ(Load32(&p[500]), 0xA1AAE76Eu);  // what every Outlook PMap carries
  EXPECT_EQ(Load64(&p[504]), 0x4600u);
  EXPECT_TRUE(VerifyPage(p, kPageTypePMap, 0x4600, 0x4600).ok());
}

TEST(PageTest, BTreeEntriesRoundTrip) {
  uint8_t buf[32];
  NodeEntry n{0x200024, 0x1234, 0x5676, 0x8022};
  StoreNbtEntry(buf, n);
  EXPECT_EQ(LoadNbtEntry(buf), n);
  buf[4] = 0xAB;  // junk in the high dword of the nid field is ignored
  EXPECT_EQ(LoadNbtEntry(buf).nid, 0x200024u);
  BbtEntry b{0x1234, 0x9000, 300, 2};
  StoreBbtEntry(buf, b);
  EXPECT_EQ(LoadBbtEntry(buf), b);
  buf[0] |= 1;  // bit 0 of a BID is reserved
  EXPECT_EQ(LoadBbtEntry(buf).bid, 0x1234u);
}

TEST(BlockTest, ImageHasTrailerAtTheEndOfWholeSlots) {
  auto data = testing::Pattern(100, 1);
  auto image = MakeBlockImage(data, 0x44, 0x8000);
  EXPECT_EQ(image.size(), 128u);  // 100 + 16 rounded up to 64
  EXPECT_EQ(Load16(&image[112]), 100);
  EXPECT_EQ(Load64(&image[120]), 0x44u);
  BbtEntry e{0x44, 0x8000, 100, 2};
  EXPECT_TRUE(VerifyBlockImage(image, e).ok());
  EXPECT_EQ(BlockDiskSize(kMaxBlockPayload), 8192u);
  EXPECT_EQ(BlockDiskSize(0), 64u);
  EXPECT_EQ(BlockDiskSize(48), 64u);
  EXPECT_EQ(BlockDiskSize(49), 128u);
}

TEST(BlockTest, VerificationNamesEachFault) {
  auto image = MakeBlockImage(testing::Pattern(100, 1), 0x44, 0x8000);
  BbtEntry e{0x44, 0x8000, 100, 2};
  auto bad = image;
  bad[5] ^= 1;
  EXPECT_NE(VerifyBlockImage(bad, e).message().find("CRC"), std::string::npos);
  EXPECT_NE(VerifyBlockImage(image, {0x44, 0x8000, 99, 2}).message().find("trailer cb"), std::string::npos);
  EXPECT_NE(VerifyBlockImage(image, {0x48, 0x8000, 100, 2}).message().find("wSig"), std::string::npos);
  EXPECT_NE(VerifyBlockImage(image, {0x44, 0x8040, 100, 2}).message().find("0x8040"), std::string::npos);
}

// What one 8,176-byte block holds of each kind of internal block.
static_assert(kXBlockMaxEntries == 1021 && kSlBlockMaxEntries == 340 && kSiBlockMaxEntries == 510);

TEST(InternalBlockTest, AllKindsRoundTrip) {
  std::vector<Bid> kids = {4, 8, 12};
  auto x = ParseInternalBlock(MakeXBlock(1, 20000, kids), 0x10, 0x9000);
  ASSERT_TRUE(x.ok());
  EXPECT_EQ(x->btype, kBTypeDataTree);
  EXPECT_EQ(x->level, 1);
  EXPECT_EQ(x->total, 20000u);
  EXPECT_EQ(x->children, kids);
  std::vector<SubnodeEntry> sl = {{0x25, 4, 0}, {0x3F, 8, 0x16}};
  auto s = ParseInternalBlock(MakeSlBlock(sl), 0x12, 0x9000);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s->sl, sl);
  std::vector<SiEntry> si = {{0x25, 0x16}, {0x9F, 0x1A}};
  auto i = ParseInternalBlock(MakeSiBlock(si), 0x12, 0x9000);
  ASSERT_TRUE(i.ok());
  ASSERT_EQ(i->si.size(), 2u);
  EXPECT_EQ(i->si[1].nid, 0x9Fu);
}

TEST(InternalBlockTest, RejectsCountsBeyondTheBlockAndBadOrder) {
  auto x = MakeXBlock(1, 1, std::vector<Bid>{4});
  Store16(&x[2], 2);
  EXPECT_TRUE(ParseInternalBlock(x, 0x10, 0x9000).status().IsCorruption());
  auto sl = MakeSlBlock(std::vector<SubnodeEntry>{{0x3F, 4, 0}, {0x25, 8, 0}});
  EXPECT_TRUE(ParseInternalBlock(sl, 0x10, 0x9000).status().IsCorruption());
  std::vector<uint8_t> odd = {3, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(ParseInternalBlock(odd, 0x10, 0x9000).status().IsCorruption());
}

TEST(MapLayoutTest, MapPagesSitWhereTheFormatPutsThem) {
  auto s0 = MapPagesOfSection(0);
  ASSERT_EQ(s0.size(), 2u);
  EXPECT_EQ(s0[0].ib, 0x4400u);
  EXPECT_EQ(s0[1].ptype, kPageTypePMap);
  EXPECT_EQ(s0[1].ib, 0x4600u);
  EXPECT_EQ(MapPagesOfSection(1).size(), 1u);
  EXPECT_EQ(MapPagesOfSection(8)[1].ib, SectionOffset(8) + 0x200);  // PMap every 8 AMaps
  auto s128 = MapPagesOfSection(128);  // first FMap: after the 128 AMaps rgbFM covers
  ASSERT_EQ(s128.size(), 3u);
  EXPECT_EQ(s128[2].ptype, kPageTypeFMap);
  EXPECT_EQ(s128[2].ib, SectionOffset(128) + 0x400);
  EXPECT_EQ(MapPagesOfSection(128 + 496)[2].ptype, kPageTypeFMap);
  EXPECT_EQ(MapPagesOfSection(129).size(), 1u);
  auto s8192 = MapPagesOfSection(8192);  // first FPMap: after the 1,024 PMaps rgbFP covers
  ASSERT_EQ(s8192.size(), 3u);
  EXPECT_EQ(s8192[2].ptype, kPageTypeFPMap);
  EXPECT_EQ(MapPagesOfSection(8192 + 31744)[2].ptype, kPageTypeFPMap);
}

TEST(MapLayoutTest, FileSizesAndReservedAreas) {
  EXPECT_EQ(SectionsForFileSize(0x42400), 1u);  // a new Outlook file
  EXPECT_EQ(SectionsForFileSize(0x42400 + 0x3E000), 2u);
  EXPECT_EQ(SectionsForFileSize(0x42401), 0u);
  EXPECT_EQ(SectionsForFileSize(0x4400), 0u);
  EXPECT_TRUE(OverlapsReservedArea(0x4200, 512));  // DList and header area
  EXPECT_TRUE(OverlapsReservedArea(0x4600, 64));   // PMap
  EXPECT_FALSE(OverlapsReservedArea(0x4800, 8192));
  EXPECT_TRUE(OverlapsReservedArea(SectionOffset(1) - 64, 128));  // runs into the next AMap
}

}  // namespace
}  // namespace velmora::pst
