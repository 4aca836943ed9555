// Delivery and read reports (multipart/report, RFC 6522; [MS-OXCMAIL] 2.2.3.7): a delivery status
// notification (message/delivery-status, RFC 3464) becomes REPORT.IPM.Note.NDR / .DR / .Delayed.DR / ...
// with the original recipients and their status in its recipient table; a disposition notification
// (message/disposition-notification, RFC 8098) becomes REPORT.IPM.Note.IPNRN (read) or .IPNNRN (not read).
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <string>

#include "pst/content/message_content.h"

namespace velmora::mime {

// Makes `out` the report `root` is and returns its machine-readable part, which the report's properties now
// hold (not an attachment); null when `root` is no report this reads, and `out` is left as it was.
// The report's sent time (its Date, else `sent`) is its PidTagReportTime and the delivery time of the
// recipients it reports delivered.
GMimeObject* MapReport(GMimeObject* root, uint64_t sent, pst::MessageContent& out);

// The Action with the highest severity among per-recipient fields ("failed" over "delayed" over
// "relayed" over "expanded" over "delivered"), and the class suffix it gives: "NDR", "Delayed.DR", ....
std::string ReportClassSuffix(const std::string& action);

}  // namespace velmora::mime
