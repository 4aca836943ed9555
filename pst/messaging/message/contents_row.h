// A message's row in its folder's contents table ([MS-PST] 2.4.4.5): the columns of the table copy the
// message PC's values, and Outlook lists messages from these rows, not from the PCs. The folder layer adds
// or replaces a row with MakeContentsRow after WriteMessage, so the two always agree.
//
// Template columns written by Outlook 2007/2010 (the 0x60E template, [MS-PST] 2.4.4.5.1):
//   00170003 Importance · 001A001F MessageClass · 00360003 Sensitivity · 0037001F Subject ·
//   00390040 ClientSubmitTime · 0042001F SentRepresentingName · 0057000B MessageToMe · 0058000B MessageCcMe ·
//   0070001F ConversationTopic · 00710102 ConversationIndex · 0E03001F DisplayCc · 0E04001F DisplayTo ·
//   0E060040 MessageDeliveryTime · 0E070003 MessageFlags · 0E080003 MessageSize · 0E170003 MessageStatus ·
//   10970003 ItemTemporaryFlags · 65C60003 SecureSubmitFlags · 67F20003 LtpRowId · 67F30003 LtpRowVer
// A folder made by a newer Outlook has more columns; any column whose property the PC holds with the same
// type is copied, the others stay absent (cell-existence bit clear), as Outlook leaves them.
#pragma once

#include <array>
#include <span>

#include "pst/ltp/table_context.h"

namespace velmora::pst {

extern const std::array<PropTag, 20> kContentsTemplateColumns;

// The row for message `nid` in a contents table with `columns`. Streamed values are loaded (a column value
// such as a long PidTagDisplayTo is small enough to hold); PidTagMessageStatus is 0 when the PC lacks it.
Result<TableRow> MakeContentsRow(Nid nid, PropertyMap message_props, std::span<const PropTag> columns);

// Whether the row agrees with the PC: every column the PC holds has an equal cell, and no other cells exist.
// For consistency checks and tests.
bool RowAgreesWithProps(const TableRow& row, const PropertyMap& message_props,
                        std::span<const PropTag> columns);

}  // namespace velmora::pst
