#include "mime/calendar_meeting.h"

#include <libical/ical.h>

#include <array>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>

#include "fsutil/program_text.h"
#include "mime/addresses.h"
#include "mime/body_choice.h"
#include "mime/body_props.h"
#include "mime/calendar_timezone.h"
#include "mime/charset.h"
#include "mime/gobject_ptr.h"
#include "mime/prop_tags.h"
#include "mime/spill_store.h"

namespace velmora::mime {
namespace {

using pst::PropValue;
using Guid = std::array<uint8_t, 16>;

// PSETID_Appointment {00062002-0000-0000-C000-000000000046}.
constexpr Guid kPsetidAppointment{0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// PSETID_Meeting {6ED8DA90-450B-101B-98DA-00AA003F1305}.
constexpr Guid kPsetidMeeting{0x90, 0xDA, 0xD8, 0x6E, 0x0B, 0x45, 0x1B, 0x10,
                              0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05};
// PSETID_Common {00062008-0000-0000-C000-000000000046}.
constexpr Guid kPsetidCommon{0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Named properties ([MS-OXPROPS]): set and long ID.
namespace lid {
constexpr uint32_t kAppointmentSequence = 0x8201;
constexpr uint32_t kBusyStatus = 0x8205;
constexpr uint32_t kLocation = 0x8208;
constexpr uint32_t kAppointmentStartWhole = 0x820D;
constexpr uint32_t kAppointmentEndWhole = 0x820E;
constexpr uint32_t kAppointmentDuration = 0x8213;
constexpr uint32_t kAppointmentSubType = 0x8215;  // all-day
constexpr uint32_t kAppointmentStateFlags = 0x8217;
constexpr uint32_t kResponseStatus = 0x8218;
constexpr uint32_t kAppointmentReplyTime = 0x8220;
constexpr uint32_t kIntendedBusyStatus = 0x8224;
constexpr uint32_t kTimeZoneStruct = 0x8233;
constexpr uint32_t kTimeZoneDescription = 0x8234;
constexpr uint32_t kToAttendeesString = 0x823B;
constexpr uint32_t kCcAttendeesString = 0x823C;
constexpr uint32_t kTimeZoneDefinitionStartDisplay = 0x825E;
constexpr uint32_t kTimeZoneDefinitionEndDisplay = 0x825F;
// PSETID_Meeting
constexpr uint32_t kAttendeeCriticalChange = 0x0001;
constexpr uint32_t kWhere = 0x0002;
constexpr uint32_t kGlobalObjectId = 0x0003;
constexpr uint32_t kOwnerCriticalChange = 0x001A;
constexpr uint32_t kCleanGlobalObjectId = 0x0023;
constexpr uint32_t kAppointmentMessageClass = 0x0024;
constexpr uint32_t kMeetingType = 0x0026;
// PSETID_Common
constexpr uint32_t kCommonStart = 0x8516;
constexpr uint32_t kCommonEnd = 0x8517;
}  // namespace lid

// PidTag properties of meeting messages ([MS-OXOCAL] 2.2.4).
constexpr uint16_t kStartDate = 0x0060;
constexpr uint16_t kEndDate = 0x0061;
constexpr uint16_t kResponseRequested = 0x0063;

constexpr int32_t kAsfMeeting = 0x1, kAsfReceived = 0x2, kAsfCanceled = 0x4;
constexpr int32_t kBusyFree = 0, kBusyTentative = 1, kBusyBusy = 2;
constexpr int32_t kRespNotResponded = 5;
constexpr int32_t kMtgRequest = 0x1;
constexpr size_t kMaxCalendarBytes = 4u << 20;  // a larger calendar part stays an attachment

constexpr uint8_t kGlobalIdPrefix[16] = {0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00,
                                         0x74, 0xC5, 0xB7, 0x10, 0x1A, 0x82, 0xE0, 0x08};

struct IcalFree {
  void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using IcalPtr = std::unique_ptr<icalcomponent, IcalFree>;

void AddNamed(pst::MessageContent& out, const Guid& set, uint32_t id, PropValue value) {
  pst::NamedProperty p;
  p.guid = set;
  p.lid = id;
  p.value = std::move(value);
  out.named.push_back(std::move(p));
}

std::optional<uint64_t> FileTimeOf(icaltimetype t) {
  if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t)) return std::nullopt;
  // Floating times and dates have no zone: they are read as UTC.
  time_t unix_time = t.zone && !t.is_date ? icaltime_as_timet_with_zone(t, t.zone) : icaltime_as_timet(t);
  constexpr int64_t kEpochDelta = 11644473600;  // seconds from 1601 to 1970
  constexpr int64_t kLatest = 910692730085;     // 30828-01-01 in Unix seconds
  auto s = static_cast<int64_t>(unix_time);
  if (s < -kEpochDelta || s > kLatest) return std::nullopt;
  return static_cast<uint64_t>(s + kEpochDelta) * 10000000u;
}

std::string StripMailto(const char* value) {
  std::string v = OrEmpty(value);
  if (v.size() >= 7 && g_ascii_strncasecmp(v.c_str(), "mailto:", 7) == 0) v.erase(0, 7);
  return v;
}

Mailbox MailboxOf(icalproperty* p) {
  Mailbox m;
  m.address = StripMailto(icalproperty_get_value_as_string(p));
  icalparameter* cn = icalproperty_get_first_parameter(p, ICAL_CN_PARAMETER);
  m.name = cn ? OrEmpty(icalparameter_get_cn(cn)) : std::string();
  if (m.name.empty()) m.name = m.address;
  return m;
}

icalparameter_partstat PartStat(icalproperty* p) {
  icalparameter* ps = icalproperty_get_first_parameter(p, ICAL_PARTSTAT_PARAMETER);
  return ps ? icalparameter_get_partstat(ps) : ICAL_PARTSTAT_NONE;
}

bool IsHex(const std::string& s) {
  for (char c : s)
    if (!g_ascii_isxdigit(c)) return false;
  return true;
}

std::string MethodOf(icalcomponent* calendar, GMimePart* part) {
  icalproperty_method m = icalcomponent_get_method(calendar);
  if (m == ICAL_METHOD_REQUEST) return "REQUEST";
  if (m == ICAL_METHOD_CANCEL) return "CANCEL";
  if (m == ICAL_METHOD_REPLY) return "REPLY";
  if (m != ICAL_METHOD_NONE) return "";
  std::string p = OrEmpty(g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "method"));
  for (char& c : p) c = static_cast<char>(g_ascii_toupper(c));
  return p;
}

// The message class for `method`; "" when the calendar is no meeting message Outlook makes one of.
std::string MeetingClass(const std::string& method, icalcomponent* event) {
  if (method == "REQUEST") return "IPM.Schedule.Meeting.Request";
  if (method == "CANCEL") return "IPM.Schedule.Meeting.Canceled";
  if (method != "REPLY") return "";
  // A reply carries the answering attendee.
  for (icalproperty* a = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY); a;
       a = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY)) {
    switch (PartStat(a)) {
      case ICAL_PARTSTAT_ACCEPTED:
        return "IPM.Schedule.Meeting.Resp.Pos";
      case ICAL_PARTSTAT_DECLINED:
        return "IPM.Schedule.Meeting.Resp.Neg";
      case ICAL_PARTSTAT_TENTATIVE:
        return "IPM.Schedule.Meeting.Resp.Tent";
      default:
        break;
    }
  }
  return "";
}

