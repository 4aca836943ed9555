#include "mime/calendar_timezone.h"

namespace velmora::mime {
namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

// SYSTEMTIME as a yearly switch: wYear 0, wMonth, wDayOfWeek, wDay (the week, 5 = last), wHour, wMinute.
void PutSwitch(std::vector<uint8_t>& out, uint16_t month, uint16_t weekday, uint16_t week, uint16_t hour,
               uint16_t minute) {
  for (uint16_t v : {uint16_t{0}, month, weekday, week, hour, minute, uint16_t{0}, uint16_t{0}})
    Put16(out, v);
}

void PutRule(std::vector<uint8_t>& out, const ZoneRule& r) {
  Put32(out, r.bias);
  Put32(out, r.standard_bias);
  Put32(out, r.daylight_bias);
}

void PutStandard(std::vector<uint8_t>& out, const ZoneRule& r) {
  if (r.daylight_month == 0) return PutSwitch(out, 0, 0, 0, 0, 0);
  PutSwitch(out, r.standard_month, r.standard_weekday, r.standard_week, r.standard_hour, r.standard_minute);
}

void PutDaylight(std::vector<uint8_t>& out, const ZoneRule& r) {
  if (r.daylight_month == 0) return PutSwitch(out, 0, 0, 0, 0, 0);
  PutSwitch(out, r.daylight_month, r.daylight_weekday, r.daylight_week, r.daylight_hour, r.daylight_minute);
}

struct Observance {
  icalcomponent* component = nullptr;
  icaltimetype start = icaltime_null_time();
};

// The observance of `kind` that starts last.
Observance Latest(icalcomponent* vtimezone, icalcomponent_kind kind) {
  Observance best;
  for (icalcomponent* c = icalcomponent_get_first_component(vtimezone, kind); c;
       c = icalcomponent_get_next_component(vtimezone, kind)) {
    icalproperty* p = icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY);
    icaltimetype t = p ? icalproperty_get_dtstart(p) : icaltime_null_time();
    if (!best.component || icaltime_compare(t, best.start) > 0) best = {c, t};
  }
  return best;
}

std::optional<int> OffsetTo(icalcomponent* observance) {
  icalproperty* p = icalcomponent_get_first_property(observance, ICAL_TZOFFSETTO_PROPERTY);
  if (!p) return std::nullopt;
  return icalproperty_get_tzoffsetto(p);  // seconds east of UTC
}

// The switch date of an observance from its yearly RRULE (BYMONTH and one BYDAY such as 2SU or -1SU).
bool SwitchOf(const Observance& o, uint16_t& month, uint16_t& week, uint16_t& weekday, uint16_t& hour,
              uint16_t& minute) {
  icalproperty* p = icalcomponent_get_first_property(o.component, ICAL_RRULE_PROPERTY);
  if (!p) return false;
  icalrecurrencetype r = icalproperty_get_rrule(p);
  if (r.freq != ICAL_YEARLY_RECURRENCE || r.by_month[0] == ICAL_RECURRENCE_ARRAY_MAX ||
      r.by_day[0] == ICAL_RECURRENCE_ARRAY_MAX)
    return false;
  int m = r.by_month[0];
  int dow = static_cast<int>(icalrecurrencetype_day_day_of_week(r.by_day[0]));  // 1 = Sunday
  int pos = icalrecurrencetype_day_position(r.by_day[0]);
  if (m < 1 || m > 12 || dow < 1 || dow > 7) return false;
  if (pos == 0 && r.by_month_day[0] != ICAL_RECURRENCE_ARRAY_MAX) {
    // "BYDAY=SU;BYMONTHDAY=8,9,...,14": the week follows from the first day listed.
    pos = (r.by_month_day[0] - 1) / 7 + 1;
  }
  if (pos < 0 || pos > 4) pos = 5;  // the last such day of the month
  if (pos == 0) return false;
  month = static_cast<uint16_t>(m);
  week = static_cast<uint16_t>(pos);
  weekday = static_cast<uint16_t>(dow - 1);
  hour = static_cast<uint16_t>(o.start.hour);
  minute = static_cast<uint16_t>(o.start.minute);
  return true;
}

}  // namespace

std::optional<ZoneRule> RuleOfVtimezone(icalcomponent* vtimezone) {
  if (!vtimezone) return std::nullopt;
  Observance standard = Latest(vtimezone, ICAL_XSTANDARD_COMPONENT);
  Observance daylight = Latest(vtimezone, ICAL_XDAYLIGHT_COMPONENT);
  std::optional<int> standard_offset = standard.component ? OffsetTo(standard.component) : std::nullopt;
  if (!standard_offset) return std::nullopt;
  ZoneRule rule;
  rule.bias = -*standard_offset / 60;
  rule.year = static_cast<uint16_t>(standard.start.year > 1601 ? standard.start.year : 1601);
  std::optional<int> daylight_offset = daylight.component ? OffsetTo(daylight.component) : std::nullopt;
  if (daylight_offset &&
      SwitchOf(standard, rule.standard_month, rule.standard_week, rule.standard_weekday, rule.standard_hour,
               rule.standard_minute) &&
      SwitchOf(daylight, rule.daylight_month, rule.daylight_week, rule.daylight_weekday, rule.daylight_hour,
               rule.daylight_minute)) {
    rule.daylight_bias = -(*daylight_offset - *standard_offset) / 60;
  } else {
    rule.daylight_month = 0;
  }
  return rule;
}

std::vector<uint8_t> TimeZoneStruct(const ZoneRule& rule) {
  std::vector<uint8_t> out;
  PutRule(out, rule);
  Put16(out, 0);  // wStandardYear
  PutStandard(out, rule);
  Put16(out, 0);  // wDaylightYear
  PutDaylight(out, rule);
  return out;
}

std::vector<uint8_t> TimeZoneDefinition(const ZoneRule& rule, const std::string& key_name) {
  // The key name in UTF-16LE; zone names are ASCII in practice, other bytes are replaced.
  std::string key = key_name.substr(0, 260);
  std::vector<uint8_t> out{0x02, 0x01};
  Put16(out, static_cast<uint16_t>(6 + 2 * key.size()));  // reserved, cchKeyName, KeyName, cRules
  Put16(out, 0x0002);
  Put16(out, static_cast<uint16_t>(key.size()));
  for (char c : key) Put16(out, static_cast<unsigned char>(c) < 0x80 ? static_cast<uint16_t>(c) : u'_');
  Put16(out, 1);  // one rule
  out.push_back(0x02);
  out.push_back(0x01);
  Put16(out, 0x003E);
  Put16(out, 0x0002);  // TZRULE_FLAG_EFFECTIVE_TZREG
  Put16(out, rule.year);
  out.insert(out.end(), 14, 0);
  PutRule(out, rule);
  PutStandard(out, rule);
  PutDaylight(out, rule);
  return out;
}

}  // namespace velmora::mime
