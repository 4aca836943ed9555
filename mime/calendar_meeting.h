// Calendar invitations as meeting objects ([MS-OXCICAL], [MS-OXOCAL]): a message whose body alternative or
// part is text/calendar with METHOD REQUEST, CANCEL or REPLY becomes IPM.Schedule.Meeting.Request /
// .Canceled / .Resp.Pos|Neg|Tent with the meeting's start, end, location, organizer, attendees, global
// object ID and time zone. The iCalendar text is read with libical.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pst/content/message_content.h"

namespace velmora::mime {

// The text/calendar entity of the message: the first one that is not an attachment, else the first
// attachment declaring a method. Null when there is none.
GMimePart* FindCalendarPart(GMimeObject* root, int max_depth);

// Makes `out` the meeting object the calendar in `part` describes and returns true; `out` keeps what it
// was and false is returned when the calendar is not a meeting message (another method) or cannot be read,
// the latter with a line in `out.notes`.
bool MapMeeting(GMimePart* part, pst::MessageContent& out);

// PidLidGlobalObjectId from an iCalendar UID: the UID's own bytes when it is a hex-encoded Outlook ID,
// else the UID wrapped as a third-party ID. `instance` (year, month, day) marks one occurrence; zero for
// the whole meeting (then the result is also PidLidCleanGlobalObjectId).
std::vector<uint8_t> GlobalObjectIdFromUid(const std::string& uid, uint16_t year = 0, uint8_t month = 0,
                                           uint8_t day = 0);

}  // namespace velmora::mime