void SetTimeZone(icalcomponent* event, icaltimetype start, pst::MessageContent& out) {
  icalproperty* p = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
  icalparameter* tzid = p ? icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER) : nullptr;
  std::string name = tzid ? OrEmpty(icalparameter_get_tzid(tzid)) : std::string();
  std::optional<ZoneRule> rule;
  if (start.zone && !icaltime_is_utc(start)) {
    rule = RuleOfVtimezone(icaltimezone_get_component(const_cast<icaltimezone*>(start.zone)));
    // A zone the calendar only names comes from zone files, whose history differs between systems (the
    // system's full history on Linux, rules from 1970 in libical's own files): its rule is taken as always
    // in force, as the one rule kept here is.
    icalcomponent* calendar = icalcomponent_get_parent(event);
    if (rule && !(calendar && icalcomponent_get_timezone(calendar, name.c_str()))) rule->year = 1601;
  }
  if (!rule) {
    rule = ZoneRule{};  // UTC, floating times and zones nobody described
    rule->year = 1601;
    if (name.empty()) name = "UTC";
  }
  AddNamed(out, kPsetidAppointment, lid::kTimeZoneDescription, PropValue::String(name));
  AddNamed(out, kPsetidAppointment, lid::kTimeZoneStruct, PropValue::Binary(TimeZoneStruct(*rule)));
  std::vector<uint8_t> definition = TimeZoneDefinition(*rule, name);
  AddNamed(out, kPsetidAppointment, lid::kTimeZoneDefinitionStartDisplay, PropValue::Binary(definition));
  AddNamed(out, kPsetidAppointment, lid::kTimeZoneDefinitionEndDisplay, PropValue::Binary(definition));
}

