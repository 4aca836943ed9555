// A message's recipient table: subnode 0x692 of the message node, a TC ([MS-PST] 2.3.4) with one row per
// recipient. Recipients have no PC of their own in a PST: the row is the whole recipient.
//
// Columns: the 14 columns of the recipient table template (templates::RecipientColumns(), [MS-PST] 2.4.5.2,
// observed on every Outlook file), plus every other property some row carries, typed as the first row that
// carries it; the table lists them in property-ID order.
//
//   tag        property                    filled in when the row lacks it
//   0C150003   PidTagRecipientType         1 (To)
//   0E0F000B   PidTagResponsibility        FALSE
//   0FF90102   PidTagRecordKey             -
//   0FFE0003   PidTagObjectType            6 (MAPI_MAILUSER)
//   0FFF0102   PidTagEntryId               -
//   3001001F   PidTagDisplayName           the e-mail address
//   3002001F   PidTagAddressType           -
//   3003001F   PidTagEmailAddress          -
//   300B0102   PidTagSearchKey             "TYPE:ADDRESS" upper-case, 8-bit, NUL-terminated (as Outlook
//   writes) 39000003   PidTagDisplayType           0 (DT_MAILUSER) 39FF001F   PidTag7BitDisplayName       -
//   3A40000B   PidTagSendRichInfo          FALSE
//   67F20003   PidTagLtpRowId              0x10 + 3 i for the i-th row (Outlook's numbering, sample of 200
//   rows) 67F30003   PidTagLtpRowVer             row id + 2 (as Outlook writes)
#pragma once

#include <array>
#include <string>
#include <vector>

#include "pst/content/message_content.h"
#include "pst/ltp/table_context.h"

namespace velmora::pst {

constexpr uint32_t RecipientRowId(size_t index) {
  return 0x10 + 3 * static_cast<uint32_t>(index);
}

// The table to write, its rows made one at a time from `recipients` (which must outlive the source).
// `fill_defaults` adds the values of the table above that a row lacks. A property whose type differs from
// its column's type is an error naming the recipient and the tag.
// With `scratch`, the rows are made in its row (kept from table to table, so that rows of the same cells cost
// no allocation), which must outlive the source.
Result<TableRowSource> RecipientRows(const std::vector<RecipientContent>& recipients, bool fill_defaults,
                                     TableScratch* scratch = nullptr);

// The recipients a stored table holds, in row order, without the row id and version cells.
std::vector<RecipientContent> RecipientsFromTable(const Table& table);

// PidTagDisplayTo / Cc / Bcc: the display names of the recipients of one type joined by "; " ([MS-OXOMSG]
// 2.2.1.7 - 2.2.1.9); a ';' inside a name becomes ',' so the list still splits.
std::string JoinDisplayNames(const std::vector<RecipientContent>& recipients, int32_t type);

}  // namespace velmora::pst
