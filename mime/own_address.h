// "Sent to me" and "copied to me" ([MS-OXOMSG] PidTagMessageToMe 0x0057, PidTagMessageCcMe 0x0058): whether
// the mailbox's own address is among a message's To or Cc recipients. An export's mailbox folder is named
// after the account, so the address comes from that name ("ann@example.org", or a name that holds one).
//
//   SetToMeFlags(OwnAddressIn("ann@example.org"), content);
#pragma once

#include <string>

#include "pst/content/message_content.h"

namespace velmora::mime {

// The mail address a mailbox or store name holds ("" when it holds none): the run of characters around its
// first '@', without blanks, angle brackets, parentheses or quotes.
std::string OwnAddressIn(const std::string& name);

// Sets both flags of `content` (not of its attached messages) from its To and Cc recipients; nothing when
// `own_address` is empty. Addresses are compared without regard to ASCII case.
void SetToMeFlags(const std::string& own_address, pst::MessageContent& content);

}  // namespace velmora::mime
