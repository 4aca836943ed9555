// Column sets of the tables a new store holds: the templates of [MS-PST] 2.4.4.4.1 (hierarchy),
// 2.4.4.5.1 (contents), 2.4.4.6.1 (FAI contents), 2.4.8.6.2 (search contents), 2.4.5.3 (recipients),
// 2.4.6.1 (attachments), 2.4.3.3 (receive folders), the outgoing queue and three further templates, as
// Outlook writes them for a new data file. New folder tables copy these columns; a table read from an
// existing file keeps its own. The recipient and attachment tables of each message start from their templates
// too.
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
const std::vector<PropTag>& Template6B6Columns();
const std::vector<PropTag>& Template6D7Columns();
const std::vector<PropTag>& Template6F8Columns();

// The columns the message writer gives every attachment table: the template's, then the others Outlook 2010
// writes into its attachment tables (observed in the Outlook-made samples), each copying the attachment PC's
// value. A reader that lists attachments from the table (as Outlook does) finds names, MIME types and the
// inline flags there without opening every attachment.
const std::vector<PropTag>& AttachmentTableColumns();

// An empty table with these columns.
Table EmptyTable(const std::vector<PropTag>& columns);

}  // namespace velmora::pst::templates
