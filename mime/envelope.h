// The message's header fields as properties ([MS-OXCMAIL] 2.2.3.1 - 2.2.3.2):
//
//   header                          property (ID)
//   Subject                         PidTagSubject 0037, PidTagSubjectPrefix 003D, PidTagNormalizedSubject
//   0E1D Thread-Topic, else the subject  PidTagConversationTopic 0070 (normalized subject) Thread-Index, else
//   derived      PidTagConversationIndex 0071 From (first mailbox)            PidTagSentRepresenting*
//   0042/0064/0065/0041/003B/5D02 Sender, else From               PidTagSender* 0C1A/0C1E/0C1F/0C19/0C1D/5D01
//   To / Cc / Bcc (all lines)       recipient rows (type 1/2/3), PidTagDisplayTo/Cc/Bcc 0E04/0E03/0E02
//   Reply-To                        PidTagReplyRecipientNames 0050, PidTagReplyRecipientEntries 004F
//   Date                            PidTagClientSubmitTime 0039
//   topmost dated Received, else Date  PidTagMessageDeliveryTime 0E06, creation 3007, modification 3008
//   Message-ID / In-Reply-To / References  1035 / 1042 / 1039
//   Importance, X-Priority, X-MSMail-Priority, Priority  PidTagImportance 0017 (Priority also 0026)
//   Sensitivity                     PidTagSensitivity 0036
//   Disposition-Notification-To     PidTagReadReceiptRequested 0029 + PidTagReadReceipt* group
//   Return-Receipt-To               PidTagOriginatorDeliveryReportRequested 0023
//   List-Help/-Subscribe/-Unsubscribe  1043 / 1044 / 1045
//   the whole block                 PidTagTransportMessageHeaders 007D
//   any other header                PS_INTERNET_HEADERS named property, name lower-cased
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pst/content/message_content.h"

namespace velmora::mime {

class HeaderIndex;

struct EnvelopeOptions {
  uint64_t fallback_time = 0;  // FILETIME when neither Received nor Date can be read
  bool internet_header_properties = true;
  size_t max_header_properties = 32;    // named properties per message: each new name costs a store-wide ID
  size_t max_header_value = 64 * 1024;  // longer values of generic headers are cut (References: MAPI's limit)
};

// Sets the envelope properties and recipients of `out` from the headers of `message`.
void MapEnvelope(GMimeMessage* message, const EnvelopeOptions& options, pst::MessageContent& out);

// Every header of the message's top-level header block in the order written. GMime files the Content-*
// headers under the top MIME part; the stream offsets put them back where they stood.
std::vector<GMimeHeader*> HeaderBlock(GMimeMessage* message);

// The header block as received: folded lines kept, line ends made CRLF, 8-bit text decoded (UTF-8 when
// valid, else windows-1252), ending with the empty line.
std::string TransportHeaders(const std::vector<GMimeHeader*>& headers);

// Importance from Importance, X-Priority, X-MSMail-Priority and Priority, in that order of precedence:
// 0 low, 1 normal, 2 high.
int32_t ImportanceFromHeaders(const HeaderIndex& headers);

// PidTagConversationIndex when the mail carries no Thread-Index ([MS-OXOMSG] 2.2.1.3 header block): 0x01,
// the 5 bytes below the top byte of the FILETIME, big-endian, and a 16-byte hash of the topic, so that mail
// on the same topic shares a thread.
std::vector<uint8_t> DerivedConversationIndex(uint64_t filetime, const std::string& topic);

}  // namespace velmora::mime
