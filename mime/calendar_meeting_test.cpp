// Calendar invitations in the shapes three calendar programs send them, a reply, and calendars that are
// not meetings or cannot be read.
#include "mime/calendar_meeting.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "mime/prop_tags.h"
#include "mime/test_support.h"

namespace velmora::mime {
namespace {

using namespace testing;  // NOLINT: the value helpers

const pst::NamedProperty* Named(const pst::MessageContent& m, uint8_t set_first_byte, uint32_t lid) {
  for (const auto& n : m.named)
    if (!n.is_string && n.lid == lid && n.guid[0] == set_first_byte) return &n;
  return nullptr;
}

std::string NamedString(const pst::MessageContent& m, uint8_t set, uint32_t lid) {
  const auto* n = Named(m, set, lid);
  return n ? n->value.AsString().value_or("") : "";
}

pst::MessageContent LoadMeeting(const std::string& name) {
  return LoadTestMessage("meetings", name);
}

constexpr uint8_t kAppointment = 0x02, kMeeting = 0x90;

// Class, times, place and attachments are read back by the independent readers (mail_kinds_test.cpp); here
// what they do not show: the time zone, the global object ID, organizer and attendees.
TEST(CalendarMeeting, InvitationsKeepTheirZoneIdAndPeople) {
  for (const char* file :
       {"meeting-google-like.eml", "meeting-outlook-like.eml", "meeting-thunderbird-like.eml"}) {
    auto m = LoadMeeting(file);
    EXPECT_EQ(Str(m.props, tag::kMessageClass), "IPM.Schedule.Meeting.Request") << file;
    EXPECT_NE(Named(m, kMeeting, 0x0023), nullptr) << file;
    EXPECT_TRUE(m.notes.empty()) << file;
  }
  // Outlook's own UID is its global object ID, hex-encoded; the Western European zone's rule is kept
  // (bias -60 minutes, daylight from the last Sunday of March).
  auto outlook = LoadMeeting("meeting-outlook-like.eml");
  auto goid = Named(outlook, kMeeting, 0x0003)->value.bytes;
  EXPECT_EQ(goid.size(), 56u);
  EXPECT_EQ(goid[20], 0xA0);
  EXPECT_EQ(NamedString(outlook, kAppointment, 0x8234), "W. Europe Standard Time");
  auto tz = Named(outlook, kAppointment, 0x8233)->value.bytes;
  ASSERT_EQ(tz.size(), 48u);
  EXPECT_EQ(static_cast<int32_t>(tz[0] | tz[1] << 8 | tz[2] << 16 | tz[3] << 24), -60);
  EXPECT_EQ(tz[32 + 2], 3);  // stDaylightDate.wMonth
  EXPECT_EQ(tz[32 + 6], 5);  // stDaylightDate.wDay: the last week
  EXPECT_EQ(NamedString(outlook, kAppointment, 0x823B), "Erik Sand");
  // New York: second Sunday of March, first Sunday of November.
  auto ny = Named(LoadMeeting("meeting-thunderbird-like.eml"), kAppointment, 0x8233)->value.bytes;
  EXPECT_EQ(ny[0], 0x2C);    // bias 300 minutes
  EXPECT_EQ(ny[14 + 6], 1);  // stStandardDate.wDay
  EXPECT_EQ(ny[32 + 6], 2);  // stDaylightDate.wDay
  // The organizer the calendar names is whom the meeting is from.
  auto google = LoadMeeting("meeting-google-like.eml");
  EXPECT_EQ(Str(google.props, tag::kSentRepresentingName), "Ana Lima");
  EXPECT_EQ(NamedString(google, kAppointment, 0x823C), "Chen Wei");
}

TEST(CalendarMeeting, GlobalObjectIdOfAThirdPartyUid) {
  // The documented example: a UID that is not Outlook's is wrapped after the "vCal-Uid" marker.
  auto id = GlobalObjectIdFromUid("{81412D3C-2A24-4E9D-B20E-11F7BBE92799}");
  gchar* b64 = g_base64_encode(id.data(), id.size());
  EXPECT_STREQ(
      b64,
      "BAAAAIIA4AB0xbcQGoLgCAAAAAAAAAAAAAAAAAAAAAAAAAAAMwAAAHZDYWwtVWlkAQAAAHs4MTQxMkQzQy0yQTI0LTRFOUQt"
      "QjIwRS0xMUY3QkJFOTI3OTl9AA==");
  g_free(b64);
  auto instance = GlobalObjectIdFromUid("x", 2024, 5, 7);
  EXPECT_EQ(instance[16], 0x07);
  EXPECT_EQ(instance[17], 0xE8);
  EXPECT_EQ(instance[18], 5);
  EXPECT_EQ(instance[19], 7);
}

std::string CalendarMail(const std::string& method, const std::string& calendar) {
  return "From: a@example.com\nTo: b@example.com\nSubject: Re: Sync\nMIME-Version: 1.0\n"
         "Content-Type: text/calendar; method=" +
         method + "\n\n" + calendar;
}

TEST(CalendarMeeting, RepliesCancellationsAndWhatStaysAFile) {
  const std::string event =
      "BEGIN:VEVENT\nUID:u1\nDTSTAMP:20240101T000000Z\nDTSTART:20240102T100000Z\n"
      "DTEND:20240102T110000Z\nORGANIZER:mailto:a@example.com\n";
  auto reply = ImportText(CalendarMail("REPLY", "BEGIN:VCALENDAR\nMETHOD:REPLY\n" + event +
                                                    "ATTENDEE;PARTSTAT=DECLINED:mailto:b@example.com\n"
                                                    "END:VEVENT\nEND:VCALENDAR\n"),
                          true);
  EXPECT_EQ(Str(reply.props, tag::kMessageClass), "IPM.Schedule.Meeting.Resp.Neg");
  auto cancel = ImportText(
      CalendarMail("CANCEL", "BEGIN:VCALENDAR\nMETHOD:CANCEL\n" + event + "END:VEVENT\nEND:VCALENDAR\n"),
      true);
  EXPECT_EQ(Str(cancel.props, tag::kMessageClass), "IPM.Schedule.Meeting.Canceled");
  EXPECT_TRUE(cancel.attachments.empty());
  // A published event is a file, not a meeting message.
  auto publish = ImportText(
      CalendarMail("PUBLISH", "BEGIN:VCALENDAR\nMETHOD:PUBLISH\n" + event + "END:VEVENT\nEND:VCALENDAR\n"),
      true);
  EXPECT_EQ(Str(publish.props, tag::kMessageClass), "IPM.Note");
  EXPECT_EQ(publish.attachments.size(), 1u);
  // A calendar that cannot be read stays an attachment, and the report says why.
  for (const std::string& broken :
       {std::string("not a calendar at all\n"),
        std::string("BEGIN:VCALENDAR\nMETHOD:REQUEST\nBEGIN:VEVENT\nUID:x\nDTSTART:garbage\n"
                    "END:VEVENT\nEND:VCALENDAR\n"),
        std::string("BEGIN:VCALENDAR\nMETHOD:REQUEST\nBEGIN:VEVENT\nDTSTART:2024")}) {
    auto m = ImportText(CalendarMail("REQUEST", broken), true);
    EXPECT_EQ(Str(m.props, tag::kMessageClass), "IPM.Note") << broken;
    EXPECT_EQ(m.attachments.size(), 1u) << broken;
    EXPECT_EQ(m.notes.size(), 1u) << broken;
  }
}

}  // namespace
}  // namespace velmora::mime
