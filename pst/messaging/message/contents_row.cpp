#include "pst/messaging/message/contents_row.h"

#include "pst/tags/prop_tags.h"

namespace velmora::pst {

using namespace tags;

const std::array<PropTag, 20> kContentsTemplateColumns = {
    kImportance,          kMessageClass,         kSensitivity, kSubject,
    kClientSubmitTime,    kSentRepresentingName, kMessageToMe, kMessageCcMe,
    kConversationTopic,   kConversationIndex,    kDisplayCc,   kDisplayTo,
    kMessageDeliveryTime, kMessageFlags,         kMessageSize, kMessageStatus,
    kItemTemporaryFlags,  kSecureSubmitFlags,    kTagLtpRowId, kTagLtpRowVer};

namespace {
bool IsRowBookkeeping(PropTag tag) {
  return tag == kTagLtpRowId || tag == kTagLtpRowVer;
}

const PropValue* Matching(const PropertyMap& props, PropTag column) {
  auto it = props.find(TagId(column));
  if (it == props.end() || it->second.type != TagType(column)) return nullptr;
  return &it->second;
}
}  // namespace

Result<TableRow> MakeContentsRow(Nid nid, PropertyMap message_props, std::span<const PropTag> columns) {
  TableRow row;
  row.row_id = nid;
  for (PropTag column : columns) {
    if (IsRowBookkeeping(column)) continue;
    auto it = message_props.find(TagId(column));
    if (it == message_props.end() || it->second.type != TagType(column)) {
      if (column == kMessageStatus) row.cells[column] = PropValue::Int32(0);
      continue;
    }
    PropValue& value = it->second;
    if (value.stream) {
      PST_ASSIGN_OR_RETURN(auto bytes, value.Load());
      row.cells[column] = PropValue::Raw(value.type, std::move(bytes));
    } else {
      row.cells[column] = std::move(value);  // the map is ours: its values move into the row
    }
  }
  return row;
}

bool RowAgreesWithProps(const TableRow& row, const PropertyMap& message_props,
                        std::span<const PropTag> columns) {
  size_t expected_cells = 0;
  for (PropTag column : columns) {
    if (IsRowBookkeeping(column)) continue;
    const PropValue* value = Matching(message_props, column);
    auto cell = row.cells.find(column);
    if (!value) {
      if (cell == row.cells.end()) continue;
      // A status the PC lacks reads as 0 in the row.
      if (column == kMessageStatus && cell->second.AsInt32() == 0) {
        ++expected_cells;
        continue;
      }
      return false;
    }
    if (cell == row.cells.end()) return false;
    auto want = value->Load();
    auto have = cell->second.Load();
    if (!want.ok() || !have.ok() || *want != *have) return false;
    ++expected_cells;
  }
  size_t other_cells = 0;
  for (const auto& [tag, v] : row.cells)
    if (!IsRowBookkeeping(tag)) ++other_cells;
  return other_cells == expected_cells;
}

}  // namespace velmora::pst
