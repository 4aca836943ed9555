// Whole messages written and read back over the in-memory node store: recipients, named properties, Unicode,
// the properties the store computes, the flags it owns, and failures that must leave nothing behind.
#include <gtest/gtest.h>

#include "pst/ltp/le_bytes.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/message/message_test_support.h"
#include "pst/messaging/message/recipient_table.h"

namespace velmora::pst::testing {
namespace {

using namespace msgtags;

constexpr Nid kMsgNid = MakeNid(kNidTypeNormalMessage, 0x400);
constexpr uint64_t kJuly2021 = 0x01D7833584000000ULL;  // a FILETIME in July 2021

class MessageRoundTrip : public ::testing::Test {
 protected:
  MessageContent WriteAndRead(const MessageContent& in, const MessageWriteOptions& options = {}) {
    auto w = Store(store_, in, kMsgNid, names_, options);
    EXPECT_TRUE(w.ok()) << w.status().ToString();
    if (w.ok()) written_ = std::move(w).value();
    MessageReadOptions ro;
    ro.named_lookup = names_.Lookup();
    auto r = ReadMessage(store_, kMsgNid, ro);
    EXPECT_TRUE(r.ok()) << r.status().ToString();
    return r.ok() ? std::move(r).value() : MessageContent();
  }
  std::vector<SubnodeEntry> TopSubnodes() {
    auto e = store_.FindNode(kMsgNid);
    auto subs = store_.ReadSubnodes((*e)->sub);
    return subs.ok() ? *subs : std::vector<SubnodeEntry>();
  }
  static bool HasSubnode(const std::vector<SubnodeEntry>& subs, Nid nid) {
    return std::any_of(subs.begin(), subs.end(), [nid](auto& e) { return e.nid == nid; });
  }

