#include "pst/messaging/message/recipient_table.h"

#include <algorithm>
#include <memory>

#include "pst/content/table_templates.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

using namespace tags;

namespace {

std::string StringOf(const PropertyMap& props, PropTag tag) {
  auto it = props.find(TagId(tag));
  if (it == props.end()) return {};
  return it->second.AsString().value_or(std::string());
}

// Adds what `row` lacks of the defaults; true when it added any.
bool AddDefaults(PropertyMap& row) {
  // A default is made only when it is missing: most rows have them all.
  bool added = false;
  auto set_default = [&row, &added](PropTag tag, auto make) {
    if (row.find(TagId(tag)) != row.end()) return;
    row.emplace(TagId(tag), make());
    added = true;
  };
  set_default(kRecipientType, [] { return PropValue::Int32(kRecipientTo); });
  set_default(kResponsibility, [] { return PropValue::Bool(false); });
  set_default(kObjectType, [] { return PropValue::Int32(kObjectTypeMailUser); });
  set_default(kDisplayType, [] { return PropValue::Int32(kDisplayTypeMailUser); });
  set_default(kSendRichInfo, [] { return PropValue::Bool(false); });
  // The rest follows from the address; rows that have these already (every row an importer makes) skip
  // reading it back.
  if (row.count(TagId(kDisplayName)) != 0 && row.count(TagId(kSearchKey)) != 0) return added;
  const std::string address = StringOf(row, kEmailAddress);
  const std::string type = StringOf(row, kAddressType);
  if (!address.empty()) set_default(kDisplayName, [&] { return PropValue::String(address); });
  if (!address.empty() && !type.empty()) {
    set_default(kSearchKey, [&] {
      std::string key = type + ":" + address;
      std::transform(key.begin(), key.end(), key.begin(),
                     [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
      std::vector<uint8_t> bytes(key.begin(), key.end());
      bytes.push_back(0);
      return PropValue::Binary(std::move(bytes));
    });
  }
  return added;
}

// `v` as a PtypInteger32 value, written into the bytes the cell already has when it can.
void SetInt32(PropValue& cell, int32_t v) {
  if (cell.type != kPtypInteger32 || cell.stream || cell.bytes.size() != 4) {
    cell = PropValue::Int32(v);
    return;
  }
  for (size_t k = 0; k < 4; ++k) cell.bytes[k] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k));
}

// `r`'s row made into the map the last row's were made into (TableScratch::row_props), without defaults:
// cells it had keep their buffers. Only a brief row made as the last one was overwrites it whole; any other
// row starts from an empty map.
PropertyMap& MakeRow(const RecipientContent& r, TableScratch& scratch) {
  PropertyMap& props = scratch.row_props;
  const auto made_by = r.is_brief() ? reinterpret_cast<void (*)()>(r.brief.make_row) : nullptr;
  if (!made_by || made_by != scratch.row_props_made_by) props.clear();
  scratch.row_props_made_by = made_by;
  if (r.is_brief()) {
    r.brief.make_row(r.brief, props);
  } else {
    props = r.props;
  }
  return props;
}

}  // namespace

