// Whole messages written and read back over the in-memory node store: recipients, Unicode, named properties,
// what the store computes, the flags it owns, the contents row, and failures that must leave nothing behind.
#include <gtest/gtest.h>

#include "pst/ltp/table_context.h"
#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/message/message_test_support.h"

namespace velmora::pst::testing {
namespace {

constexpr Nid kMsgNid = MakeNid(kNidTypeNormalMessage, 0x400);

class MessageRoundTrip : public ::testing::Test {
 protected:
  MessageContent WriteAndRead(const MessageContent& in, const MessageWriteOptions& options = {}) {
    auto w = WriteMessage(store_, in, names_.Resolver(), options, &scratch_);
    EXPECT_TRUE(w.ok()) << w.status().ToString();
    if (!w.ok()) return {};
    written_ = std::move(w).value();
    EXPECT_TRUE(store_.PutNode(NodeEntry{kMsgNid, written_.data, written_.sub, 0x8022}).ok());
    MessageReadOptions ro;
    ro.named_lookup = names_.Lookup();
    auto r = ReadMessage(store_, kMsgNid, ro);
    EXPECT_TRUE(r.ok()) << r.status().ToString();
    return r.ok() ? std::move(r).value() : MessageContent();
  }
  MemoryNodeStore store_;
  FakeNameMap names_;
  TableScratch scratch_;  // kept from message to message, as the store keeps it
  WrittenMessage written_;
};

// A brief recipient's row as an importer makes it, in place: the same four cells every time; the defaults
// add the search key from the address.
void FourCells(const RecipientContent::Brief& b, PropertyMap& row) {
  row[Id(kRecipientType)].SetInt32(b.type);
  row[Id(kDisplayName)].SetString(b.name);
  row[Id(kAddressType)].SetString("SMTP");
  row[Id(kEmailAddress)].SetString(b.address);
}
RecipientContent BriefRecipient(const std::string& name, const std::string& address) {
  RecipientContent r;
  r.brief = {name, address, kRecipientTo, 0, &FourCells};
  return r;
}

TEST_F(MessageRoundTrip, NoneOneAndTwoHundredRecipients) {
  for (int count : {0, 1, 200}) {
    SCOPED_TRACE(count);
    MessageContent in = Mail("recipients");
    for (int i = 0; i < count; ++i)
      in.recipients.push_back(
          Recipient("Person " + std::to_string(i), "P" + std::to_string(i) + "@example.com",
                    i % 3 == 0 ? kRecipientTo : (i % 3 == 1 ? kRecipientCc : kRecipientBcc)));
    MessageContent out = WriteAndRead(in);
    ASSERT_EQ(out.recipients.size(), in.recipients.size());
    for (int i = 0; i < count; ++i)
      EXPECT_TRUE(HoldsAll(out.recipients[i].props, in.recipients[i].props)) << i;

    // The table exists even without recipients; rows are numbered as Outlook numbers them.
    auto subs = Subnodes(store_, written_.sub);
    const SubnodeEntry* rt = FindSubnode(subs, kNidRecipientTable);
    ASSERT_NE(rt, nullptr);
    EXPECT_EQ(FindSubnode(subs, kNidAttachmentTable), nullptr);
    auto table = ReadTableContext(store_, rt->data, Subnodes(store_, rt->sub));
    ASSERT_TRUE(table.ok()) << table.status().ToString();
    for (size_t i = 0; i < table->rows.size(); ++i) {
      EXPECT_EQ(table->rows[i].row_id, 0x10 + 3 * i);
      EXPECT_EQ(table->rows[i].cells.at(kTagLtpRowVer).AsInt32(), static_cast<int32_t>(0x12 + 3 * i));
    }
    EXPECT_EQ(table->columns.size(), 14u) << "the template's columns, nothing else was given";
    auto to = StringProp(out.props, kDisplayTo);
    EXPECT_EQ(std::count(to->begin(), to->end(), ';') + !to->empty(), (count + 2) / 3);
    EXPECT_EQ(out.props.count(Id(kDisplayBcc)), count >= 3 ? 1u : 0u);
  }
  // Defaults Outlook always writes, added to rows that lack them; a caller's values win.
  MessageContent in = Mail("defaults");
  in.recipients.push_back(Recipient("Ann", "ann@Example.com", kRecipientTo));
  in.recipients.push_back(Recipient("Dist", "d@x.org", kRecipientCc));
  in.recipients[1].props[Id(kObjectType)] = PropValue::Int32(8);  // MAPI_DISTLIST
  const MessageContent out = WriteAndRead(in);
  const PropertyMap& first = out.recipients.at(0).props;
  EXPECT_EQ(IntProp(first, kObjectType), kObjectTypeMailUser);
  EXPECT_EQ(IntProp(first, kDisplayType), kDisplayTypeMailUser);
  const std::string key = "SMTP:ANN@EXAMPLE.COM";
  EXPECT_EQ(first.at(Id(kSearchKey)).bytes, std::vector<uint8_t>(key.c_str(), key.c_str() + key.size() + 1));
  EXPECT_EQ(IntProp(out.recipients.at(1).props, kObjectType), 8);
}

// Rows are made one at a time in a row that is reused, within a table and from one message to the next: a
// recipient never keeps a cell of the row before it.
TEST_F(MessageRoundTrip, ARecipientNeverCarriesACellOfTheRowBefore) {
  MessageContent first = Mail("first");
  first.recipients.push_back(Recipient("Ann", "ann@example.com", kRecipientTo));
  first.recipients.push_back(Recipient("Bob", "bob@example.com", kRecipientCc));
  first.recipients.push_back(Recipient("Cy", "cy@example.com", kRecipientCc));
  for (size_t i : {0u, 2u})
    first.recipients[i].props[Id(kSmtpAddress)] = PropValue::String("smtp" + std::to_string(i));
  const MessageContent out = WriteAndRead(first);
  ASSERT_EQ(out.recipients.size(), 3u);
  EXPECT_EQ(StringProp(out.recipients[0].props, kSmtpAddress), "smtp0");
  EXPECT_EQ(out.recipients[1].props.count(Id(kSmtpAddress)), 0u);
  EXPECT_EQ(StringProp(out.recipients[1].props, kDisplayName), "Bob");
  EXPECT_EQ(StringProp(out.recipients[2].props, kSmtpAddress), "smtp2");

  MessageContent second = Mail("second");  // its table starts from the first message's last row
  second.recipients.push_back(Recipient("Di", "di@example.com", kRecipientTo));
  auto w = WriteMessage(store_, second, names_.Resolver(), {}, &scratch_);
  ASSERT_TRUE(w.ok()) << w.status().ToString();
  auto table = ReadTableContext(store_, FindSubnode(Subnodes(store_, w->sub), kNidRecipientTable)->data, {});
  ASSERT_TRUE(table.ok()) << table.status().ToString();
  ASSERT_EQ(table->rows.size(), 1u);
  EXPECT_EQ(table->rows[0].cells.count(kSmtpAddress), 0u);
  EXPECT_EQ(table->rows[0].cells.at(kEmailAddress).AsString(), "di@example.com");

  // Brief rows are made into the last row's map in place: after a full row, and after a row the defaults
  // added to, each still has only its own cells and the search key of its own address.
  MessageContent third = Mail("third");
  third.recipients.push_back(BriefRecipient("Eve Longer-Name", "eve@example.com"));
  third.recipients.push_back(BriefRecipient("Fay", "fay@example.com"));
  third.recipients.push_back(Recipient("Gil", "gil@example.com", kRecipientCc));
  third.recipients.back().props[Id(kSmtpAddress)] = PropValue::String("gil-smtp");
  third.recipients.push_back(BriefRecipient("Hal", "hal@example.com"));
  const MessageContent back = WriteAndRead(third);
  ASSERT_EQ(back.recipients.size(), 4u);
  for (size_t i : {0u, 1u, 3u}) {
    const PropertyMap& r = back.recipients[i].props;
    const std::string address = third.recipients[i].brief.address;
    EXPECT_EQ(StringProp(r, kDisplayName), third.recipients[i].brief.name) << i;
    EXPECT_EQ(StringProp(r, kEmailAddress), address) << i;
    EXPECT_EQ(r.count(Id(kSmtpAddress)), 0u) << i;
    std::string key = "SMTP:" + address;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    EXPECT_EQ(r.at(Id(kSearchKey)).bytes, std::vector<uint8_t>(key.c_str(), key.c_str() + key.size() + 1))
        << i;
  }
  EXPECT_EQ(StringProp(back.recipients[2].props, kSmtpAddress), "gil-smtp");
}

TEST_F(MessageRoundTrip, UnicodeTextAndNamedPropertiesSurvive) {
  const std::string subject = "Grüße – 会議の件 📎 Ωμέγα";
  MessageContent in = Mail(subject);
  in.recipients.push_back(Recipient("Zoë; Ñandú", "zoe@example.com", kRecipientTo));
  NamedProperty numeric;
  numeric.guid = {0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};  // PSETID_Common
  numeric.lid = 0x8580;
  numeric.value = PropValue::String("ann@example.com");
  NamedProperty text;
  text.guid = {0x86, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};  // PS_INTERNET_HEADERS
  text.is_string = true;
  text.name = "x-mailer";
  text.value = PropValue::String("Velmora ✓");
  in.named = {numeric, text};
  MessageContent out = WriteAndRead(in);
  EXPECT_EQ(out.props.at(Id(kSubject)).bytes, Utf8ToUtf16le(subject));
  EXPECT_EQ(StringProp(out.recipients.at(0).props, kDisplayName), "Zoë; Ñandú");
  EXPECT_EQ(StringProp(out.props, kDisplayTo), "Zoë, Ñandú") << "a ';' in a name would split the To line";
  ASSERT_EQ(out.named.size(), 2u);
  for (const NamedProperty& p : out.named) {
    const NamedProperty& want = p.is_string ? text : numeric;
    EXPECT_EQ(p.guid, want.guid);
    EXPECT_EQ(p.lid, want.lid);
    EXPECT_EQ(p.value.AsString(), want.value.AsString());
  }
  auto raw = ReadMessage(store_, kMsgNid);  // without the map the values stay under IDs 0x8000 and up
  EXPECT_TRUE(raw->props.count(0x8000) && raw->props.count(0x8001));
}

TEST_F(MessageRoundTrip, StoreFillsWhatIsRequiredReplacesWhatItComputesAndTheRowAgrees) {
  MessageWriteOptions options;
  options.now_filetime = 0x01D7833584000000ULL;
  options.search_key = [] {
    return std::array<uint8_t, 16>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  };
  MessageContent out = WriteAndRead(MessageContent(), options);
  EXPECT_EQ(StringProp(out.props, kMessageClass), "IPM.Note");
  EXPECT_EQ(IntProp(out.props, kMessageStatus), 0);
  EXPECT_EQ(out.props.at(Id(kCreationTime)).AsTime(), options.now_filetime);
  EXPECT_EQ(out.props.at(Id(kLastModificationTime)).AsTime(), options.now_filetime);
  EXPECT_EQ(out.props.at(Id(kSearchKey)).bytes.back(), 16);

  MessageContent given = Mail("given");
  given.props[Id(kMessageClass)] = PropValue::String("IPM.Note.SMIME.MultipartSigned");
  given.props[Id(kCreationTime)] = PropValue::Time(7);
  given.props[Id(kMessageSize)] = PropValue::Int32(5);       // never trusted
  given.props[Id(kHasAttachments)] = PropValue::Bool(true);  // MAPI computes it; not stored
  given.props[0x0E1D] = PropValue::String("given");          // PidTagNormalizedSubject: newer folders' column
  given.recipients.push_back(Recipient("Cy", "cy@example.com", kRecipientCc));
  out = WriteAndRead(given);
  EXPECT_EQ(StringProp(out.props, kMessageClass), "IPM.Note.SMIME.MultipartSigned");
  EXPECT_EQ(out.props.at(Id(kCreationTime)).AsTime(), 7u);
  EXPECT_EQ(IntProp(out.props, kMessageSize), written_.size);
  EXPECT_FALSE(out.props.count(Id(kHasAttachments)));
  EXPECT_EQ(out.props.at(Id(kSearchKey)).bytes.size(), 16u);
  EXPECT_NE(WriteAndRead(given).props.at(Id(kSearchKey)).bytes, out.props.at(Id(kSearchKey)).bytes)
      << "a fresh random key for each message";

  // The contents row from what the writer returns agrees with the PC as stored, through a real table.
  std::vector<PropTag> columns(kContentsTemplateColumns.begin(), kContentsTemplateColumns.end());
  columns.insert(columns.end(), {0x0E1D001F, 0x0037001E});  // an 8-bit subject column takes no Unicode value
  auto row = MakeContentsRow(kMsgNid, written_.row_props, columns);
  ASSERT_TRUE(row.ok());
  EXPECT_EQ(row->cells.at(kDisplayCc).AsString(), "Cy");
  EXPECT_FALSE(row->cells.count(0x0037001E));
  auto tc = WriteTableContext(store_, Table{columns, {*row}});
  ASSERT_TRUE(tc.ok()) << tc.status().ToString();
  auto back = ReadTableContext(store_, tc->data, tc->subnodes);
  auto pc = ReadPropertyContext(store_, written_.data, Subnodes(store_, written_.sub));
  ASSERT_TRUE(back.ok() && pc.ok());
  TableRow read_row = back->rows.at(0);
  read_row.cells.erase(kTagLtpRowId);
  read_row.cells.erase(kTagLtpRowVer);
  EXPECT_TRUE(RowAgreesWithProps(read_row, *pc, columns));
  read_row.cells[kSubject] = PropValue::String("changed");
  EXPECT_FALSE(RowAgreesWithProps(read_row, *pc, columns));
}

TEST(MessageFlags, HasAttachFollowsTheWrittenAttachmentsNeverTheInput) {
  MemoryNodeStore store;
  FakeNameMap names;
  struct Case {
    std::optional<uint32_t> in_flags;
    int attachments;
    uint32_t want;
  } cases[] = {{0x10, 0, 0x00},        {0x11, 0, 0x01}, {0x01, 1, 0x11},
               {0x00, 3, 0x10},        {0x09, 2, 0x19}, {std::nullopt, 0, 0x01},  // the default: read
               {std::nullopt, 1, 0x11}};
  for (const Case& c : cases) {
    MessageContent m = Mail("flags");
    if (c.in_flags) m.props[Id(kMessageFlags)] = PropValue::Int32(static_cast<int32_t>(*c.in_flags));
    for (int i = 0; i < c.attachments; ++i)
      m.attachments.push_back(FileAttachment("f", PropValue::Binary({1})));
    auto w = WriteMessage(store, m, names.Resolver());
    ASSERT_TRUE(w.ok()) << w.status().ToString();
    EXPECT_EQ(w->flags, c.want);
    EXPECT_EQ(w->has_attachments, c.attachments > 0);
    EXPECT_EQ(w->read, (c.want & kMsgFlagRead) != 0);
    EXPECT_EQ(IntProp(*ReadPropertyContext(store, w->data, Subnodes(store, w->sub)), kMessageFlags),
              static_cast<int32_t>(c.want));
  }
}

// Each way a write can fail after blocks were written for the message: the error comes back and every block
// written for it is released.
TEST(MessageWriteFailure, EveryFailureReleasesWhatWasWritten) {
  auto nested = [](int levels, std::function<void(MessageContent&)> spoil) {
    MessageContent top;
    MessageContent* level = &top;
    for (int d = 0; d <= levels; ++d) {
      *level = Mail("level " + std::to_string(d));
      level->props[0x1000] = PropValue::String(std::string(6000, 'x'));  // a body in a subnode
      level->attachments.push_back(FileAttachment("big.bin", PropValue::Binary(PatternBytes(30000, 1))));
      level->recipients.push_back(Recipient("Ann", "ann@example.com", kRecipientTo));
      if (d == levels) break;
      level = (level->attachments.emplace_back().embedded = std::make_unique<MessageContent>()).get();
    }
    spoil(*level);
    return top;
  };
  FakeNameMap names;
  NamedIdResolver low_id = [](const NamedProperty&) -> Result<uint16_t> { return uint16_t{0x3001}; };
  NamedIdResolver full_map = [](const NamedProperty&) -> Result<uint16_t> { return Status::NoSpace("full"); };
  auto add_named = [](MessageContent& m) { m.named.emplace_back(); };
  auto bad_recipient = [](MessageContent& m) {
    m.recipients[0].props[Id(kDisplayName)] = PropValue::Int32(7);
  };
  auto method5 = [](MessageContent& m) {
    m.attachments.emplace_back().props[Id(kAttachMethod)] = PropValue::Int32(kAttachEmbeddedMessage);
  };
  struct Case {
    const char* what;
    MessageContent content;
    NamedIdResolver names;
    int depth_limit;
    Code code;
  } cases[] = {
      {"named ID below 0x8000", nested(1, add_named), low_id, 16, Code::kInvalidArgument},
      {"name map error", nested(1, add_named), full_map, 16, Code::kNoSpace},
      {"named without a map (embedded)", nested(1, add_named), nullptr, 16, Code::kInvalidArgument},
      {"recipient value of the wrong type", nested(2, bad_recipient), names.Resolver(), 16,
       Code::kInvalidArgument},
      {"method 5 without a message", nested(1, method5), names.Resolver(), 16, Code::kInvalidArgument},
      {"nesting past the limit", nested(4, [](MessageContent&) {}), names.Resolver(), 3,
       Code::kInvalidArgument},
  };
  MemoryNodeStore store;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = store.live_blocks();
    MessageWriteOptions options;
    options.max_embedding_depth = c.depth_limit;
    auto w = WriteMessage(store, c.content, c.names, options);
    EXPECT_EQ(w.status().code(), c.code) << w.status().ToString();
    EXPECT_EQ(store.live_blocks(), before);
  }
  // At the limit it works; released, it leaves nothing either.
  const size_t before = store.live_blocks();
  MessageWriteOptions limit3;
  limit3.max_embedding_depth = 3;
  auto w = WriteMessage(store, nested(3, [](MessageContent&) {}), names.Resolver(), limit3);
  ASSERT_TRUE(w.ok()) << w.status().ToString();
  ASSERT_TRUE(ReleaseWrittenMessage(store, *w).ok());
  EXPECT_EQ(store.live_blocks(), before);
}

}  // namespace
}  // namespace velmora::pst::testing