  MemoryNodeStore store_;
  FakeNameMap names_;
  WrittenMessage written_;
};

TEST_F(MessageRoundTrip, MessageWithoutRecipientsStillCarriesARecipientTable) {
  MessageContent in = Mail("alone");
  MessageContent out = WriteAndRead(in);
  EXPECT_TRUE(HoldsAll(out.props, in.props));
  EXPECT_TRUE(out.recipients.empty());
  EXPECT_TRUE(out.attachments.empty());
  auto subs = TopSubnodes();
  EXPECT_TRUE(HasSubnode(subs, kNidRecipientTable));
  EXPECT_FALSE(HasSubnode(subs, kNidAttachmentTable));
  EXPECT_EQ(StringProp(out.props, kDisplayTo), "");  // MAPI reports an empty To line, not a missing one
  EXPECT_FALSE(out.props.count(Id(kDisplayCc)));
}

TEST_F(MessageRoundTrip, OneRecipientKeepsItsValuesAndGainsOutlooksDefaults) {
  MessageContent in = Mail("one");
  in.recipients.push_back(Recipient("Ann Example", "ann@example.com", kRecipientTo));
  in.recipients[0].props[0x5FF6] =
      PropValue::String("Ann Example");  // PidTagRecipientDisplayName: extra column
  MessageContent out = WriteAndRead(in);
  ASSERT_EQ(out.recipients.size(), 1u);
  const PropertyMap& r = out.recipients[0].props;
  EXPECT_TRUE(HoldsAll(r, in.recipients[0].props));
  EXPECT_EQ(IntProp(r, kObjectType), kObjectTypeMailUser);
  EXPECT_EQ(IntProp(r, kDisplayType), kDisplayTypeMailUser);
  auto key = r.at(Id(kSearchKey)).bytes;
  std::string expect = "SMTP:ANN@EXAMPLE.COM";
  expect.push_back('\0');
  EXPECT_EQ(std::string(key.begin(), key.end()), expect);
  EXPECT_FALSE(r.count(TagId(kTagLtpRowId))) << "row bookkeeping is not a recipient property";
  EXPECT_EQ(StringProp(out.props, kDisplayTo), "Ann Example");
}

TEST_F(MessageRoundTrip, CallerValuesWinOverRecipientDefaults) {
  MessageContent in = Mail("own values");
  RecipientContent r = Recipient("Bob", "bob@example.com", kRecipientCc);
  r.props[Id(kSearchKey)] = PropValue::Binary({1, 2, 3});
  r.props[Id(kObjectType)] = PropValue::Int32(8);  // MAPI_DISTLIST
  in.recipients.push_back(r);
  MessageContent out = WriteAndRead(in);
  ASSERT_EQ(out.recipients.size(), 1u);
  EXPECT_TRUE(HoldsAll(out.recipients[0].props, r.props));
  EXPECT_EQ(StringProp(out.props, kDisplayCc), "Bob");
}

TEST_F(MessageRoundTrip, TwoHundredRecipientsKeepOrderTypesAndOutlookRowIds) {
  MessageContent in = Mail("crowd");
  for (int i = 0; i < 200; ++i)
    in.recipients.push_back(
        Recipient("Person " + std::to_string(i), "p" + std::to_string(i) + "@example.com",
                  i % 3 == 0 ? kRecipientTo : (i % 3 == 1 ? kRecipientCc : kRecipientBcc)));
  MessageContent out = WriteAndRead(in);
  ASSERT_EQ(out.recipients.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_TRUE(HoldsAll(out.recipients[i].props, in.recipients[i].props)) << i;

  // Row ids as Outlook numbers them: 0x10, 0x13, 0x16, ...; version = id + 2.
  auto subs = TopSubnodes();
  auto rt = std::find_if(subs.begin(), subs.end(), [](auto& e) { return e.nid == kNidRecipientTable; });
  ASSERT_NE(rt, subs.end());
  std::vector<SubnodeEntry> own;
  if (rt->sub) own = *store_.ReadSubnodes(rt->sub);
  auto table = ReadTableContext(store_, rt->data, own);
  ASSERT_TRUE(table.ok()) << table.status().ToString();
  ASSERT_EQ(table->rows.size(), 200u);
  for (size_t i = 0; i < 200; ++i) {
    EXPECT_EQ(table->rows[i].row_id, 0x10 + 3 * i);
    EXPECT_EQ(table->rows[i].cells.at(kTagLtpRowVer).AsInt32(), static_cast<int32_t>(0x12 + 3 * i));
  }
  for (PropTag t : kRecipientTemplateColumns)
    EXPECT_NE(std::find(table->columns.begin(), table->columns.end(), t), table->columns.end())
        << std::hex << t;

  auto to = StringProp(out.props, kDisplayTo);
  ASSERT_TRUE(to);
  EXPECT_EQ(to->rfind("Person 0; Person 3; ", 0), 0u);
  EXPECT_EQ(std::count(to->begin(), to->end(), ';'), 66);  // 67 To recipients
  EXPECT_EQ(StringProp(out.props, kDisplayBcc)->rfind("Person 2; Person 5", 0), 0u);
}

TEST_F(MessageRoundTrip, UnicodeSubjectsAndNamesSurviveByteForByte) {
  const std::string subject = "Grüße – 会議の件 📎 Ωμέγα";
  MessageContent in = Mail(subject);
  in.recipients.push_back(Recipient("Zoë; Ñandú", "zoe@example.com", kRecipientTo));
  MessageContent out = WriteAndRead(in);
  EXPECT_EQ(StringProp(out.props, kSubject), subject);
  EXPECT_EQ(out.props.at(Id(kSubject)).bytes, Utf8ToUtf16le(subject));
  EXPECT_EQ(StringProp(out.recipients.at(0).props, kDisplayName), "Zoë; Ñandú");
  EXPECT_EQ(StringProp(out.props, kDisplayTo), "Zoë, Ñandú") << "a ';' in a name would split the To line";
}

TEST_F(MessageRoundTrip, NamedPropertiesGetMapIdsAndReadBackByName) {
  MessageContent in = Mail("named");
  NamedProperty numeric;
  numeric.guid = {0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};  // PSETID_Common
  numeric.lid = 0x8580;  // PidLidInternetAccountName
  numeric.value = PropValue::String("ann@example.com");
  NamedProperty text;
  text.guid = {0x86, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};  // PS_INTERNET_HEADERS
  text.is_string = true;
  text.name = "x-mailer";
  text.value = PropValue::String("Velmora");
  in.named = {numeric, text};
  MessageContent out = WriteAndRead(in);
  ASSERT_EQ(out.named.size(), 2u);
  for (const NamedProperty& want : in.named) {
    auto it = std::find_if(out.named.begin(), out.named.end(), [&](const NamedProperty& p) {
      return p.guid == want.guid && p.is_string == want.is_string && p.lid == want.lid && p.name == want.name;
    });
    ASSERT_NE(it, out.named.end()) << want.name << want.lid;
    EXPECT_EQ(it->value.AsString(), want.value.AsString());
  }
  // Without the map the values stay under their IDs, which are 0x8000 and up.
  auto raw = ReadMessage(store_, kMsgNid);
  ASSERT_TRUE(raw.ok());
  EXPECT_TRUE(raw->props.count(0x8000) && raw->props.count(0x8001));
}

TEST_F(MessageRoundTrip, StoreFillsRequiredPropertiesAndKeepsTheCallersOnes) {
  MessageContent bare;
  bare.props[Id(kSubject)] = PropValue::String("bare");
  MessageWriteOptions options;
  options.now_filetime = kJuly2021;
  options.search_key = [] {
    return std::array<uint8_t, 16>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  };
  MessageContent out = WriteAndRead(bare, options);
  EXPECT_EQ(StringProp(out.props, kMessageClass), "IPM.Note");
  EXPECT_EQ(IntProp(out.props, kMessageFlags), 0x01);
  EXPECT_EQ(IntProp(out.props, kMessageStatus), 0);
  EXPECT_EQ(out.props.at(Id(kCreationTime)).AsTime(), kJuly2021);
  EXPECT_EQ(out.props.at(Id(kLastModificationTime)).AsTime(), kJuly2021);
  EXPECT_EQ(out.props.at(Id(kSearchKey)).bytes.size(), 16u);
  EXPECT_EQ(out.props.at(Id(kSearchKey)).bytes[15], 16);
  EXPECT_EQ(IntProp(out.props, kMessageSize), written_.size);

  MessageContent given = Mail("given");
  given.props[Id(kMessageClass)] = PropValue::String("IPM.Note.SMIME.MultipartSigned");
  given.props[Id(kCreationTime)] = PropValue::Time(kJuly2021 + 1);
  given.props[Id(kMessageSize)] = PropValue::Int32(5);       // never trusted
  given.props[Id(kHasAttachments)] = PropValue::Bool(true);  // MAPI computes it; not stored
  MessageContent out2 = WriteAndRead(given, options);
  EXPECT_EQ(StringProp(out2.props, kMessageClass), "IPM.Note.SMIME.MultipartSigned");
  EXPECT_EQ(out2.props.at(Id(kCreationTime)).AsTime(), kJuly2021 + 1);
  EXPECT_NE(IntProp(out2.props, kMessageSize), 5);
  EXPECT_FALSE(out2.props.count(Id(kHasAttachments)));
}

TEST_F(MessageRoundTrip, EveryMessageGetsItsOwnRandomSearchKey) {
  auto a = WriteMessage(store_, Mail("a"), names_.Resolver());
  auto b = WriteMessage(store_, Mail("a"), names_.Resolver());
  ASSERT_TRUE(a.ok() && b.ok());
  auto ka = ReadPropertyContext(store_, a->data, {});
  auto kb = ReadPropertyContext(store_, b->data, {});
  ASSERT_TRUE(ka.ok() && kb.ok());
  EXPECT_NE(ka->at(Id(kSearchKey)).bytes, kb->at(Id(kSearchKey)).bytes);
}

// ---- Flags the store owns.

TEST(MessageFlags, HasAttachFollowsTheWrittenAttachmentsNotTheInput) {
  MemoryNodeStore store;
  FakeNameMap names;
  struct Case {
    uint32_t in_flags;
    int attachments;
    uint32_t want;
  } cases[] = {
      {0x10, 0, 0x00}, {0x01 | 0x10, 0, 0x01}, {0x01, 1, 0x11}, {0x00, 3, 0x10}, {0x08 | 0x01, 2, 0x19}};
  Nid nid = MakeNid(kNidTypeNormalMessage, 0x500);
  for (const Case& c : cases) {
    MessageContent m = Mail("flags");
    m.props[Id(kMessageFlags)] = PropValue::Int32(static_cast<int32_t>(c.in_flags));
    for (int i = 0; i < c.attachments; ++i)
      m.attachments.push_back(FileAttachment("f.txt", PropValue::Binary({1})));
    auto w = Store(store, m, nid, names);
    ASSERT_TRUE(w.ok()) << w.status().ToString();
    EXPECT_EQ(w->flags, c.want);
    EXPECT_EQ(w->has_attachments, c.attachments > 0);
    EXPECT_EQ(w->read, (c.want & kMsgFlagRead) != 0);
    EXPECT_EQ(IntProp(w->row_props, kMessageFlags), static_cast<int32_t>(c.want));
    auto back = ReadMessage(store, nid);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(IntProp(back->props, kMessageFlags), static_cast<int32_t>(c.want));
    nid += 32;
  }
}

TEST(MessageFlags, DefaultFlagsApplyOnlyWhenTheContentHasNone) {
  MemoryNodeStore store;
  FakeNameMap names;
  MessageWriteOptions unread;
  unread.default_flags = 0;
  auto w = WriteMessage(store, Mail("unread"), names.Resolver(), unread);
  ASSERT_TRUE(w.ok());
  EXPECT_FALSE(w->read);
  MessageContent flagged = Mail("explicit");
  flagged.props[Id(kMessageFlags)] = PropValue::Int32(0x01);
  auto w2 = WriteMessage(store, flagged, names.Resolver(), unread);
  ASSERT_TRUE(w2.ok());
  EXPECT_TRUE(w2->read);
}

// ---- Failures leave no blocks behind.

class MessageWriteFailure : public ::testing::Test {
 protected:
  void ExpectFailsCleanly(const MessageContent& m, const NamedIdResolver& names,
                          const MessageWriteOptions& o = {}) {
    const size_t before = store_.live_blocks();
    auto w = WriteMessage(store_, m, names, o);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.status().code(), Code::kInvalidArgument) << w.status().ToString();
    EXPECT_EQ(store_.live_blocks(), before) << "a failed write must release what it wrote";
  }
  static MessageContent WithEverything() {
    MessageContent m = Mail("full");
    m.props[0x1000] = PropValue::String(std::string(6000, 'x'));  // a body in a subnode
    m.recipients.push_back(Recipient("Ann", "ann@example.com", kRecipientTo));
    m.attachments.push_back(FileAttachment("big.bin", PropValue::Binary(PatternBytes(30000, 1))));
    return m;
  }
  MemoryNodeStore store_;
  FakeNameMap names_;
};

TEST_F(MessageWriteFailure, NamedIdBelow0x8000IsRefused) {
  MessageContent m = WithEverything();
  m.named.push_back(NamedProperty{});
  ExpectFailsCleanly(m, [](const NamedProperty&) -> Result<uint16_t> { return uint16_t{0x3001}; });
}

TEST_F(MessageWriteFailure, NamedPropertiesWithoutAMapAreRefused) {
  MessageContent m = Mail("x");
  m.named.push_back(NamedProperty{});
  ExpectFailsCleanly(m, nullptr);
}

TEST_F(MessageWriteFailure, RecipientValueOfTheWrongTypeIsRefusedAfterAttachmentsWereWritten) {
  MessageContent m = WithEverything();
  m.recipients[0].props[Id(kDisplayName)] = PropValue::Int32(7);
  ExpectFailsCleanly(m, names_.Resolver());
}

TEST_F(MessageWriteFailure, Method5WithoutAnEmbeddedMessageIsRefused) {
  MessageContent m = WithEverything();
  AttachmentContent a;
  a.props[Id(kAttachMethod)] = PropValue::Int32(kAttachEmbeddedMessage);
  m.attachments.push_back(std::move(a));
  ExpectFailsCleanly(m, names_.Resolver());
}

TEST_F(MessageWriteFailure, NestingPastTheDepthLimitIsRefusedAndReleasesTheInnerLevels) {
  // Four levels below the top message, limit three.
  MessageContent top = WithEverything();
  MessageContent* level = &top;
  for (int depth = 1; depth <= 4; ++depth) {
    AttachmentContent a;
    a.embedded = std::make_unique<MessageContent>(WithEverything());
    level->attachments.push_back(std::move(a));
    level = level->attachments.back().embedded.get();
  }
  MessageWriteOptions o;
  o.max_embedding_depth = 3;
  ExpectFailsCleanly(top, names_.Resolver(), o);
  o.max_embedding_depth = 4;
  auto w = WriteMessage(store_, top, names_.Resolver(), o);
  EXPECT_TRUE(w.ok()) << w.status().ToString();
}

TEST_F(MessageWriteFailure, ResolverErrorsPassThrough) {
  MessageContent m = WithEverything();
  m.named.push_back(NamedProperty{});
  const size_t before = store_.live_blocks();
  auto w = WriteMessage(store_, m, [](const NamedProperty&) -> Result<uint16_t> {
    return Status::NoSpace("name-to-ID map full");
  });
  EXPECT_EQ(w.status().code(), Code::kNoSpace);
  EXPECT_EQ(store_.live_blocks(), before);
}

TEST_F(MessageWriteFailure, ReleasingAWrittenMessageFreesEverything) {
  const size_t before = store_.live_blocks();
  auto w = WriteMessage(store_, WithEverything(), names_.Resolver());
  ASSERT_TRUE(w.ok());
  EXPECT_GT(store_.live_blocks(), before);
  ASSERT_TRUE(ReleaseWrittenMessage(store_, *w).ok());
  EXPECT_EQ(store_.live_blocks(), before);
}

}  // namespace
}  // namespace velmora::pst::testing