Result<TableRowSource> RecipientRows(const std::vector<RecipientContent>& recipients, bool fill_defaults,
                                     TableScratch* scratch) {
  // One row for the whole table: a row is used until the next is asked for. It is the scratch's when there is
  // one (its owner writes one table at a time), else this table's own.
  std::shared_ptr<TableScratch> own = scratch ? nullptr : std::make_shared<TableScratch>();
  TableScratch* rows = scratch ? scratch : own.get();

  // The columns first, from the recipients as they are: the defaults only fill template columns. Brief
  // recipients made by one function carry the same tags and types, so the first of them stands for all.
  FlatMap<uint16_t, PropTag> column_of;  // property id -> column tag
  for (PropTag t : templates::RecipientColumns()) column_of[TagId(t)] = t;
  std::vector<decltype(RecipientContent::Brief::make_row)> seen;
  for (size_t i = 0; i < recipients.size(); ++i) {
    const RecipientContent& r = recipients[i];
    if (r.is_brief() && std::find(seen.begin(), seen.end(), r.brief.make_row) != seen.end()) continue;
    if (r.is_brief()) seen.push_back(r.brief.make_row);
    for (const auto& [id, value] : r.is_brief() ? MakeRow(r, *rows) : r.props) {
      if (id == TagId(kTagLtpRowId) || id == TagId(kTagLtpRowVer)) continue;  // ours to number
      auto [it, added] = column_of.try_emplace(id, MakeTag(id, value.type));
      if (TagType(it->second) != value.type)
        return Status::InvalidArgument("recipient " + std::to_string(i) + ": property " +
                                       Hex(MakeTag(id, value.type)) + " does not fit column " +
                                       Hex(it->second));
    }
  }

  TableRowSource source;
  for (auto& [id, tag] : column_of) source.columns.push_back(tag);
  source.count = recipients.size();
  source.row_id = [](size_t i) { return RecipientRowId(i); };
  // Each row is made when it is written and dropped at the next, so a message To 100,000 people holds
  // its recipients once, not again as table rows.
  source.row = [&recipients, fill_defaults, column_of = std::move(column_of), rows,
                own = std::move(own)](size_t i) -> Result<const TableRow*> {
    TableRow& row = rows->row;
    std::vector<PropTag>& tags = rows->tags;
    // The cells' values go to the row below by swapping, so the buffers go round.
    PropertyMap& props = MakeRow(recipients[i], *rows);
    // A row with defaults added holds keys the next row made the same way may lack: it starts afresh.
    if (fill_defaults && AddDefaults(props)) rows->row_props_made_by = nullptr;
    row.row_id = RecipientRowId(i);
    tags.clear();
    for (auto& [id, value] : props) {
      if (id == TagId(kTagLtpRowId) || id == TagId(kTagLtpRowVer)) continue;
      auto column = column_of.find(id);  // a default's column is a template column, of the default's type
      if (column == column_of.end() || TagType(column->second) != value.type)
        return Status::InvalidArgument("recipient " + std::to_string(i) + ": property " +
                                       Hex(MakeTag(id, value.type)) + " has no column of its type");
      tags.push_back(column->second);
    }
    tags.push_back(kTagLtpRowId);
    tags.push_back(kTagLtpRowVer);
    std::sort(tags.begin(), tags.end());
    // Rows made by one function have the same cells: the last row's cells then take the new values in
    // place, and a row costs no tree nodes of its own.
    const bool same_cells = std::equal(tags.begin(), tags.end(), row.cells.begin(), row.cells.end(),
                                       [](PropTag t, const auto& cell) { return cell.first == t; });
    if (!same_cells) {
      row.cells.clear();
      for (PropTag t : tags) row.cells.emplace_hint(row.cells.end(), t, PropValue());
    }
    auto cell = row.cells.begin();
    for (auto& [id, value] : props) {
      if (id == TagId(kTagLtpRowId) || id == TagId(kTagLtpRowVer)) continue;
      while (TagId(cell->first) != id) ++cell;  // the row-id and row-ver cells, filled below
      std::swap(cell->second, value);
      ++cell;
    }
    SetInt32(row.cells[kTagLtpRowId], static_cast<int32_t>(row.row_id));
    SetInt32(row.cells[kTagLtpRowVer], static_cast<int32_t>(row.row_id + 2));
    return &row;
  };
  return source;
}

std::vector<RecipientContent> RecipientsFromTable(const Table& table) {
  std::vector<RecipientContent> out;
  out.reserve(table.rows.size());
  for (const TableRow& row : table.rows) {
    RecipientContent r;
    for (const auto& [tag, value] : row.cells) {
      if (tag == kTagLtpRowId || tag == kTagLtpRowVer) continue;
      r.props[TagId(tag)] = value;
    }
    out.push_back(std::move(r));
  }
  return out;
}

std::string JoinDisplayNames(const std::vector<RecipientContent>& recipients, int32_t type) {
  std::string out;
  for (const RecipientContent& r : recipients) {
    auto t = r.props.find(TagId(kRecipientType));
    int32_t rtype = r.is_brief()         ? r.brief.type
                    : t == r.props.end() ? kRecipientTo
                                         : t->second.AsInt32().value_or(0);
    // The high bits of PidTagRecipientType carry flags (0x10000000 sent); the type is the low byte.
    if ((rtype & 0xFF) != type) continue;
    std::string name = r.is_brief() ? r.brief.name : StringOf(r.props, kDisplayName);
    if (name.empty()) name = r.is_brief() ? r.brief.address : StringOf(r.props, kEmailAddress);
    std::replace(name.begin(), name.end(), ';', ',');
    if (!out.empty()) out += "; ";
    out += name;
  }
  return out;
}

}  // namespace velmora::pst
