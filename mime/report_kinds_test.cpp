// Delivery and read reports of our own making (tests/messages/reports): the class says what they report,
// the recipients they report on are the recipient table with their status, the status part is no file.
#include "mime/report_kinds.h"

#include <gtest/gtest.h>

#include "mime/prop_tags.h"
#include "mime/test_support.h"

namespace velmora::mime {
namespace {

using namespace testing;  // NOLINT: the value helpers

pst::MessageContent LoadReport(const std::string& name) {
  return LoadTestMessage("reports", name);
}

TEST(ReportKinds, DeliveryReportsListTheRecipientsOfTheirWorstAction) {
  auto ndr = LoadReport("report-delay-then-failure.eml");
  EXPECT_EQ(Str(ndr.props, tag::kMessageClass), "REPORT.IPM.Note.NDR");
  EXPECT_EQ(Str(ndr.props, 0x0049), "Spring offsite");
  // The report's own To, then the two failed recipients; the delayed one is not what this report is about.
  ASSERT_EQ(ndr.recipients.size(), 3u);
  auto first = ndr.recipients[1].Props();
  EXPECT_EQ(Str(first, tag::kEmailAddress), "nobody@example.net");
  EXPECT_EQ(Str(first, 0x0C1B),
            "<mail.example.net #5.1.1 smtp; 550 5.1.1 <nobody@example.net>: Recipient address rejected: User "
            "unknown>");
  EXPECT_EQ(Int(first, 0x0C04), 0);
  auto second = ndr.recipients[2].Props();
  EXPECT_EQ(Str(second, tag::kDisplayName), "Gone Person");
  EXPECT_EQ(Str(second, 0x0C1B), "<#5.2.1 smtp; 550 mailbox disabled>");
  // The human-readable part is the body; the headers of the original stay; the status part is no file.
  EXPECT_NE(Str(ndr.props, tag::kBody).value_or("").find("could not"), std::string::npos);
  ASSERT_EQ(ndr.attachments.size(), 1u);
  EXPECT_EQ(Str(ndr.attachments[0].props, tag::kAttachMimeTag), "text/rfc822-headers");

  auto dr = LoadReport("report-delivered.eml");
  EXPECT_EQ(Str(dr.props, tag::kMessageClass), "REPORT.IPM.Note.DR");
  ASSERT_EQ(dr.recipients.size(), 2u);
  EXPECT_TRUE(Time(dr.recipients[1].Props(), 0x0010).has_value());
  EXPECT_EQ(ReportClassSuffix("delayed"), "Delayed.DR");
}

TEST(ReportKinds, ReadReportsSayWhetherTheMessageWasRead) {
  auto read = LoadReport("report-read.eml");
  EXPECT_EQ(Str(read.props, tag::kMessageClass), "REPORT.IPM.Note.IPNRN");
  EXPECT_EQ(Str(read.props, 0x1046), "<offsite-1@example.org>");
  EXPECT_EQ(Str(read.props, 0x0081), "manual-action/MDN-sent-manually");
  auto unread = LoadReport("report-deleted-unread.eml");
  EXPECT_EQ(Str(unread.props, tag::kMessageClass), "REPORT.IPM.Note.IPNNRN");
  // A report whose status part says nothing readable stays a note, with a line in the report.
  auto odd = ImportText(
      "From: a@example.com\nSubject: x\nContent-Type: multipart/report; boundary=b\n\n--b\n"
      "Content-Type: text/plain\n\nhello\n--b\nContent-Type: message/delivery-status\n\ngarbage\n--b--\n",
      true);
  EXPECT_EQ(Str(odd.props, tag::kMessageClass), "IPM.Note");
  EXPECT_EQ(odd.notes.size(), 1u);
}

}  // namespace
}  // namespace velmora::mime
