// The time zone of a meeting as Outlook keeps it ([MS-OXOCAL] 2.2.1.39 - 2.2.1.43): the TZREG-shaped
// PidLidTimeZoneStruct and the TZDEFINITION blob of PidLidAppointmentTimeZoneDefinitionStartDisplay /
// EndDisplay, both made from an iCalendar VTIMEZONE (libical).
#pragma once

#include <libical/ical.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::mime {

// One year's rule: offsets in minutes as Windows counts them (UTC = local + bias) and the two switch dates
// as SYSTEMTIME "day-in-month" patterns (wYear 0, wDay 1-5 with 5 = last). No daylight saving when
// `daylight_month` is 0.
struct ZoneRule {
  int32_t bias = 0;
  int32_t standard_bias = 0;
  int32_t daylight_bias = 0;
  uint16_t year = 0;  // the year from which the rule holds
  uint16_t standard_month = 0, standard_week = 0, standard_weekday = 0, standard_hour = 0,
           standard_minute = 0;
  uint16_t daylight_month = 0, daylight_week = 0, daylight_weekday = 0, daylight_hour = 0,
           daylight_minute = 0;
};

// The rule in force from the latest STANDARD / DAYLIGHT observances of `vtimezone`; nullopt when it has
// no STANDARD observance with an offset.
std::optional<ZoneRule> RuleOfVtimezone(icalcomponent* vtimezone);

// PidLidTimeZoneStruct: 48 bytes.
std::vector<uint8_t> TimeZoneStruct(const ZoneRule& rule);

// A TZDEFINITION holding `rule` as its one, effective, rule; `key_name` names the zone.
std::vector<uint8_t> TimeZoneDefinition(const ZoneRule& rule, const std::string& key_name);

}  // namespace velmora::mime