void SetAttendees(icalcomponent* event, pst::MessageContent& out) {
  std::vector<Mailbox> required, optional;
  for (icalproperty* a = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY); a;
       a = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY)) {
    icalparameter* role = icalproperty_get_first_parameter(a, ICAL_ROLE_PARAMETER);
    bool opt = role && icalparameter_get_role(role) == ICAL_ROLE_OPTPARTICIPANT;
    (opt ? optional : required).push_back(MailboxOf(a));
  }
  AddNamed(out, kPsetidAppointment, lid::kToAttendeesString, PropValue::String(JoinDisplayNames(required)));
  AddNamed(out, kPsetidAppointment, lid::kCcAttendeesString, PropValue::String(JoinDisplayNames(optional)));
}

}  // namespace

std::vector<uint8_t> GlobalObjectIdFromUid(const std::string& uid, uint16_t year, uint8_t month,
                                           uint8_t day) {
  std::vector<uint8_t> id;
  static const std::string kPrefixHex = "040000008200E00074C5B7101A82E008";
  if (uid.size() >= 82 && uid.size() % 2 == 0 && IsHex(uid) &&
      g_ascii_strncasecmp(uid.c_str(), kPrefixHex.c_str(), kPrefixHex.size()) == 0) {
    for (size_t i = 0; i < uid.size(); i += 2)
      id.push_back(
          static_cast<uint8_t>(g_ascii_xdigit_value(uid[i]) * 16 + g_ascii_xdigit_value(uid[i + 1])));
  } else {
    id.assign(kGlobalIdPrefix, kGlobalIdPrefix + 16);
    id.insert(id.end(), 4 + 8 + 8, 0);  // instance date, creation time, reserved
    static const std::string kThirdParty = "vCal-Uid";
    std::vector<uint8_t> data(kThirdParty.begin(), kThirdParty.end());
    data.insert(data.end(), {0x01, 0x00, 0x00, 0x00});
    data.insert(data.end(), uid.begin(), uid.end());
    data.push_back(0);
    auto size = static_cast<uint32_t>(data.size());
    for (int i = 0; i < 4; ++i) id.push_back(static_cast<uint8_t>(size >> (8 * i)));
    id.insert(id.end(), data.begin(), data.end());
  }
  id[16] = static_cast<uint8_t>(year >> 8);
  id[17] = static_cast<uint8_t>(year);
  id[18] = month;
  id[19] = day;
  return id;
}

