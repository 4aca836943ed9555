// Column sets of the tables a new store holds: the templates of [MS-PST] 2.4.4.4.1 (hierarchy),
// 2.4.4.5.1 (contents), 2.4.4.6.1 (FAI contents), 2.4.8.6.2 (search contents), 2.4.5.3 (recipients),
// 2.4.6.1 (attachments), 2.4.3.3 (receive folders) and the outgoing queue, as Outlook writes them for a new
// data file. New folder tables copy these columns; a table read from an existing file keeps its own.
#pragma once

#include <vector>

#include "pst/ltp/table_context.h"

namespace velmora::pst::templates {

const std::vector<PropTag>& HierarchyColumns();
const std::vector<PropTag>& ContentsColumns();
const std::vector<PropTag>& AssocContentsColumns();
const std::vector<PropTag>& SearchContentsColumns();
const std::vector<PropTag>& RecipientColumns();
const std::vector<PropTag>& AttachmentColumns();
const std::vector<PropTag>& ReceiveFolderColumns();
const std::vector<PropTag>& OutgoingQueueColumns();

// An empty table with these columns.
Table EmptyTable(const std::vector<PropTag>& columns);

}  // namespace velmora::pst::templates
