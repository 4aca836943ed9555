// End-to-end: our own test messages (mime/testdata) through ImportEml, property by property.
#include "mime/import.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "mime/body_props.h"
#include "mime/charset.h"
#include "mime/entry_ids.h"
#include "mime/prop_tags.h"
#include "mime/test_support.h"

namespace velmora::mime {
namespace {

using namespace testing;  // NOLINT: the value helpers
namespace t = tag;

pst::MessageContent Load(const std::string& name, const ImportOptions& options = {}) {
  auto r = ImportEml(TestDataPath(name), options);
  EXPECT_TRUE(r.ok()) << r.status().message();
  return r.ok() ? std::move(r).value() : pst::MessageContent{};
}

const pst::PropertyMap* AttachmentNamed(const pst::MessageContent& m, const std::string& long_name) {
  for (const auto& a : m.attachments) {
    if (Str(a.props, t::kAttachLongFilename) == long_name) return &a.props;
  }
  return nullptr;
}

std::vector<uint8_t> Ascii(const std::string& s) {
  return {s.begin(), s.end()};
}

// --- Envelope

TEST(ImportEnvelope, SubjectFamilyAndThreading) {
  auto m = Load("plain.eml");
  const auto& p = m.props;
  EXPECT_EQ(Str(p, t::kMessageClass), "IPM.Note");
  EXPECT_EQ(Str(p, t::kSubject), "RE:  Quarterly numbers");
  EXPECT_EQ(Str(p, t::kSubjectPrefix), "RE: ");
  EXPECT_EQ(Str(p, t::kNormalizedSubject), "Quarterly numbers");
  EXPECT_EQ(Str(p, t::kConversationTopic), "Quarterly numbers");
  EXPECT_EQ(Str(p, t::kInternetMessageId), "<plain-1@example.org>");
  EXPECT_EQ(Str(p, t::kInReplyToId), "<orig-0@example.net>");
  EXPECT_EQ(Str(p, t::kInternetReferences), "<root@example.net> <orig-0@example.net>");
  EXPECT_EQ(Bytes(p, t::kConversationIndex)->size(), 22u);
  // Untracked: the conversation is the topic's, so a reply on the same topic joins it.
  EXPECT_EQ(Bytes(p, t::kConversationId),
            Bytes(ImportText("Subject: quarterly NUMBERS\n\nx\n").props, t::kConversationId));
}

TEST(ImportEnvelope, OriginatorFillsSentRepresentingAndSender) {
  auto m = Load("plain.eml");
  const auto& p = m.props;
  for (const auto& g : {t::kSentRepresenting, t::kSender}) {
    EXPECT_EQ(Str(p, g.name), "Doe, Alice");
    EXPECT_EQ(Str(p, g.address_type), "SMTP");
    EXPECT_EQ(Str(p, g.email), "alice@example.org");
    EXPECT_EQ(Str(p, g.smtp), "alice@example.org");
    EXPECT_EQ(Bytes(p, g.entry_id), OneOffEntryId("Doe, Alice", "alice@example.org"));
    EXPECT_EQ(Bytes(p, g.search_key), SmtpSearchKey("alice@example.org"));
  }
}

TEST(ImportEnvelope, SenderHeaderFillsOnlyTheSenderGroup) {
  auto m = ImportText("From: Boss <boss@example.com>\nSender: Assistant <pa@example.com>\n\nx\n");
  EXPECT_EQ(Str(m.props, t::kSentRepresenting.email), "boss@example.com");
  EXPECT_EQ(Str(m.props, t::kSender.email), "pa@example.com");
  EXPECT_EQ(Str(m.props, t::kSender.name), "Assistant");
}

TEST(ImportEnvelope, RecipientRowsCarryEveryColumnOutlookWrites) {
  auto m = Load("plain.eml");
  ASSERT_EQ(m.recipients.size(), 3u);
  const auto& bob = m.recipients[0].Props();
  EXPECT_EQ(Int(bob, t::kRecipientType), 1);
  EXPECT_EQ(Str(bob, t::kDisplayName), "Bob Builder");
  EXPECT_EQ(Str(bob, t::kEmailAddress), "bob@example.net");
  EXPECT_EQ(Str(bob, t::kSmtpAddress), "bob@example.net");
  EXPECT_EQ(Str(bob, t::kAddressType), "SMTP");
  EXPECT_EQ(Bytes(bob, t::kEntryId), OneOffEntryId("Bob Builder", "bob@example.net"));
  EXPECT_EQ(Bytes(bob, t::kRecipientEntryId), Bytes(bob, t::kEntryId));
  EXPECT_EQ(Bytes(bob, t::kRecordKey),
            OneOffEntryId("Bob Builder", "bob@example.net", kOneOffRecordKeyFlags));
  EXPECT_EQ(Bytes(bob, t::kSearchKey), Ascii(std::string("SMTP:BOB@EXAMPLE.NET") + '\0'));
  EXPECT_EQ(Int(bob, t::kObjectType), 6);
  EXPECT_EQ(Int(bob, t::kDisplayType), 0);
  EXPECT_EQ(Str(bob, t::kDisplayNamePrintable), "Bob Builder");
  EXPECT_EQ(Bool(bob, t::kResponsibility), true);
  EXPECT_EQ(Int(bob, t::kRecipientFlags), 1);
  EXPECT_EQ(Int(bob, t::kRecipientOrder), 0);
  // A bare address is its own display name; Cc rows are type 2 and keep counting the order.
  EXPECT_EQ(Str(m.recipients[1].Props(), t::kDisplayName), "carol@example.net");
  EXPECT_EQ(Int(m.recipients[2].Props(), t::kRecipientType), 2);
  EXPECT_EQ(Int(m.recipients[2].Props(), t::kRecipientOrder), 2);
  EXPECT_EQ(Str(m.props, t::kDisplayTo), "Bob Builder; carol@example.net");
  EXPECT_EQ(Str(m.props, t::kDisplayCc), "dave@example.com");
  EXPECT_EQ(Str(m.props, t::kDisplayBcc), "");
}

TEST(ImportEnvelope, GroupsDuplicatesBccAndSemicolons) {
  auto m = ImportText(
      "To: undisclosed-recipients:;\nTo: Team: a@x.org, \"Smith; John\" <j@x.org>;\n"
      "Bcc: hidden@x.org\nCc: =?utf-8?q?Ren=C3=A9e?= <r@x.org>\n\nx\n");
  ASSERT_EQ(m.recipients.size(), 4u);  // the empty group adds nothing, both To lines merge
  EXPECT_EQ(Str(m.props, t::kDisplayTo), "a@x.org; Smith, John");
  EXPECT_EQ(Str(m.recipients[1].Props(), t::kDisplayName), "Smith; John");  // only the joined list changes it
  EXPECT_EQ(Str(m.props, t::kDisplayCc),
            "Ren\xC3\xA9"
            "e");
  EXPECT_EQ(Str(m.recipients[2].Props(), t::kDisplayNamePrintable), "r@x.org");  // no 7-bit form of the name
  EXPECT_EQ(Int(m.recipients[3].Props(), t::kRecipientType), 3);
  EXPECT_EQ(Str(m.props, t::kDisplayBcc), "hidden@x.org");
}

TEST(ImportEnvelope, ReplyToBecomesNamesAndAFlatEntryList) {
  auto m = Load("headers_charsets.eml");
  EXPECT_EQ(Str(m.props, t::kReplyRecipientNames), "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD;other@example.ru");
  auto list = Bytes(m.props, t::kReplyRecipientEntries);
  ASSERT_TRUE(list);
  EXPECT_EQ(*list, FlatEntryList({OneOffEntryId("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", "reply@example.ru"),
                                  OneOffEntryId("other@example.ru", "other@example.ru")}));
}

TEST(ImportEnvelope, DatesComeFromDateAndTheNewestReceived) {
  auto m = Load("plain.eml");
  EXPECT_EQ(Time(m.props, t::kClientSubmitTime), FileTime(2024, 1, 2, 8, 58, 30));
  // The topmost Received (10:00:07 +0100), not the older one below it.
  EXPECT_EQ(Time(m.props, t::kMessageDeliveryTime), FileTime(2024, 1, 2, 9, 0, 7));
  EXPECT_EQ(Time(m.props, t::kCreationTime), Time(m.props, t::kMessageDeliveryTime));
  EXPECT_EQ(Time(m.props, t::kLastModificationTime), Time(m.props, t::kMessageDeliveryTime));
  // Without Received the delivery time is the Date.
  auto alt = Load("alternative.eml");
  EXPECT_EQ(Time(alt.props, t::kMessageDeliveryTime), FileTime(2024, 1, 3, 12, 0, 0));
}

TEST(ImportEnvelope, WithoutAnyDateTheFallbackTimeIsUsed) {
  ImportOptions o;
  o.fallback_time = FileTime(2020, 5, 6, 7, 8, 9);
  auto m = Load("missing_headers.eml", o);
  EXPECT_EQ(Time(m.props, t::kClientSubmitTime), o.fallback_time);
  EXPECT_EQ(Time(m.props, t::kMessageDeliveryTime), o.fallback_time);
  // A date that is none (unreadable, the Unix epoch, before 1601) counts as missing: the newest Received,
  // else the fallback.
  const std::string received = "Received: by x; Tue, 02 Jan 2024 10:00:07 +0000\n";
  for (const char* date :
       {"yesterday-ish", "Thu, 01 Jan 1970 00:00:00 +0000", "Mon, 01 Mar 1500 12:00:00 +0000"}) {
    auto bad = ImportText(std::string("Date: ") + date + "\n\nx\n", false, o);
    EXPECT_EQ(Time(bad.props, t::kClientSubmitTime), o.fallback_time) << date;
    auto with_received = ImportText(received + "Date: " + date + "\n\nx\n", false, o);
    EXPECT_EQ(Time(with_received.props, t::kClientSubmitTime), FileTime(2024, 1, 2, 10, 0, 7)) << date;
  }
}

TEST(ImportEnvelope, ImportancePriorityAndSensitivity) {
  struct Case {
    const char* headers;
    int32_t importance;
  };
  const Case cases[] = {
      {"X-Priority: 1 (Highest)\n", 2},
      {"X-Priority: 3\n", 1},
      {"X-Priority: 5 (Lowest)\n", 0},
      {"Importance: low\n", 0},
      {"Importance: HIGH\n", 2},
      {"X-MSMail-Priority: High\n", 2},
      {"Priority: urgent\n", 2},
      {"Priority: non-urgent\n", 0},
      {"", 1},
      {"Importance: Low\nX-Priority: 1\n", 0},  // Importance wins
  };
  for (const auto& c : cases) {
    auto m = ImportText(std::string(c.headers) + "\nx\n");
    EXPECT_EQ(Int(m.props, t::kImportance), c.importance) << c.headers;
  }
  EXPECT_EQ(Int(ImportText("Priority: urgent\n\nx\n").props, t::kPriority), 1);
  EXPECT_EQ(Int(ImportText("\nx\n").props, t::kPriority), 0);
  EXPECT_EQ(Int(Load("plain.eml").props, t::kSensitivity), 2);
  EXPECT_EQ(Int(ImportText("Sensitivity: Company-Confidential\n\nx\n").props, t::kSensitivity), 3);
  EXPECT_EQ(Int(ImportText("\nx\n").props, t::kSensitivity), 0);  // always written
}

TEST(ImportEnvelope, ReceiptRequests) {
  auto m = Load("plain.eml");
  EXPECT_EQ(Bool(m.props, t::kReadReceiptRequested), true);
  EXPECT_EQ(Str(m.props, t::kReadReceipt.email), "alice@example.org");
  EXPECT_EQ(Bool(m.props, t::kOriginatorDeliveryReportRequested), false);
  auto r = ImportText("Return-Receipt-To: x@y.z\n\nx\n");
  EXPECT_EQ(Bool(r.props, t::kReadReceiptRequested), false);
  EXPECT_EQ(Bool(r.props, t::kOriginatorDeliveryReportRequested), true);
}

TEST(ImportEnvelope, TransportHeadersKeepTheBlockAsReceivedWithCrlf) {
  auto m = Load("plain.eml");
  std::string h = *Str(m.props, t::kTransportMessageHeaders);
  EXPECT_EQ(h.rfind("Return-Path: <alice@example.org>\r\nReceived: from mx2.example.net", 0), 0u);
  EXPECT_NE(h.find("References: <root@example.net>\r\n <orig-0@example.net>\r\n"),
            std::string::npos);                   // folded
  EXPECT_EQ(h.substr(h.size() - 4), "\r\n\r\n");  // ends with the empty line
  EXPECT_EQ(h.find("\n\n"), std::string::npos);
  EXPECT_EQ(h.find("Hello Bob"), std::string::npos);  // the body is not part of it
}

TEST(ImportEnvelope, OtherHeadersBecomeNamedInternetHeaderProperties) {
  auto m = Load("plain.eml");
  EXPECT_EQ(InternetHeader(m, "x-mailer"), "Velmora Test Mailer 1.0");
  for (const auto& np : m.named) {
    EXPECT_EQ(np.guid, t::kPsInternetHeaders);
    EXPECT_NE(np.name, "received");  // excluded ([MS-OXCMAIL] 2.2.3.2.29)
    EXPECT_NE(np.name, "subject");   // mapped to its own property
    EXPECT_NE(np.name, "return-path");
  }
  ImportOptions off;
  off.internet_header_properties = false;
  EXPECT_TRUE(Load("plain.eml", off).named.empty());
}

// --- Charsets in headers

TEST(ImportCharsets, EncodedWordsInManyCharsetsBecomeUnicode) {
  auto m = Load("headers_charsets.eml");
  EXPECT_EQ(Str(m.props, t::kSubject),
            "\xE4\xBC\x9A\xE8\xAD\xB0\xE3\x81\xAE\xE4\xBB\xB6\xE3\x81\xAB\xE3\x81\xA4"
            "\xE3\x81\x84\xE3\x81\xA6");  // 会議の件について (ISO-2022-JP)
  EXPECT_EQ(Str(m.props, t::kSentRepresenting.name),
            "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2");  // KOI8-R
  ASSERT_EQ(m.recipients.size(), 3u);
  EXPECT_EQ(Str(m.recipients[0].Props(), t::kDisplayName),
            "Fr\xC3\xA9"
            "d\xC3\xA9ric \xE2\x82\xAC"
            "uro");  // 1252
  EXPECT_EQ(Str(m.recipients[1].Props(), t::kDisplayName),
            "\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E");
  EXPECT_EQ(Str(m.recipients[2].Props(), t::kDisplayName), "\xE5\xBC\xA0\xE4\xBC\x9F");  // GB2312
  EXPECT_EQ(Str(m.props, t::kBody), "\xE6\x9C\xAC\xE6\x96\x87\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82\r\n\r\n");
  EXPECT_EQ(Int(m.props, t::kInternetCodepage), 50220);
}

TEST(ImportCharsets, UndeclaredEightBitHeadersAreDecodedNotDropped) {
  auto m = Load("eightbit_headers.eml");
  EXPECT_EQ(Str(m.props, t::kSubject),
            "\xC3\x9Cn\xC3\xAF"
            "c\xC3\xB6"
            "d\xC3\xA9 subject \xE2\x80\x94 raw UTF-8");
  EXPECT_EQ(Str(m.props, t::kSentRepresenting.name), "J\xC3\xBCrgen Gro\xC3\x9F");  // Latin-1 bytes
  EXPECT_EQ(Str(m.recipients.at(0).Props(), t::kDisplayName), "Zo\xC3\xAB");
  EXPECT_EQ(InternetHeader(m, "x-custom"), "caf\xC3\xA9");
  std::string h = *Str(m.props, t::kTransportMessageHeaders);
  EXPECT_NE(h.find("From: J\xC3\xBCrgen Gro\xC3\x9F"), std::string::npos);
  EXPECT_NE(h.find("Subject: \xC3\x9Cn\xC3\xAF"), std::string::npos);  // UTF-8 line stays UTF-8 beside it
}

TEST(ImportCharsets, MalformedEncodedWordsAreReadAsFarAsTheyGo) {
  // No blank before an encoded word, an unknown charset, Q with a raw space, a word split mid-character.
  auto m = ImportText("Subject: Re:=?utf-8?q?caf=C3=A9?= =?x-unknown?q?abc?= =?iso-8859-1?q?a b?=\n\nx\n");
  std::string s = *Str(m.props, t::kSubject);
  EXPECT_NE(s.find("caf\xC3\xA9"), std::string::npos) << s;
  EXPECT_TRUE(g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr));
  // Encoded words glued together without a blank: GMime reads what it can; the text stays valid.
  auto glued = *Str(ImportText("Subject: =?utf-8?b?w6k=?==?utf-8?b?w6k=?=\n\nx\n").props, t::kSubject);
  EXPECT_EQ(glued.rfind("\xC3\xA9", 0), 0u) << glued;
  EXPECT_TRUE(g_utf8_validate(glued.data(), static_cast<gssize>(glued.size()), nullptr));
}

// --- Bodies

TEST(ImportBody, AlternativeGivesHtmlAndItsPlainTwin) {
  auto m = Load("alternative.eml");
  EXPECT_EQ(Str(m.props, t::kBody),
            "Gr\xC3\xBC\xC3\x9F"
            "e aus K\xC3\xB6ln!\r\nZweite Zeile.");
  std::string html = BytesAsString(m.props, t::kHtml);
  EXPECT_EQ(html.rfind("<html><body><p>Gr\xC3\xBC\xC3\x9F"
                       "e aus <b>K\xC3\xB6ln</b>",
                       0),
            0u);  // QP undone
  EXPECT_EQ(m.props.at(t::kHtml).type, pst::kPtypBinary);
  EXPECT_EQ(Int(m.props, t::kInternetCodepage), 65001);
  EXPECT_TRUE(m.attachments.empty());  // the alternatives are not attachments
}

TEST(ImportBody, HtmlOnlyKeepsItsBytesAndGetsADerivedPlainBody) {
  auto m = Load("html_only.eml");
  std::string html = BytesAsString(m.props, t::kHtml);
  EXPECT_NE(html.find("Caf\xE9"), std::string::npos);  // still ISO-8859-1 bytes
  EXPECT_EQ(Int(m.props, t::kInternetCodepage), 28591);
  std::string body = *Str(m.props, t::kBody);
  EXPECT_EQ(body.rfind("Caf\xC3\xA9 & cr\xC3\xA8me\r\n\r\nPrice: 5\xE2\x82\xAC", 0), 0u) << body;
  EXPECT_EQ(body.find("Ignored title"), std::string::npos);
}

TEST(ImportBody, PlainTextLineEndsBecomeCrlf) {
  auto lf = ImportText("Subject: x\n\na\nb\n");
  auto crlf = ImportText("Subject: x\n\na\nb\n", true);
  EXPECT_EQ(Str(lf.props, t::kBody), "a\r\nb\r\n");
  EXPECT_EQ(Str(crlf.props, t::kBody), "a\r\nb\r\n");
}

TEST(ImportBody, NonBodyTextPartsAndCalendarsAreAttachments) {
  auto m = Load("attachments.eml");
  EXPECT_EQ(Str(m.props, t::kBody), "See the files.");
  EXPECT_TRUE(AttachmentNamed(m, "ATT00002.txt"));  // the second inline text after the body
  auto cal = Load("calendar.eml");
  EXPECT_EQ(Str(cal.props, t::kBody), "You are invited.");
  ASSERT_EQ(cal.attachments.size(), 1u);
  EXPECT_EQ(Str(cal.attachments[0].props, t::kAttachMimeTag), "text/calendar");
  EXPECT_EQ(Str(cal.attachments[0].props, t::kAttachLongFilename), "ATT00001.ics");
}

TEST(ImportBody, AttachmentDispositionDisqualifiesATextPart) {
  auto m = ImportText(
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n"
      "Content-Disposition: attachment; filename=a.txt\n\nnot the body\n--b\nContent-Type: text/plain\n\n"
      "the body\n--b--\n");
  EXPECT_EQ(Str(m.props, t::kBody), "the body");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Str(m.attachments[0].props, t::kAttachLongFilename), "a.txt");
}