GMimePart* FindCalendarPart(GMimeObject* root, int max_depth) {
  GMimePart* declared_attachment = nullptr;
  std::vector<std::pair<GMimeObject*, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [object, depth] = stack.back();
    stack.pop_back();
    if (!object || depth > max_depth) continue;
    if (GMIME_IS_MULTIPART(object)) {
      if (GMIME_IS_MULTIPART_ENCRYPTED(object)) continue;
      auto* mp = GMIME_MULTIPART(object);
      for (int i = g_mime_multipart_get_count(mp) - 1; i >= 0; --i)
        stack.push_back({g_mime_multipart_get_part(mp, i), depth + 1});
      continue;
    }
    if (!GMIME_IS_PART(object) || MimeTypeOf(object) != "text/calendar") continue;
    if (!IsAttachmentDisposition(object)) return GMIME_PART(object);
    if (!declared_attachment && g_mime_object_get_content_type_parameter(object, "method"))
      declared_attachment = GMIME_PART(object);
  }
  return declared_attachment;
}

bool MapMeeting(GMimePart* part, pst::MessageContent& out) {
  bool truncated = false;
  std::string bytes = ReadPartContent(part, kMaxCalendarBytes, &truncated);
  if (truncated) {
    out.notes.push_back("the calendar part is larger than 4 MiB; it is kept as an attachment");
    return false;
  }
  const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  std::string text = DecodeBodyText(bytes, charset ? charset : "utf-8");
  // libical's zones are shared and loaded on first use, without locks where libical is built without
  // pthreads (Windows): one meeting at a time (they are few). A build of libical may abort on a parse
  // error; ours reports it instead. Zones a calendar names without describing them come from the system's
  // zone files; on Windows from the ones installed beside the program.
  static std::mutex libical;
  std::lock_guard<std::mutex> lock(libical);
  static const bool set_up = [] {
    icalerror_set_errors_are_fatal(0);
    std::string zones = fsutil::BundledDataFolder("zoneinfo");
    if (!zones.empty()) set_zone_directory(zones.c_str());
    return true;
  }();
  (void)set_up;
  IcalPtr calendar(icalparser_parse_string(text.c_str()));
  icalcomponent* event = calendar && icalcomponent_isa(calendar.get()) == ICAL_VCALENDAR_COMPONENT
                             ? icalcomponent_get_first_component(calendar.get(), ICAL_VEVENT_COMPONENT)
                             : nullptr;
  icaltimetype start = event ? icalcomponent_get_dtstart(event) : icaltime_null_time();
  std::optional<uint64_t> start_time = event ? FileTimeOf(start) : std::nullopt;
  if (!start_time) {
    out.notes.push_back("the calendar part could not be read as an event; it is kept as an attachment");
    return false;
  }
  std::string klass = MeetingClass(MethodOf(calendar.get(), part), event);
  if (klass.empty()) return false;  // a published event or another method: a file like any other

  icaltimetype end = icalcomponent_get_dtend(event);
  uint64_t end_time = FileTimeOf(end).value_or(0);
  if (end_time < *start_time) end_time = *start_time + (start.is_date ? 864000000000ull : 0);
  const bool cancel = klass.ends_with(".Canceled");
  const bool request = klass.ends_with(".Request");
  out.props[tag::kMessageClass] = PropValue::String(klass);
  out.props[kStartDate] = PropValue::Time(*start_time);
  out.props[kEndDate] = PropValue::Time(end_time);
  if (request) out.props[kResponseRequested] = PropValue::Bool(true);

  AddNamed(out, kPsetidAppointment, lid::kAppointmentStartWhole, PropValue::Time(*start_time));
  AddNamed(out, kPsetidAppointment, lid::kAppointmentEndWhole, PropValue::Time(end_time));
  AddNamed(out, kPsetidCommon, lid::kCommonStart, PropValue::Time(*start_time));
  AddNamed(out, kPsetidCommon, lid::kCommonEnd, PropValue::Time(end_time));
  AddNamed(out, kPsetidAppointment, lid::kAppointmentDuration,
           PropValue::Int32(static_cast<int32_t>((end_time - *start_time) / 600000000u)));
  AddNamed(out, kPsetidAppointment, lid::kAppointmentSubType, PropValue::Bool(start.is_date != 0));
  std::string location = OrEmpty(icalcomponent_get_location(event));
  AddNamed(out, kPsetidAppointment, lid::kLocation, PropValue::String(location));
  AddNamed(out, kPsetidMeeting, lid::kWhere, PropValue::String(location));
  AddNamed(out, kPsetidAppointment, lid::kAppointmentStateFlags,
           PropValue::Int32(kAsfMeeting | kAsfReceived | (cancel ? kAsfCanceled : 0)));
  AddNamed(out, kPsetidAppointment, lid::kResponseStatus, PropValue::Int32(kRespNotResponded));
  const bool free = icalcomponent_get_first_property(event, ICAL_TRANSP_PROPERTY) &&
                    icalproperty_get_transp(icalcomponent_get_first_property(event, ICAL_TRANSP_PROPERTY)) ==
                        ICAL_TRANSP_TRANSPARENT;
  AddNamed(out, kPsetidAppointment, lid::kBusyStatus,
           PropValue::Int32(cancel || free ? kBusyFree
                            : request      ? kBusyTentative
                                           : kBusyBusy));
  AddNamed(out, kPsetidAppointment, lid::kIntendedBusyStatus,
           PropValue::Int32(cancel || free ? kBusyFree : kBusyBusy));
  AddNamed(out, kPsetidAppointment, lid::kAppointmentSequence,
           PropValue::Int32(std::max(0, icalcomponent_get_sequence(event))));
  AddNamed(out, kPsetidMeeting, lid::kAppointmentMessageClass, PropValue::String("IPM.Appointment"));
  AddNamed(out, kPsetidMeeting, lid::kMeetingType, PropValue::Int32(kMtgRequest));
  icaltimetype stamp = icalcomponent_get_dtstamp(event);
  if (auto t = FileTimeOf(stamp)) {
    AddNamed(out, kPsetidMeeting, lid::kOwnerCriticalChange, PropValue::Time(*t));
    AddNamed(out, kPsetidMeeting, lid::kAttendeeCriticalChange, PropValue::Time(*t));
    if (!request && !cancel)
      AddNamed(out, kPsetidAppointment, lid::kAppointmentReplyTime, PropValue::Time(*t));
  }

  std::string uid = OrEmpty(icalcomponent_get_uid(event));
  if (!uid.empty()) {
    icaltimetype instance = icalcomponent_get_recurrenceid(event);
    bool one = !icaltime_is_null_time(instance);
    AddNamed(out, kPsetidMeeting, lid::kGlobalObjectId,
             PropValue::Binary(GlobalObjectIdFromUid(uid, one ? static_cast<uint16_t>(instance.year) : 0,
                                                     one ? static_cast<uint8_t>(instance.month) : 0,
                                                     one ? static_cast<uint8_t>(instance.day) : 0)));
    AddNamed(out, kPsetidMeeting, lid::kCleanGlobalObjectId, PropValue::Binary(GlobalObjectIdFromUid(uid)));
  }
  SetTimeZone(event, start, out);
  SetAttendees(event, out);

  // The organizer is who the request comes from (a calendar service may send it on the organizer's behalf).
  if (icalproperty* org = icalcomponent_get_first_property(event, ICAL_ORGANIZER_PROPERTY);
      org && (request || cancel)) {
    Mailbox organizer = MailboxOf(org);
    if (!organizer.address.empty()) SetAddressGroup(out.props, tag::kSentRepresenting, organizer);
  }
  if (!out.props.count(tag::kSubject) || out.props[tag::kSubject].AsString().value_or("").empty()) {
    if (const char* summary = icalcomponent_get_summary(event); summary && *summary) {
      out.props[tag::kSubject] = PropValue::String(summary);
      out.props[tag::kNormalizedSubject] = PropValue::String(summary);
    }
  }
  if (!out.props.count(tag::kBody)) {
    if (const char* description = icalcomponent_get_description(event); description && *description)
      out.props[tag::kBody] = PropValue::String(ToCrlf(description));
  }
  return true;
}

}  // namespace velmora::mime