// --- Attachments

TEST(ImportAttachments, ByValueAttachmentsCarryNamesTypeAndData) {
  auto m = Load("attachments.eml");
  ASSERT_EQ(m.attachments.size(), 5u);
  const auto* pdf = AttachmentNamed(m, "Quarterly Report 2023.pdf");  // disposition filename beats type name
  ASSERT_TRUE(pdf);
  EXPECT_EQ(Int(*pdf, t::kAttachMethod), 1);
  EXPECT_EQ(Str(*pdf, t::kAttachFilename), "Quarte~1.pdf");
  EXPECT_EQ(Str(*pdf, t::kAttachExtension), ".pdf");
  EXPECT_EQ(Str(*pdf, t::kDisplayName), "Quarterly Report 2023.pdf");
  EXPECT_EQ(Str(*pdf, t::kAttachMimeTag), "application/pdf");
  EXPECT_EQ(Int(*pdf, t::kAttachFlags), 0);
  EXPECT_EQ(Bool(*pdf, t::kAttachmentHidden), false);
  EXPECT_EQ(Int(*pdf, t::kRenderingPosition), -1);
  auto data = Bytes(*pdf, t::kAttachDataBinary);
  ASSERT_TRUE(data);
  ASSERT_EQ(data->size(), 9u + 1024 + 7);  // "%PDF-1.4\n" + 4 x 256 bytes + "\n%%EOF\n", base64 undone
  for (int i = 0; i < 1024; ++i) ASSERT_EQ((*data)[9 + i], i % 256);
  EXPECT_TRUE(AttachmentNamed(m,
                              "\xE6\x8A\xA5\xE5\x91\x8A \xC3\xBC"
                              "ber.txt"));       // RFC 2231 UTF-8
  EXPECT_TRUE(AttachmentNamed(m, "notes.txt"));  // path removed
  const auto* unnamed = AttachmentNamed(m, "ATT00001.dat");
  ASSERT_TRUE(unnamed);
  EXPECT_EQ(Bytes(*unnamed, t::kAttachDataBinary), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
  const auto* text = AttachmentNamed(m,
                                     "\xE6\x8A\xA5\xE5\x91\x8A \xC3\xBC"
                                     "ber.txt");
  EXPECT_EQ(Str(*text, t::kTextAttachmentCharset), "utf-8");
}

TEST(ImportAttachments, Rfc2231ContinuationsAndEncodedWordNames) {
  auto m = Load("rfc2231.eml");
  ASSERT_EQ(m.attachments.size(), 2u);
  EXPECT_EQ(Str(m.attachments[0].props, t::kAttachLongFilename),
            "R\xC3\xA9sum\xC3\xA9 de la r\xC3\xA9union.txt");
  EXPECT_EQ(Str(m.attachments[1].props, t::kAttachLongFilename), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.doc");
}

TEST(ImportAttachments, ImagesTheHtmlShowsAreInlineOthersAreNot) {
  auto m = Load("inline_image.eml");
  ASSERT_EQ(m.attachments.size(), 4u);
  const auto* logo = AttachmentNamed(m, "logo.png");
  ASSERT_TRUE(logo);
  EXPECT_EQ(Str(*logo, t::kAttachContentId), "logo.png@01D0");
  EXPECT_EQ(Int(*logo, t::kAttachFlags), 4);
  EXPECT_EQ(Bool(*logo, t::kAttachmentHidden), true);
  const auto& gif = m.attachments[1].props;  // referenced by Content-Location
  EXPECT_EQ(Str(gif, t::kAttachContentLocation), "header.gif");
  EXPECT_EQ(Int(gif, t::kAttachFlags), 4);
  const auto* unused = AttachmentNamed(m, "unused.png");  // in multipart/related but never shown
  ASSERT_TRUE(unused);
  EXPECT_EQ(Int(*unused, t::kAttachFlags), 0);
  EXPECT_EQ(Bool(*unused, t::kAttachmentHidden), false);
  EXPECT_EQ(Int(*AttachmentNamed(m, "archive.zip"), t::kAttachFlags), 0);
  EXPECT_EQ(Str(m.props, t::kBody), "Logo:");
}

TEST(ImportAttachments, AttachedMessagesAreEmbeddedToAnyDepthAllowed) {
  auto m = Load("embedded.eml");
  ASSERT_EQ(m.attachments.size(), 1u);
  const auto& outer = m.attachments[0];
  EXPECT_EQ(Int(outer.props, t::kAttachMethod), 5);
  EXPECT_EQ(Str(outer.props, t::kDisplayName), "Forwarded original");
  EXPECT_EQ(Str(outer.props, t::kAttachMimeTag), "message/rfc822");
  EXPECT_EQ(outer.props.count(t::kAttachDataBinary), 0u);
  ASSERT_TRUE(outer.embedded);
  const auto& inner = *outer.embedded;
  EXPECT_EQ(Str(inner.props, t::kSubject), "Forwarded original");
  EXPECT_EQ(Str(inner.props, t::kSentRepresenting.name), "Inner Sender");
  EXPECT_EQ(Str(inner.props, t::kBody), "inner body");
  EXPECT_EQ(Time(inner.props, t::kClientSubmitTime), FileTime(2023, 12, 31, 23, 0, 0));
  ASSERT_EQ(inner.attachments.size(), 2u);
  EXPECT_EQ(Str(inner.attachments[0].props, t::kAttachLongFilename), "inner.txt");
  ASSERT_TRUE(inner.attachments[1].embedded);
  EXPECT_EQ(Str(inner.attachments[1].embedded->props, t::kSubject), "Innermost");

  ImportOptions shallow;
  shallow.max_embedded_depth = 1;
  auto cut = Load("embedded.eml", shallow);
  const auto& level1 = *cut.attachments.at(0).embedded;
  const auto& kept = level1.attachments.at(1);  // level 2 stays an .eml file
  EXPECT_FALSE(kept.embedded);
  EXPECT_EQ(Int(kept.props, t::kAttachMethod), 1);
  EXPECT_EQ(Str(kept.props, t::kAttachMimeTag), "message/rfc822");
  std::string eml = BytesAsString(kept.props, t::kAttachDataBinary);
  EXPECT_NE(eml.find("Subject: Innermost"), std::string::npos);

  // The same with CRLF line ends, where GMime's byte count for what it wrote runs ahead of the bytes.
  auto crlf = ImportText(ReadFile(TestDataPath("embedded.eml")), true, shallow);
  const auto& kept_crlf = crlf.attachments.at(0).embedded->attachments.at(1).props.at(t::kAttachDataBinary);
  auto loaded = kept_crlf.Load();
  ASSERT_TRUE(loaded.ok()) << loaded.status().message();
  EXPECT_EQ(loaded->size(), kept_crlf.Size());
  EXPECT_NE(std::string(loaded->begin(), loaded->end()).find("innermost text"), std::string::npos);
}

TEST(ImportAttachments, UnencodedContentEndsBeforeTheDelimiterLineEnd) {
  // The CRLF before "--b" belongs to the delimiter: neither its CR nor its LF is content (RFC 2046 5.1.1).
  const std::string text =
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nbody\n--b\n"
      "Content-Type: application/octet-stream; name=a.bin\n\nline one\nline two\n--b\n"
      "Content-Type: application/octet-stream; name=b.bin\n\nends with a blank line\n\n--b--\n";
  for (bool crlf : {false, true}) {
    auto m = ImportText(text, crlf);
    std::string eol = crlf ? "\r\n" : "\n";
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(BytesAsString(m.attachments[0].props, t::kAttachDataBinary), "line one" + eol + "line two")
        << crlf;
    EXPECT_EQ(BytesAsString(m.attachments[1].props, t::kAttachDataBinary), "ends with a blank line" + eol)
        << crlf;
    EXPECT_EQ(Str(m.props, t::kBody), "body");
  }
}

// --- S/MIME and OpenPGP

TEST(ImportSecure, ClearSignedKeepsTheSignedEntityByteForByte) {
  auto m = Load("smime_signed.eml");
  EXPECT_EQ(Str(m.props, t::kMessageClass), "IPM.Note.SMIME.MultipartSigned");
  EXPECT_EQ(Str(m.props, t::kBody), "Signed text.");  // body from the signed content
  EXPECT_EQ(BytesAsString(m.props, t::kHtml), "<p>Signed text.</p>");
  ASSERT_EQ(m.attachments.size(), 1u);
  const auto& a = m.attachments[0].props;
  EXPECT_EQ(Str(a, t::kAttachMimeTag), "multipart/signed");
  EXPECT_EQ(Str(a, t::kAttachLongFilename), "smime.p7m");
  std::string file = ReadFile(TestDataPath("smime_signed.eml"));
  size_t body = file.find("\r\n\r\n") + 4;
  std::string expected =
      "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\";\r\n"
      "\tmicalg=sha-256; boundary=\"sig-b\"\r\n\r\n" +
      file.substr(body);
  EXPECT_EQ(BytesAsString(a, t::kAttachDataBinary), expected);
}

TEST(ImportSecure, EncryptedIsOneOpaqueAttachmentWithoutBody) {
  auto m = Load("smime_encrypted.eml");
  EXPECT_EQ(Str(m.props, t::kMessageClass), "IPM.Note.SMIME");
  EXPECT_EQ(m.props.count(t::kBody), 0u);
  EXPECT_EQ(m.props.count(t::kHtml), 0u);
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Str(m.attachments[0].props, t::kAttachMimeTag), "application/pkcs7-mime");
  EXPECT_EQ(Str(m.attachments[0].props, t::kAttachLongFilename), "smime.p7m");
  EXPECT_EQ(Bytes(m.attachments[0].props, t::kAttachDataBinary)->size(), 57u);  // one base64 line decoded
  EXPECT_EQ(InternetHeader(m, "content-type"),
            "application/pkcs7-mime; smime-type=enveloped-data; name=\"smime.p7m\"");
}

TEST(ImportSecure, OpenPgpSignedIsAnOrdinaryNoteWithTheSignatureAttached) {
  auto m = Load("pgp_signed.eml");
  EXPECT_EQ(Str(m.props, t::kMessageClass), "IPM.Note");
  EXPECT_EQ(Str(m.props, t::kBody), "PGP signed text.");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(Str(m.attachments[0].props, t::kAttachLongFilename), "signature.asc");
}

// --- Missing pieces

TEST(ImportMissing, NoHeadersAtAllStillGivesAUsableNote) {
  auto m = Load("missing_headers.eml");
  EXPECT_EQ(Str(m.props, t::kMessageClass), "IPM.Note");
  EXPECT_EQ(m.props.count(t::kSubject), 0u);
  EXPECT_EQ(m.props.count(t::kConversationTopic), 0u);
  EXPECT_EQ(m.props.count(t::kSentRepresenting.name), 0u);  // nothing invented
  EXPECT_EQ(m.props.count(t::kInternetMessageId), 0u);
  EXPECT_EQ(Str(m.props, t::kDisplayTo), "");
  EXPECT_TRUE(m.recipients.empty());
  EXPECT_EQ(Str(m.props, t::kBody), "Nothing but a body.\r\n");
  EXPECT_EQ(Int(m.props, t::kImportance), 1);
}

TEST(ImportMissing, SenderWithoutFromFillsBothGroups) {
  auto m = ImportText("Sender: only@example.com\n\nx\n");
  EXPECT_EQ(Str(m.props, t::kSentRepresenting.email), "only@example.com");
  EXPECT_EQ(Str(m.props, t::kSender.email), "only@example.com");
}

TEST(ImportBody, EveryLineEndBecomesCrlf) {
  EXPECT_EQ(ToCrlf(""), "");
  EXPECT_EQ(ToCrlf("no end"), "no end");
  EXPECT_EQ(ToCrlf("a\nb\r\nc\rd\r\r\n\n"), "a\r\nb\r\nc\r\nd\r\n\r\n\r\n");
  EXPECT_EQ(ToCrlf("\n\rx\r"), "\r\n\r\nx\r\n");
  EXPECT_EQ(ToCrlf(std::string("a\0b\nc\0", 6)), std::string("a\0b\r\nc\0", 7));  // a NUL is text
}

// Long ASCII runs are passed over a word at a time: what follows one, at any offset, is still checked, and a
// NUL byte is as invalid inside a run as glib says.
TEST(ImportBody, Utf8CheckSeesEveryByteAfterAnAsciiRun) {
  for (size_t run : {0u, 7u, 8u, 9u, 16u, 23u}) {
    SCOPED_TRACE(run);
    const std::string ascii(run, 'a');
    EXPECT_TRUE(IsValidUtf8(ascii + "caf\xC3\xA9" + ascii));
    EXPECT_FALSE(IsValidUtf8(ascii + "\xC3" + ascii));
    EXPECT_FALSE(IsValidUtf8(ascii + "\xFF"));
    EXPECT_FALSE(IsValidUtf8(ascii + std::string(1, '\0') + ascii));
  }
}

// --- Header blocks and files of odd shapes

TEST(ImportOddHeaders, ALineOfBlanksOrABadNameInsideTheBlockKeepsTheBlock) {
  auto folded = ImportText(
      "Subject: Quarterly report\n \t\n for the north region\nDate: Tue, 02 Jan 2024 09:00:00 +0000\n"
      "Message-ID: <q@x>\n\nbody\n",
      true);
  EXPECT_EQ(Str(folded.props, t::kSubject), "Quarterly report for the north region");
  EXPECT_EQ(Str(folded.props, t::kInternetMessageId), "<q@x>");
  EXPECT_EQ(Time(folded.props, t::kClientSubmitTime), FileTime(2024, 1, 2, 9, 0, 0));
  EXPECT_EQ(Str(folded.props, t::kBody), "body\r\n");
  auto named =
      ImportText("From: a@x\nX-Spam Status: No\nTo: b@x\nSubject: s\nMessage-ID: <n@x>\n\nbody\n", true);
  EXPECT_EQ(Str(named.props, t::kSubject), "s");
  EXPECT_EQ(Str(named.props, t::kInternetMessageId), "<n@x>");
  EXPECT_EQ(named.recipients.size(), 1u);
  EXPECT_EQ(Str(named.props, t::kBody), "body\r\n");
  // Followed by neither, such a line still ends the block.
  auto sentence = ImportText("Subject: s\nIn article <1@x> Ann wrote:\n> quoted\n", true);
  EXPECT_EQ(Str(sentence.props, t::kBody), "In article <1@x> Ann wrote:\r\n> quoted\r\n");
}

TEST(ImportOddFiles, CrLineEndsAndUtf16FilesAreReadAsText) {
  const std::string text = "Subject: caf\xC3\xA9\r\nMessage-ID: <u@x>\r\n\r\nline 1\r\nline 2\r\n";
  std::string cr = text;
  for (size_t at; (at = cr.find("\r\n")) != std::string::npos;) cr.erase(at + 1, 1);
  gsize n = 0;
  gchar* le =
      g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-16LE", "UTF-8", nullptr, &n, nullptr);
  const std::string utf16le = "\xFF\xFE" + std::string(le, n);
  g_free(le);
  gchar* be =
      g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-16BE", "UTF-8", nullptr, &n, nullptr);
  const std::string utf16be(be, n);  // without a byte-order mark
  g_free(be);
  for (const std::string& file : {cr, utf16le, utf16be}) {
    auto m = ImportText(file);
    EXPECT_EQ(Str(m.props, t::kSubject), "caf\xC3\xA9");
    EXPECT_EQ(Str(m.props, t::kInternetMessageId), "<u@x>");
    EXPECT_EQ(Str(m.props, t::kBody), "line 1\r\nline 2\r\n");
  }
}

// --- Leading junk

TEST(ImportLeadingJunk, BlankAndMboxFromLinesBeforeTheHeaderAreSkippedAtAnyLength) {
  // Short junk, and junk that runs past the first few kilobytes the start is looked for in.
  for (size_t blank_lines : {size_t{0}, size_t{2}, size_t{3000}}) {
    std::string text;
    for (size_t i = 0; i < blank_lines; ++i) text += "\r\n";
    text += "From alice@example.com Mon Mar  3 10:00:00 2025\nSubject: Found\n\nbody\n";
    auto m = ImportText(text);
    EXPECT_EQ(Str(m.props, t::kSubject), "Found") << blank_lines;
  }
}

}  // namespace
}  // namespace velmora::mime
